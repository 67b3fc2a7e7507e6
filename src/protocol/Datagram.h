#pragma once

#include <QString>

#include <array>

namespace wibblet {

/// A received datagram cut at its colons, with the values every handler
/// takes from it.
struct Datagram {
    QString text;
    /// 1-based positions of the first eight colons (index 1 … 8), 0 where
    /// there are fewer; c[5] and c[8] carry their defaults.
    std::array<qsizetype, 9> c{};
    qint32 command = 0;
    QString senderHost;
    QString senderAddress;
    QString senderName;
    QString extra;
    /// A message identical to one from the same address and port in the last
    /// two minutes (the dispatcher tells): a retransmission, acknowledged
    /// again but not shown again.
    bool repeated = false;
    /// A message offering files (the dispatcher tells, in emulation mode):
    /// the list follows the text's NUL.
    bool filesOffered = false;

    /// Characters from position first to last (1-based, inclusive); throws
    /// Failure 5 when the range has a negative length.
    QString Range(qsizetype first, qsizetype last) const;

    /// Reads a datagram's text: the colon table, then command number, sender
    /// host, sender address, sender name and extra, in that order. Throws
    /// Failure 5 for a field range of negative length, 13 or 6 for a command
    /// that is not a 32-bit number.
    static Datagram Parse(const QString& text, const QString& senderAddress);
};

/// The text before the first NUL.
QString CutAtNul(const QString& text);

} // namespace wibblet
