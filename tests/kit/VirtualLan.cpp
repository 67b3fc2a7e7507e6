#include "kit/VirtualLan.h"

#include "platform/SocketErrors.h"

#include <QMetaObject>
#include <QStringList>

namespace wibblet {

namespace {

constexpr quint16 kFirstEphemeralPort = 49152;

bool IsDottedIPv4(const QString& host)
{
    const QStringList parts = host.split(QLatin1Char('.'));
    if (parts.size() != 4) {
        return false;
    }
    for (const QString& part : parts) {
        bool ok = false;
        const int value = part.toInt(&ok);
        if (!ok || part.isEmpty() || part.size() > 3 || value < 0 || value > 255
            || !part.front().isDigit()) {
            return false;
        }
    }
    return true;
}

// "10.0.0" for "10.0.0.7": the LAN's subnets are all /24.
QString Subnet(const QString& ip)
{
    return ip.left(ip.lastIndexOf(QLatin1Char('.')));
}

} // namespace

VirtualLan::~VirtualLan()
{
    for (VirtualSocket* socket : std::as_const(sockets_)) {
        socket->lan_ = nullptr;
    }
}

std::unique_ptr<VirtualSocket> VirtualLan::CreateSocket(const QString& hostName, const QString& ip)
{
    std::unique_ptr<VirtualSocket> socket(new VirtualSocket(this, hostName, ip));
    sockets_.append(socket.get());
    return socket;
}

QString VirtualLan::Resolve(const QString& host) const
{
    if (IsDottedIPv4(host)) {
        return host;
    }
    // Host names compare like DNS names: without regard to case.
    for (const VirtualSocket* socket : sockets_) {
        if (socket->hostName_.compare(host, Qt::CaseInsensitive) == 0) {
            return socket->ip_;
        }
    }
    return QString();
}

int VirtualLan::Send(VirtualSocket* from, const QString& host, quint16 port,
                     const QByteArray& bytes, SendPriority priority)
{
    const QString to = Resolve(host);
    if (to.isEmpty()) {
        return SocketErrors::HostNotFound;
    }
    Datagram datagram{from->ip_, from->LocalPort(), host, port, bytes, priority};
    if (refuse) {
        if (const int error = refuse(datagram); error != 0)
            return error;
    }
    sent_.append(std::move(datagram));

    // The limited broadcast stays on the sender's own segment.
    const bool limited = to == QLatin1String("255.255.255.255");
    const bool broadcast = limited || to.endsWith(QLatin1String(".255"));
    const QString subnet = Subnet(limited ? from->ip_ : to);
    const QString fromIP = from->ip_;
    const quint16 fromPort = from->LocalPort();
    for (VirtualSocket* socket : std::as_const(sockets_)) {
        if (!socket->bound_ || socket->LocalPort() != port) {
            continue;
        }
        if (broadcast ? Subnet(socket->ip_) != subnet : socket->ip_ != to) {
            continue;
        }
        // With the receiver as context, a receiver destroyed before the event
        // loop runs simply drops the call.
        QMetaObject::invokeMethod(
            socket,
            [socket, bytes, fromIP, fromPort, port] {
                // A socket closed (or rebound elsewhere) meanwhile loses what
                // was still queued for it, as a real one does.
                if (socket->bound_ && socket->LocalPort() == port) {
                    socket->Receive(bytes, fromIP, fromPort);
                }
            },
            Qt::QueuedConnection);
    }
    return 0;
}

void VirtualLan::Detach(VirtualSocket* socket)
{
    sockets_.removeAll(socket);
}

VirtualSocket::VirtualSocket(VirtualLan* lan, QString hostName, QString ip)
    : lan_(lan),
      hostName_(std::move(hostName)),
      ip_(std::move(ip))
{
}

VirtualSocket::~VirtualSocket()
{
    if (lan_ != nullptr) {
        lan_->Detach(this);
    }
}

int VirtualSocket::Bind(quint16 localPort)
{
    if (bound_) {
        return SocketErrors::InvalidOperationForState;
    }
    const auto taken = [this](quint16 port) {
        if (lan_ == nullptr) {
            return false;
        }
        for (const VirtualSocket* other : std::as_const(lan_->sockets_)) {
            if (other != this && other->bound_ && other->ip_ == ip_ && other->LocalPort() == port) {
                return true;
            }
        }
        return false;
    };
    if (localPort == 0) {
        localPort = kFirstEphemeralPort;
        while (taken(localPort)) {
            ++localPort;
        }
    } else if (taken(localPort)) {
        return SocketErrors::AddressInUse;
    }
    bound_ = true;
    localPort_ = localPort;
    return 0;
}

void VirtualSocket::Close()
{
    bound_ = false;
    localPort_ = 0;
}

int VirtualSocket::SendTo(const QString& host, quint16 port, const QByteArray& bytes,
                          SendPriority priority)
{
    if (lan_ == nullptr) {
        return SocketErrors::NetworkDown;
    }
    return lan_->Send(this, host, port, bytes, priority);
}

void VirtualSocket::Receive(const QByteArray& bytes, const QString& fromIP, quint16 fromPort)
{
    Deliver(bytes, fromIP, fromPort);
}

} // namespace wibblet
