#include "platform/PosixUdpSocket.h"

#include "platform/SocketErrors.h"

#include <QPointer>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace wibblet {

namespace {

constexpr int kReceiveBuffer = 4 * 1024 * 1024;
constexpr int kMaxDatagram = 65536;

// A fresh unbound socket, so that sending works before (or without) a bind:
// the kernel then picks an ephemeral source port. Returns -1 and leaves errno.
int OpenSocket()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    // Announcements arrive in bursts from every host at once. The forced size
    // needs privileges; otherwise the kernel clamps the ordinary request.
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &kReceiveBuffer, sizeof kReceiveBuffer) != 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
    }
    return fd;
}

// The port the kernel gave the socket; 0 while it has none.
quint16 BoundPort(int fd)
{
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        return 0;
    }
    return ntohs(addr.sin_port);
}

QString Dotted(const in_addr& addr)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &addr, text, sizeof text);
    return QString::fromLatin1(text);
}

// Names under .invalid never exist (RFC 6761); answering without a lookup
// keeps the answer fast and the same with or without a name server.
bool IsReservedInvalidName(const QString& host)
{
    const QString name = host.endsWith(QLatin1Char('.')) ? host.chopped(1) : host;
    return name.compare(QLatin1String("invalid"), Qt::CaseInsensitive) == 0
           || name.endsWith(QLatin1String(".invalid"), Qt::CaseInsensitive);
}

int ResolveIPv4(const QString& host, in_addr* out)
{
    const QByteArray name = host.toUtf8();
    if (::inet_pton(AF_INET, name.constData(), out) == 1) {
        return 0;
    }
    if (IsReservedInvalidName(host)) {
        return SocketErrors::HostNotFound;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(name.constData(), nullptr, &hints, &found);
    if (rc != 0) {
        return SocketErrors::FromResolver(rc);
    }
    *out = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return 0;
}

} // namespace

PosixUdpSocket::PosixUdpSocket(QObject* parent) : UdpSocket(parent), fd_(OpenSocket()) {}

PosixUdpSocket::~PosixUdpSocket()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

int PosixUdpSocket::Bind(quint16 localPort)
{
    if (notifier_ != nullptr) {
        return SocketErrors::InvalidOperationForState;
    }
    // A socket that has sent already carries an ephemeral port and cannot be
    // bound again; a fresh one can.
    if (fd_ >= 0 && BoundPort(fd_) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (fd_ < 0 && (fd_ = OpenSocket()) < 0) {
        return SocketErrors::FromErrno(errno);
    }

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(localPort);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        return SocketErrors::FromErrno(errno);
    }
    localPort_ = localPort != 0 ? localPort : BoundPort(fd_);
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &PosixUdpSocket::ReadPending);
    return 0;
}

void PosixUdpSocket::Close()
{
    if (notifier_ != nullptr) {
        // Close may be called from a DataArrival handler, inside the
        // notifier's own activation.
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = OpenSocket();
    localPort_ = 0;
}

QString PosixUdpSocket::LocalHostName() const
{
    // Every header carries the name, two per answered entry: asking the
    // kernel each time costs a system call per datagram in a storm. A
    // renamed host is seen within a second.
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    if (hostNameValid_ && now.tv_sec == hostNameSecond_) {
        return hostName_;
    }
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        hostNameValid_ = false;
        return QString();
    }
    hostName_ = QString::fromLocal8Bit(name);
    hostNameSecond_ = now.tv_sec;
    hostNameValid_ = true;
    return hostName_;
}

QString PosixUdpSocket::LocalIP() const
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return QStringLiteral("127.0.0.1");
    }
    QString ip;
    for (const ifaddrs* it = list; it != nullptr && ip.isEmpty(); it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        if ((it->ifa_flags & IFF_UP) == 0 || (it->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        ip = Dotted(reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr);
    }
    ::freeifaddrs(list);
    return ip.isEmpty() ? QStringLiteral("127.0.0.1") : ip;
}

int PosixUdpSocket::SendTo(const QString& host, quint16 port, const QByteArray& bytes)
{
    if (host.isEmpty()) {
        return SocketErrors::DestinationRequired;
    }
    if (port == 0) {
        return SocketErrors::AddressNotAvailable;
    }
    if (fd_ < 0 && (fd_ = OpenSocket()) < 0) {
        return SocketErrors::FromErrno(errno);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (const int rc = ResolveIPv4(host, &to.sin_addr); rc != 0) {
        return rc;
    }
    ssize_t sent;
    do {
        sent = ::sendto(fd_, bytes.constData(), static_cast<size_t>(bytes.size()), 0,
                        reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? SocketErrors::FromErrno(errno) : 0;
}

void PosixUdpSocket::ReadPending()
{
    // Read everything queued now: one activation may stand for many datagrams.
    const QPointer<PosixUdpSocket> self(this);
    const int fd = fd_;
    QByteArray buffer(kMaxDatagram, Qt::Uninitialized);
    while (self && fd_ == fd && notifier_ != nullptr) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t got = ::recvfrom(fd, buffer.data(), static_cast<size_t>(buffer.size()), 0,
                                       reinterpret_cast<sockaddr*>(&from), &len);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            // EAGAIN ends the batch; on any other error the notifier fires
            // again if data is still waiting.
            break;
        }
        Deliver(QByteArray(buffer.constData(), got), Dotted(from.sin_addr));
    }
}

} // namespace wibblet
