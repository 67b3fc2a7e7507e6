#pragma once

#include "protocol/RecentDatagrams.h"
#include "protocol/VerifiedSources.h"

#include <QDateTime>
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
    /// A message; sealed ones wait under an open button when sealed
    /// messages are honoured. A retransmission comes with datagram.repeated.
    virtual void Message(const Datagram& datagram, bool sealed) = 0;
    virtual void ReadNotice(const Datagram& datagram) = 0;
};

/// Handles every datagram that reaches the program's port: keeps the member
/// list, answers entries, closes delivery watches on receipts, and hands
/// messages and read notices on. Any failure ends the datagram's handling
/// with an error box: one at a time, and none in the minute after one closed.
class Dispatcher : public QObject {
    Q_OBJECT
public:
    Dispatcher(Program& program, MemberTable& members, QObject* parent = nullptr);

    void SetMessageHandler(MessageHandler* handler) { handler_ = handler; }
    /// Whether absence mode is on; entries then also get the absence replies.
    void SetAbsenceMode(std::function<bool()> absent) { absent_ = std::move(absent); }

    /// Reads and handles the pending datagram of the socket.
    void wscCtrl_DataArrival();

    /// What the program does with a command number. In emulation mode a
    /// number the program does not list is taken by its low eight bits, the
    /// way IP Messenger reads its commands with their option flags.
    enum class Kind {
        Ignored,
        Entry,
        Exit,
        Answer,
        Absent,
        Present,
        ReadNotice,
        Receipt,
        Message,
        SealedMessage,
        GetPubKey
    };
    static Kind Classify(qint32 command, qint32 messageCode, bool emulation);

private:
    void Dispatch(const Datagram& d);
    void AnswerPubKey(const Datagram& d);
    /// The pending datagram as text, in the encoding its bytes and its
    /// sender show (PeerEncodings, which learns from it).
    QString DecodeArrival();
    void Entry(const Datagram& d, bool emulation);
    void Answer(const Datagram& d, bool emulation);
    void NewMember(const Datagram& d, bool takeNickname);
    /// The nick name after the command, else the user field.
    static QString Nickname(const Datagram& d);
    /// An absence or presence packet marks the sender's row. In emulation
    /// mode the absence option counts only from a host whose entry lacked
    /// it, and the packet's nick name renames the row.
    void SetPresence(const Datagram& d, bool absent, bool emulation);
    /// Emulation mode, an entry or answer from a listed host: whether it
    /// carries the absence option, and its nick name for the row.
    void Announced(const Datagram& d);
    void Receipt(const Datagram& d);
    void ShowErrorBox(int number);

    Program& program_;
    MemberTable& members_;
    MessageHandler* handler_ = nullptr;
    std::function<bool()> absent_;
    VerifiedSources verified_;
    RecentDatagrams recent_;
    bool errorBoxOpen_ = false;
    QDateTime errorBoxClosedAt_; ///< invalid until the first box has closed
};

} // namespace wibblet
