#include "protocol/PeerEncodings.h"

#include "platform/Cp932.h"
#include "protocol/CommandCodes.h"
#include "settings/NumberText.h"

#include <QStringDecoder>

#include <algorithm>

namespace wibblet {

namespace {

// The command field of raw bytes (between the fourth and fifth colon), or 0.
// A colon byte is always a colon: code page 932 and UTF-8 use 0x3A for
// nothing else.
qint32 CommandOf(const QByteArray& bytes)
{
    qsizetype start = -1;
    int colons = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != ':')
            continue;
        if (++colons == 4) {
            start = i + 1;
        } else if (colons == 5) {
            return ReadNumberOr(QString::fromLatin1(bytes.mid(start, i - start)), 0);
        }
    }
    return 0;
}

bool IsAscii(const QByteArray& bytes)
{
    return std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x80; });
}

} // namespace

QString PeerEncodings::Decode(const QByteArray& bytes, const QString& address, bool honourFlag)
{
    // Every datagram: another client may come up on the address.
    Set(address, Iptux, bytes.startsWith("1_iptux"));
    if (honourFlag && (CommandOf(bytes) & kUtf8Option)) {
        Set(address, WritesUtf8, true);
        return QString::fromUtf8(bytes);
    }
    const QString cp932 = Cp932::Decode(bytes);
    // Most traffic: the same in either, and says nothing of its sender.
    if (IsAscii(bytes))
        return cp932;
    // Code page 932 has no code for U+FFFD: the decoder puts it only where
    // the bytes are not code page 932.
    const bool cp932Valid = !cp932.contains(QChar::ReplacementCharacter);
    // Stateless: a character cut off at the end is an error, not left pending.
    QStringDecoder toUtf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless
                                                    | QStringDecoder::Flag::ConvertInitialBom);
    const QString utf8 = toUtf8.decode(bytes);
    const bool utf8Valid = !toUtf8.hasError();
    if (cp932Valid != utf8Valid) {
        Set(address, WritesUtf8, utf8Valid);
        return utf8Valid ? utf8 : cp932;
    }
    return (facts_.value(address) & (WritesUtf8 | Iptux)) ? utf8 : cp932;
}

void PeerEncodings::NoteCapability(const QString& address, qint32 command)
{
    Set(address, ReadsUtf8, (command & kCapUtf8Option) != 0);
}

void PeerEncodings::Set(const QString& address, Fact fact, bool on)
{
    const auto found = facts_.find(address);
    if (found == facts_.end()) {
        // Full (a flood of forged sources writing UTF-8, say): the newcomer
        // is taken for code page 932, as every peer was before.
        if (on && facts_.size() < kMaxPeers)
            facts_.insert(address, fact);
        return;
    }
    *found = on ? *found | fact : *found & ~fact;
    if (*found == 0)
        facts_.erase(found);
}

} // namespace wibblet
