#pragma once

#include <QAnyStringView>
#include <QFont>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

/// The windows' controls, laid out as the windows were designed: by
/// rectangles and points in twips (see Screen::Place), in the form font.
/// A control is named after its name; an empty name leaves it unnamed.
namespace wibblet::FormLayout {

/// The font every window is drawn in.
QFont FormFont();
/// The proportional Gothic that some captions and boxes have instead.
QFont PGothicFont();
/// The fixed-pitch system face, for text laid out in columns.
QFont SystemFont();

/// An empty label filling its rectangle, for a text or picture set later.
QLabel* AddLabel(QWidget* parent, QAnyStringView name, int left, int top, int width, int height);
/// A label filling its rectangle; a caption wider than that is cut short.
QLabel* AddLabel(QWidget* parent, QAnyStringView name, const QString& caption, int left, int top,
                 int width, int height);
/// A label naming the control to its right: a caption wider than its box
/// runs on behind that control (the label lies beneath its siblings) instead
/// of being cut short.
QLabel* AddRunOnLabel(QWidget* parent, QAnyStringView name, const QString& caption, int left,
                      int top, int width, int height);
/// A label at a point, as large as its caption.
QLabel* AddCaption(QWidget* parent, QAnyStringView name, const QString& caption, int left, int top);
/// Condenses a caption's face a little, a percent at a time, until its
/// glyphs end a pixel short of right (twips), where the box it names begins:
/// the face standing in for the one the windows name has a few captions a
/// pixel or two wider. Sizes the label to its caption.
void CondenseToFit(QLabel* label, int right);
/// Widens a label to its caption in the font it has now; never narrows it.
void WidenToCaption(QLabel* label);

QLineEdit* AddTextBox(QWidget* parent, QAnyStringView name, int left, int top, int width,
                      int height);
QPushButton* AddButton(QWidget* parent, QAnyStringView name, const QString& caption, int left,
                       int top, int width, int height);
/// A check box at a point, as large as its caption.
QCheckBox* AddCheckBox(QWidget* parent, QAnyStringView name, const QString& caption, int left,
                       int top);
/// A horizontal rule from x1 to x2 at y.
void AddRule(QWidget* parent, int x1, int x2, int y);

/// Moves a control to a point and gives it the size it asks for.
void PlaceAt(QWidget* control, int left, int top);

} // namespace wibblet::FormLayout
