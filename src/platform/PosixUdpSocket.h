#pragma once

#include "platform/UdpSocket.h"

class QSocketNotifier;

namespace wibblet {

/// The real socket: an IPv4 UDP socket with broadcasts allowed, read through
/// the event loop. Host names are resolved when sending.
class PosixUdpSocket : public UdpSocket {
    Q_OBJECT
public:
    explicit PosixUdpSocket(QObject* parent = nullptr);
    ~PosixUdpSocket() override;

    int Bind(quint16 localPort) override;
    void Close() override;
    QString LocalHostName() const override;
    QString LocalIP() const override;

protected:
    int SendTo(const QString& host, quint16 port, const QByteArray& bytes) override;

private:
    void ReadPending();

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    /// The host name as last asked, and the second it was asked in.
    mutable QString hostName_;
    mutable qint64 hostNameSecond_ = 0;
    mutable bool hostNameValid_ = false;
};

} // namespace wibblet
