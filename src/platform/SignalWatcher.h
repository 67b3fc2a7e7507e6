#pragma once

#include <QList>
#include <QObject>

#include <signal.h>

class QSocketNotifier;

namespace wibblet {

/// Turns POSIX signals into a Qt signal on the event loop. The handler only
/// writes the signal number into a socket pair (nothing else is safe inside a
/// handler); the read end wakes the event loop. One watcher per process; the
/// previous handlers come back when it is destroyed.
class SignalWatcher : public QObject {
    Q_OBJECT
public:
    /// Catches each of signalNumbers from now on.
    explicit SignalWatcher(const QList<int>& signalNumbers, QObject* parent = nullptr);
    ~SignalWatcher() override;

    /// False when the socket pair or a handler could not be set up.
    bool Ok() const { return ok_; }

Q_SIGNALS:
    /// One of the watched signals arrived; emitted once per arrival.
    void Received(int signalNumber);

private:
    void ReadPending();

    struct Saved {
        int number;
        struct sigaction action;
    };
    QList<Saved> previous_;
    int readFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    bool ok_ = false;
};

} // namespace wibblet
