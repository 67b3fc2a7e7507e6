#include "platform/UdpSocket.h"

#include "platform/Cp932.h"
#include "platform/SocketErrors.h"

namespace wibblet {

int UdpSocket::SendData(const QString& text, SendPriority priority, TextEncoding encoding)
{
    return SendBytes(encoding == TextEncoding::Utf8 ? text.toUtf8() : Cp932::Encode(text),
                     priority);
}

int UdpSocket::SendBytes(const QByteArray& bytes, SendPriority priority)
{
    if (remoteHost_.isEmpty())
        return SocketErrors::DestinationRequired;
    if (remotePort_ == 0)
        return SocketErrors::AddressNotAvailable;
    // Refused at once: a datagram that has to wait must not fail later, unseen.
    if (bytes.size() > kMaxPayload)
        return SocketErrors::MessageTooLong;
    return SendTo(remoteHost_, remotePort_, bytes, priority);
}

QString UdpSocket::GetData() const
{
    return Cp932::Decode(pending_);
}

void UdpSocket::Deliver(const QByteArray& bytes, const QString& fromIP, quint16 fromPort)
{
    pending_ = bytes;
    ++deliveries_;
    remoteHostIP_ = fromIP;
    remoteHostPort_ = fromPort;
    // Every peer sends from the port it listens on, which is ours.
    remoteHost_ = fromIP;
    remotePort_ = localPort_;
    Q_EMIT DataArrival();
}

} // namespace wibblet
