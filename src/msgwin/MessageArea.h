#pragma once

#include <QScrollArea>

class QLabel;

namespace wibblet {

class MessageLabel;

/// The area a received message's text shows in: the text word-wrapped in
/// its rectangle exactly as a label draws it while it fits; a text that
/// does not fit scrolls, and a word wider than a line breaks anywhere. The
/// text is plain, never markup: it comes from the network. The area takes
/// the window's focus without showing a caret, and Space and Enter do
/// nothing in it, so no button is armed when the window gets the keyboard.
class MessageArea : public QScrollArea {
    Q_OBJECT
public:
    /// The rectangle in twips, as the label always had it.
    MessageArea(QWidget* parent, int left, int top, int width, int height);

    /// The label the text is in (named lblMSG); its text is the whole text.
    QLabel* Label() const;
    void SetText(const QString& text);
    /// Room, in twips from the top, that the text may fill unscrolled: less
    /// than the rectangle where a button lies over its lower part.
    void SetRoom(int heightTwips);

private:
    /// Lays the text out for the rectangle and room it has now.
    void Fit();

    QRect rectangle_; ///< in pixels, in the window
    int roomTwips_;
    MessageLabel* label_;
};

} // namespace wibblet
