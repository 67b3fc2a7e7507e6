#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace wibblet {

/// Which datagrams go first when the kernel has no room to send at once.
enum class SendPriority {
    Normal,           ///< receipts, read notices, messages, broadcasts
    Answer,           ///< an answer to an entry: after every normal datagram
    AnswerToStranger, ///< an answer to an entry from an unverified source: also rate-limited
};

/// How a datagram's text goes on the wire.
enum class TextEncoding {
    Cp932, ///< code page 932: what every peer reads, and all the own mode knows
    Utf8,  ///< for an IP Messenger-compatible peer that writes or reads UTF-8
};

/// One UDP socket as the program uses it: bound to one local port on every
/// address, with a single remote endpoint shared by every sender. Datagrams
/// are text, encoded at the socket and nowhere else: in code page 932 unless
/// the sender asks for UTF-8 (Presence.h says when it does).
/// Operations report failures as socket error numbers (SocketErrors.h);
/// 0 means success.
class UdpSocket : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    /// Binds the local port on all addresses; 40020 when already bound.
    virtual int Bind(quint16 localPort) = 0;
    /// Releases the port; harmless when not bound.
    virtual void Close() = 0;
    /// The local host name.
    virtual QString LocalHostName() const = 0;
    /// The first IPv4 address of an interface that is up, not loopback;
    /// 127.0.0.1 when there is none.
    virtual QString LocalIP() const = 0;

    /// Sends the text as one datagram, in the encoding given, to
    /// RemoteHost():RemotePort(). A datagram the kernel has no room for yet is
    /// queued and counts as sent.
    int SendData(const QString& text, SendPriority priority = SendPriority::Normal,
                 TextEncoding encoding = TextEncoding::Cp932);
    /// Sends raw bytes as one datagram to RemoteHost():RemotePort().
    int SendBytes(const QByteArray& bytes, SendPriority priority = SendPriority::Normal);
    /// The datagram announced by the last DataArrival, decoded from code page 932.
    QString GetData() const;
    /// The same datagram's bytes as they arrived.
    QByteArray GetBytes() const { return pending_; }
    /// Source address of the datagram just read, dotted.
    QString RemoteHostIP() const { return remoteHostIP_; }
    /// Source port of the datagram just read.
    quint16 RemoteHostPort() const { return remoteHostPort_; }

    void SetRemoteHost(const QString& host) { remoteHost_ = host; }
    QString RemoteHost() const { return remoteHost_; }
    void SetRemotePort(quint16 port) { remotePort_ = port; }
    quint16 RemotePort() const { return remotePort_; }
    quint16 LocalPort() const { return localPort_; }

Q_SIGNALS:
    /// A datagram has arrived; read it with GetData(). The remote endpoint
    /// already designates its sender, on our own port.
    void DataArrival();

protected:
    /// Hands an arrived datagram to the program: it becomes the pending one
    /// and replies without SetRemoteHost go back to its sender.
    void Deliver(const QByteArray& bytes, const QString& fromIP, quint16 fromPort);
    /// The largest UDP payload over IPv4; the kernel refuses more.
    static constexpr qsizetype kMaxPayload = 65507;

    /// Sends bytes to host (a dotted address or a host name) and port; the
    /// caller has checked that there is a host, a port and not too many bytes.
    virtual int SendTo(const QString& host, quint16 port, const QByteArray& bytes,
                       SendPriority priority) = 0;
    /// Datagrams delivered so far: what is sent while one is handled shares its number.
    quint64 Deliveries() const { return deliveries_; }

    quint16 localPort_ = 0;

private:
    QString remoteHost_;
    quint16 remotePort_ = 0;
    QString remoteHostIP_;
    quint16 remoteHostPort_ = 0;
    QByteArray pending_;
    quint64 deliveries_ = 0;
};

} // namespace wibblet
