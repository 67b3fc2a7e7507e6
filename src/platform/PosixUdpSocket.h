#pragma once

#include "platform/AnswerRateLimit.h"
#include "platform/ReceiveQueue.h"
#include "platform/SendQueue.h"
#include "platform/SocketReader.h"
#include "platform/UdpSocket.h"

#include <memory>
#include <mutex>

class QSocketNotifier;

namespace wibblet {

/// The real socket: an IPv4 UDP socket with broadcasts allowed, read through
/// the event loop. Host names are resolved when sending.
///
/// Reading is apart from handling, so that no flood keeps the event loop
/// from its user and no busy event loop loses a flood: a SocketReader
/// thread empties the kernel into a ReceiveQueue as datagrams come, and
/// the queue is handed to the program, on its own thread, in slices of at
/// most kSliceCount datagrams or kSliceMs, with the event loop running
/// between slices. Sends the kernel has no room for wait in a
/// SendQueue until the socket is writable, receipts and the like ahead of
/// answers to entries.
class PosixUdpSocket : public UdpSocket {
    Q_OBJECT
public:
    static constexpr int kSliceCount = 64;
    static constexpr int kSliceMs = 5;

    explicit PosixUdpSocket(QObject* parent = nullptr);
    ~PosixUdpSocket() override;

    int Bind(quint16 localPort) override;
    void Close() override;
    QString LocalHostName() const override;
    QString LocalIP() const override;

    /// Arrivals dropped because the receive queue was full.
    qint64 ArrivalsDropped() const;
    /// Datagrams waiting for room in the kernel.
    qsizetype QueuedSends() const { return sends_.Count(); }
    /// Answers to entries dropped: held back by the rate limit, or no room to queue.
    qint64 AnswersDropped() const { return strangers_.HeldBack() + sends_.Dropped(); }

protected:
    int SendTo(const QString& host, quint16 port, const QByteArray& bytes,
               SendPriority priority) override;

private:
    void HandleSlice();
    void ScheduleSlice();
    void WritePending();
    /// Sends what is queued (waiting a moment for room), then closes the descriptor.
    void CloseDescriptor();

    int fd_ = -1;
    QSocketNotifier* writeNotifier_ = nullptr;
    /// Filled by reader_'s thread, emptied by this one; arrivalsLock_ guards it.
    ReceiveQueue arrivals_;
    mutable std::mutex arrivalsLock_;
    /// Runs while bound; stopped before the descriptor is closed.
    std::unique_ptr<SocketReader> reader_;
    bool sliceScheduled_ = false;
    SendQueue sends_;
    AnswerRateLimit strangers_;
    /// The host name as last asked, and the second it was asked in.
    mutable QString hostName_;
    mutable qint64 hostNameSecond_ = 0;
    mutable bool hostNameValid_ = false;
};

} // namespace wibblet
