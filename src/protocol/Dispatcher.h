#pragma once

#include <QObject>

#include <functional>

namespace wibblet {

class MemberTable;
class Program;
struct Datagram;

/// Where messages and read notices go once the dispatcher has recognised
/// them. Failures thrown here end up in the dispatcher's error box.
class MessageHandler {
public:
    virtual ~MessageHandler() = default;
    virtual void Message(const Datagram& datagram) = 0;
    virtual void ReadNotice(const Datagram& datagram) = 0;
};

/// Handles every datagram that reaches the program's port: keeps the member
/// list, answers entries, closes delivery watches on receipts, and hands
/// messages and read notices on. Any failure ends the datagram's handling
/// with one error box.
class Dispatcher : public QObject {
    Q_OBJECT
public:
    Dispatcher(Program& program, MemberTable& members, QObject* parent = nullptr);

    void SetMessageHandler(MessageHandler* handler) { handler_ = handler; }
    /// Whether absence mode is on; entries then also get the absence replies.
    void SetAbsenceMode(std::function<bool()> absent) { absent_ = std::move(absent); }

    /// Reads and handles the pending datagram of the socket.
    void wscCtrl_DataArrival();

private:
    void Dispatch(const Datagram& d);
    void Entry(const Datagram& d);
    void NewMember(const Datagram& d, bool takeNickname);
    void SetPresence(const Datagram& d, const QString& mark);
    void Receipt(const Datagram& d);
    void ShowErrorBox(int number);

    Program& program_;
    MemberTable& members_;
    MessageHandler* handler_ = nullptr;
    std::function<bool()> absent_;
    bool errorBoxOpen_ = false;
};

} // namespace wibblet
