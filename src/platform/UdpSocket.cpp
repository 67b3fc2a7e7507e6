#include "platform/UdpSocket.h"

#include "platform/Cp932.h"

namespace wibblet {

int UdpSocket::SendData(const QString& text)
{
    return SendBytes(Cp932::Encode(text));
}

int UdpSocket::SendBytes(const QByteArray& bytes)
{
    return SendTo(remoteHost_, remotePort_, bytes);
}

QString UdpSocket::GetData() const
{
    return Cp932::Decode(pending_);
}

void UdpSocket::Deliver(const QByteArray& bytes, const QString& fromIP)
{
    pending_ = bytes;
    remoteHostIP_ = fromIP;
    // Every peer sends from the port it listens on, which is ours.
    remoteHost_ = fromIP;
    remotePort_ = localPort_;
    Q_EMIT DataArrival();
}

} // namespace wibblet
