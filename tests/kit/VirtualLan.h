#pragma once

#include "platform/UdpSocket.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace wibblet {

class VirtualSocket;

/// An in-memory IPv4 LAN for tests: several hosts in one process, each with a
/// host name and an address. A datagram goes to the socket bound to its
/// destination address and port; one to x.y.z.255 goes to every host of that
/// /24 bound to the port, the sender included. Delivery is queued through the
/// event loop like a real arrival, never made from inside the send.
class VirtualLan : public QObject {
    Q_OBJECT
public:
    struct Datagram {
        QString fromIP;
        quint16 fromPort = 0;
        QString toHost; ///< as the sender named it (address or host name)
        quint16 toPort = 0;
        QByteArray bytes;
        SendPriority priority = SendPriority::Normal; ///< as the sender gave it
    };

    /// Sockets outliving the LAN stay valid but can no longer send.
    ~VirtualLan() override;

    /// A socket on the host with this name and address.
    std::unique_ptr<VirtualSocket> CreateSocket(const QString& hostName, const QString& ip);

    /// When set, a send it answers with a socket error number fails with it
    /// and goes nowhere.
    std::function<int(const Datagram&)> refuse;

    /// Every datagram sent on the LAN, in order.
    const QList<Datagram>& Sent() const { return sent_; }
    void ClearSent() { sent_.clear(); }

private:
    friend class VirtualSocket;
    int Send(VirtualSocket* from, const QString& host, quint16 port, const QByteArray& bytes,
             SendPriority priority);
    QString Resolve(const QString& host) const;
    void Detach(VirtualSocket* socket);

    QList<VirtualSocket*> sockets_;
    QList<Datagram> sent_;
};

/// A socket of a VirtualLan host.
class VirtualSocket : public UdpSocket {
    Q_OBJECT
public:
    ~VirtualSocket() override;

    int Bind(quint16 localPort) override;
    void Close() override;
    QString LocalHostName() const override { return hostName_; }
    QString LocalIP() const override { return ip_; }
    bool IsBound() const { return bound_; }

protected:
    int SendTo(const QString& host, quint16 port, const QByteArray& bytes,
               SendPriority priority) override;

private:
    friend class VirtualLan;
    VirtualSocket(VirtualLan* lan, QString hostName, QString ip);
    void Receive(const QByteArray& bytes, const QString& fromIP, quint16 fromPort);

    VirtualLan* lan_;
    QString hostName_;
    QString ip_;
    bool bound_ = false;
};

} // namespace wibblet
