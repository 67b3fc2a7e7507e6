#include "platform/PosixUdpSocket.h"

#include "platform/SocketErrors.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace wibblet {

namespace {

// Room for about 40,000 small datagrams (the kernel charges some 800 bytes
// each, and doubles the size asked): a LAN's answers to an entry, sent as
// fast as one sender can, fill 4 MB in about 30 ms, less than the program's
// thread may wait for a CPU on a busy machine with its window shown.
constexpr int kReceiveBuffer = 16 * 1024 * 1024;
constexpr int kSendBuffer = 4 * 1024 * 1024;
// How long closing waits for the kernel to take what is still queued.
constexpr int kCloseFlushMs = 250;

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
    // Answers to a host whose address is still being resolved hold their
    // room in the send buffer meanwhile (seconds, for an address nobody has).
    if (::setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &kSendBuffer, sizeof kSendBuffer) != 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSendBuffer, sizeof kSendBuffer);
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

bool WouldBlock(int err)
{
    return err == EAGAIN || err == EWOULDBLOCK;
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
    reader_.reset();
    CloseDescriptor();
}

int PosixUdpSocket::Bind(quint16 localPort)
{
    if (reader_) {
        return SocketErrors::InvalidOperationForState;
    }
    // A socket that has sent already carries an ephemeral port and cannot be
    // bound again; a fresh one can.
    if (fd_ >= 0 && BoundPort(fd_) != 0) {
        CloseDescriptor();
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
    // Posted from the reader's thread: the slice runs on this one.
    reader_ = std::make_unique<SocketReader>(fd_, arrivals_, arrivalsLock_, [this] {
        QMetaObject::invokeMethod(this, &PosixUdpSocket::ScheduleSlice, Qt::QueuedConnection);
    });
    return 0;
}

void PosixUdpSocket::Close()
{
    // Close may be called from a DataArrival handler: the reader never
    // waits for this thread, so stopping it here cannot hang.
    reader_.reset();
    {
        const std::lock_guard<std::mutex> locked(arrivalsLock_);
        arrivals_.Clear();
    }
    CloseDescriptor();
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

int PosixUdpSocket::SendTo(const QString& host, quint16 port, const QByteArray& bytes,
                           SendPriority priority)
{
    if (fd_ < 0 && (fd_ = OpenSocket()) < 0) {
        return SocketErrors::FromErrno(errno);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (const int rc = ResolveIPv4(host, &to.sin_addr); rc != 0) {
        return rc;
    }
    if (priority == SendPriority::AnswerToStranger && !strangers_.Allow(Deliveries())) {
        return 0;
    }
    if (!sends_.MustWait(priority)) {
        ssize_t sent;
        do {
            sent = ::sendto(fd_, bytes.constData(), static_cast<size_t>(bytes.size()), 0,
                            reinterpret_cast<const sockaddr*>(&to), sizeof to);
        } while (sent < 0 && errno == EINTR);
        if (sent >= 0) {
            return 0;
        }
        if (!WouldBlock(errno)) {
            return SocketErrors::FromErrno(errno);
        }
    }
    // No room in the kernel now: it goes once the socket is writable. Only a
    // normal datagram that cannot even be queued is a failure.
    if (!sends_.Push({to.sin_addr.s_addr, port, bytes}, priority)) {
        return priority == SendPriority::Normal ? SocketErrors::WouldBlock : 0;
    }
    if (writeNotifier_ == nullptr) {
        writeNotifier_ = new QSocketNotifier(fd_, QSocketNotifier::Write, this);
        connect(writeNotifier_, &QSocketNotifier::activated, this, &PosixUdpSocket::WritePending);
    }
    writeNotifier_->setEnabled(true);
    return 0;
}

void PosixUdpSocket::WritePending()
{
    while (!sends_.IsEmpty()) {
        const SendQueue::Pending& next = sends_.Front();
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(next.port);
        to.sin_addr.s_addr = next.address;
        const ssize_t sent =
            ::sendto(fd_, next.bytes.constData(), static_cast<size_t>(next.bytes.size()), 0,
                     reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && WouldBlock(errno)) {
            break;
        }
        // Sent, or refused for good (a route gone meanwhile): nobody waits
        // for the answer any more.
        sends_.PopFront();
    }
    if (writeNotifier_ != nullptr) {
        writeNotifier_->setEnabled(!sends_.IsEmpty());
    }
}

void PosixUdpSocket::CloseDescriptor()
{
    if (fd_ < 0) {
        return;
    }
    // What is still queued (the exit broadcast, say) gets a moment to go,
    // short enough that ending the program cannot hang on it.
    QElapsedTimer waited;
    waited.start();
    WritePending();
    while (!sends_.IsEmpty() && !waited.hasExpired(kCloseFlushMs)) {
        pollfd writable{fd_, POLLOUT, 0};
        ::poll(&writable, 1, int(kCloseFlushMs - waited.elapsed()));
        WritePending();
    }
    sends_.Clear();
    if (writeNotifier_ != nullptr) {
        writeNotifier_->setEnabled(false);
        writeNotifier_->deleteLater();
        writeNotifier_ = nullptr;
    }
    ::close(fd_);
    fd_ = -1;
}

qint64 PosixUdpSocket::ArrivalsDropped() const
{
    const std::lock_guard<std::mutex> locked(arrivalsLock_);
    return arrivals_.Dropped();
}

void PosixUdpSocket::ScheduleSlice()
{
    // A posted call, not a timer: it runs in a nested event loop too (a box
    // opened by a handler), so arrivals are still handled while it is open.
    if (sliceScheduled_) {
        return;
    }
    sliceScheduled_ = true;
    QMetaObject::invokeMethod(this, &PosixUdpSocket::HandleSlice, Qt::QueuedConnection);
}

void PosixUdpSocket::HandleSlice()
{
    sliceScheduled_ = false;
    const QPointer<PosixUdpSocket> self(this);
    QElapsedTimer elapsed;
    elapsed.start();
    for (int handled = 0; handled < kSliceCount; ++handled) {
        if (elapsed.hasExpired(kSliceMs)) {
            ScheduleSlice();
            return;
        }
        ReceiveQueue::Arrival arrival;
        bool more;
        {
            const std::lock_guard<std::mutex> locked(arrivalsLock_);
            if (arrivals_.IsEmpty()) {
                return;
            }
            arrival = arrivals_.Pop();
            more = !arrivals_.IsEmpty();
        }
        // Scheduled before handing it over, in case the handler runs an
        // event loop of its own. Otherwise the reader posts a call when it
        // fills the empty queue again.
        if (more) {
            ScheduleSlice();
        }
        in_addr from{};
        from.s_addr = arrival.from;
        Deliver(arrival.bytes, Dotted(from), arrival.fromPort);
        if (!self) {
            return;
        }
    }
    const std::lock_guard<std::mutex> locked(arrivalsLock_);
    if (!arrivals_.IsEmpty()) {
        ScheduleSlice();
    }
}

} // namespace wibblet
