#pragma once

#include "platform/PosixUdpSocket.h"

namespace wibblet::bench {

/// The real socket with datagrams handed in directly, so that a benchmark
/// drives the dispatcher without a sender. Replies really go out when the
/// benchmark runs in a private network namespace (to a cable whose far end
/// drops them); elsewhere they are only counted, never sent.
class BenchSocket : public PosixUdpSocket {
public:
    explicit BenchSocket(bool send) : send_(send) {}

    /// A datagram arrives from the given address, sent from our own port.
    void Inject(const QByteArray& bytes, const QString& fromIP)
    {
        Deliver(bytes, fromIP, localPort_);
    }

    // Nothing listens: replies leave from a port of the kernel's choosing
    // and our own do not come back to us.
    int Bind(quint16 port) override
    {
        localPort_ = port;
        return 0;
    }
    QString LocalIP() const override { return QStringLiteral("10.98.0.1"); }

    qint64 sent = 0;

protected:
    int SendTo(const QString& host, quint16 port, const QByteArray& bytes,
               SendPriority priority) override
    {
        ++sent;
        return send_ ? PosixUdpSocket::SendTo(host, port, bytes, priority) : 0;
    }

private:
    bool send_;
};

} // namespace wibblet::bench
