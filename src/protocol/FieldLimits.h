#pragma once

#include <QString>

namespace wibblet {

/// The longest host or user name a member row keeps, in code page 932 bytes:
/// no system gives a host a longer name, and a datagram could carry 32,000.
constexpr qsizetype kMaxNameBytes = 255;
/// The longest packet-number field the program echoes in receipts and read
/// notices; a message with a longer one is a malformed datagram.
constexpr qsizetype kMaxPacketNoBytes = 32;

/// The longest start of text that takes at most maxBytes in code page 932,
/// cut between characters (a surrogate pair stays whole): ASCII and the
/// half-width katakana count one byte, any other character two per UTF-16
/// unit. A character code page 932 lacks thus counts what it costs in memory,
/// and no cut text holds more than maxBytes * 2 bytes of UTF-16.
QString CutToBytes(const QString& text, qsizetype maxBytes);

} // namespace wibblet
