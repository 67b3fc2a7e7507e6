#pragma once

#include <QString>

namespace wibblet {

struct Datagram;

/// What a message shows: text, window title, OK caption and icon number.
struct MessageBody {
    QString text;
    QString title;
    QString ok;
    qint32 icon = 9;
};

/// The icon of a message that carries no presentation fields.
inline constexpr qint32 kForeignIcon = 9;

/// The body a message carries: text, NUL, ":" title ":" OK caption ":" icon,
/// NUL. Colons in text and title go out full-width; with revealHost the title
/// ends in the sender note "  (from  " host "[" user "])", its names with
/// their colons full-width too.
QString WriteBody(const QString& text, const QString& title, const QString& ok, qint32 icon,
                  bool revealHost, const QString& hostName, const QString& userName);

/// Takes a received message's body apart. The text runs to the first NUL;
/// presentation fields follow when the NUL is followed by ":" title ":" OK
/// caption ":" icon (the icon after the last colon). Without them the title
/// is defTitle with a sender note made here, the caption defOk and the icon
/// 9. An icon that does not read as a number is 9. A message that offers
/// files has their list there instead: the presentation is the default, and
/// the text gains a line naming the files (OfferedFilesLine).
MessageBody ReadBody(const Datagram& datagram, const QString& defTitle, const QString& defOk);

} // namespace wibblet
