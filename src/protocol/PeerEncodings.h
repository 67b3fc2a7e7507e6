#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

namespace wibblet {

/// What the program has learnt of the encodings its peers write and read,
/// by address. IP Messenger-compatible clients write code page 932 or UTF-8,
/// and not all of them say which (iptux sets no flag), so the bytes tell:
/// what reads only one way shows what its sender writes, and text that reads
/// either way (UTF-8 "こんにちは" is code page 932 too) or neither (cut in
/// the middle of a character) is read the way its sender is known to write.
/// iptux (its version field starts "1_iptux") is a UTF-8 peer whatever it
/// has sent: it reads UTF-8 with the flag in either of its settings, and
/// writes to us in the encoding we write to it. Holds at most kMaxPeers
/// addresses; beyond them a peer is taken for code page 932, as every peer
/// was before.
class PeerEncodings {
public:
    static constexpr qsizetype kMaxPeers = 4096;

    /// The text of a datagram from address, noting what its bytes tell of
    /// the sender. With honourFlag (emulation mode) a datagram whose command
    /// carries the UTF-8 flag is UTF-8. Otherwise bytes valid in only one of
    /// code page 932 and UTF-8 are read in that one; the rest in code page
    /// 932, unless the sender is known to write UTF-8 or is iptux.
    QString Decode(const QByteArray& bytes, const QString& address, bool honourFlag);
    /// Notes from a peer's entry, answer or absence packet whether it says
    /// it reads UTF-8 (kCapUtf8Option).
    void NoteCapability(const QString& address, qint32 command);
    /// Forgets a peer that has left: another host may take its address.
    void Forget(const QString& address) { facts_.remove(address); }
    /// True when the peer at host writes UTF-8, has said it reads it, or is
    /// iptux.
    bool TakesUtf8(const QString& host) const { return facts_.value(host) != 0; }
    /// Addresses held.
    qsizetype Count() const { return facts_.size(); }

private:
    enum Fact : quint8 { WritesUtf8 = 1, ReadsUtf8 = 2, Iptux = 4 };
    void Set(const QString& address, Fact fact, bool on);

    /// Only peers with a fact: the rest are code page 932 peers.
    QHash<QString, quint8> facts_;
};

} // namespace wibblet
