#pragma once

#include <QString>

#include <functional>

namespace wibblet {

enum class BoxButtons { Ok, OkCancel, YesNo };
enum class BoxIcon { None, Information, Critical };
enum class BoxAnswer { Ok, Cancel, Yes, No };

/// One message box: lines already joined with CR LF.
struct BoxRequest {
    QString text;
    QString title; ///< empty: the application title
    BoxButtons buttons = BoxButtons::Ok;
    BoxIcon icon = BoxIcon::None;
    bool systemModal = false;

    /// The caption the box shows.
    QString Caption() const { return title.isEmpty() ? QStringLiteral("Wibblet") : title; }
};

/// Message boxes. Show is modal: while its box is open, events (datagrams,
/// timers) are still delivered, so callers must tolerate re-entry at that
/// call. Notify blocks nothing.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual BoxAnswer Show(const BoxRequest& box) = 0;
    /// Shows an OK-only box (box.buttons is not looked at) that leaves every
    /// other window usable, and returns at once; closed runs when the user
    /// has closed it, never from within this call.
    virtual void Notify(const BoxRequest& box, std::function<void()> closed) = 0;

    /// A box with the application title and no icon.
    BoxAnswer Tell(const QString& text, BoxButtons buttons = BoxButtons::Ok)
    {
        return Show(BoxRequest{text, QString(), buttons});
    }
};

} // namespace wibblet
