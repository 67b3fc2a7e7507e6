// The floor of start-up: the least a Qt tray program with a UDP socket does.
// bench/whole/startup.py starts it beside wibblet, the same way in the same
// run, so "exec -> first entry" and "exec -> tray icon shown" are compared
// against what Qt itself costs rather than against a remembered figure.
//
//   wibblet_floor [PORT]     PORT defaults to 1001, as wibblet's
//
// It binds the port, broadcasts one datagram shaped like an entry (command 1,
// so the bench's sniffer takes it for one), shows a tray icon, then idles
// until a signal ends it. Nothing here loads a font or measures text.
#include <QApplication>
#include <QPixmap>
#include <QSystemTrayIcon>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int port = argc > 1 ? std::atoi(argv[1]) : 1001;

    // A plain POSIX socket, as wibblet's own: Qt Network is not loaded.
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::perror("wibblet_floor: socket");
        return 1;
    }
    // version:packet number:user:host:command:nickname, as an entry is.
    const std::string entry =
        "1:" + std::to_string(std::time(nullptr)) + ":floor:floor:1:floor" + std::string(4, '\0');
    // To the broadcast address of each interface, as wibblet sends: with no
    // default route, 255.255.255.255 reaches no one.
    ifaddrs* interfaces = nullptr;
    getifaddrs(&interfaces);
    for (const ifaddrs* each = interfaces; each != nullptr; each = each->ifa_next) {
        if (each->ifa_addr == nullptr || each->ifa_addr->sa_family != AF_INET
            || each->ifa_netmask == nullptr || (each->ifa_flags & IFF_BROADCAST) == 0)
            continue;
        // The address with its host part all ones, as wibblet works it out.
        sockaddr_in everyone = *reinterpret_cast<const sockaddr_in*>(each->ifa_addr);
        everyone.sin_addr.s_addr |=
            ~reinterpret_cast<const sockaddr_in*>(each->ifa_netmask)->sin_addr.s_addr;
        everyone.sin_port = local.sin_port;
        sendto(fd, entry.data(), entry.size(), 0, reinterpret_cast<sockaddr*>(&everyone),
               sizeof everyone);
    }
    freeifaddrs(interfaces);

    // A filled square: an icon file would bring an image plugin in.
    QPixmap picture(22, 22);
    picture.fill(Qt::darkCyan);
    QSystemTrayIcon tray{QIcon(picture)};
    tray.show();

    const int result = QApplication::exec();
    close(fd);
    return result;
}
