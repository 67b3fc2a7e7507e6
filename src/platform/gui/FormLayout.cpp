#include "platform/gui/FormLayout.h"

#include "platform/gui/Screen.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace wibblet::FormLayout {

namespace {

template <typename Control> Control* Named(Control* control, QAnyStringView name)
{
    if (!name.isEmpty())
        control->setObjectName(name);
    return control;
}

} // namespace

QFont FormFont()
{
    return QFont(QStringLiteral("MS UI Gothic"), 9);
}

QFont PGothicFont()
{
    return QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9);
}

QLabel* AddLabel(QWidget* parent, QAnyStringView name, int left, int top, int width, int height)
{
    auto* label = Named(new QLabel(parent), name);
    Screen::Place(label, left, top, width, height);
    return label;
}

QLabel* AddLabel(QWidget* parent, QAnyStringView name, const QString& caption, int left, int top,
                 int width, int height)
{
    auto* label = Named(new QLabel(caption, parent), name);
    Screen::Place(label, left, top, width, height);
    return label;
}

QLabel* AddRunOnLabel(QWidget* parent, QAnyStringView name, const QString& caption, int left,
                      int top, int width, int height)
{
    QLabel* label = AddLabel(parent, name, caption, left, top, width, height);
    WidenToCaption(label);
    label->lower();
    return label;
}

QLabel* AddCaption(QWidget* parent, QAnyStringView name, const QString& caption, int left, int top)
{
    auto* label = Named(new QLabel(caption, parent), name);
    PlaceAt(label, left, top);
    return label;
}

void WidenToCaption(QLabel* label)
{
    label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
}

QLineEdit* AddTextBox(QWidget* parent, QAnyStringView name, int left, int top, int width,
                      int height)
{
    auto* box = Named(new QLineEdit(parent), name);
    Screen::Place(box, left, top, width, height);
    return box;
}

QPushButton* AddButton(QWidget* parent, QAnyStringView name, const QString& caption, int left,
                       int top, int width, int height)
{
    auto* button = Named(new QPushButton(caption, parent), name);
    Screen::Place(button, left, top, width, height);
    return button;
}

QCheckBox* AddCheckBox(QWidget* parent, QAnyStringView name, const QString& caption, int left,
                       int top)
{
    auto* box = Named(new QCheckBox(caption, parent), name);
    PlaceAt(box, left, top);
    return box;
}

void AddRule(QWidget* parent, int x1, int x2, int y)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(Screen::Px(x1), Screen::Px(y) - 1, Screen::Px(x2 - x1), 2);
}

void PlaceAt(QWidget* control, int left, int top)
{
    control->move(Screen::Px(left), Screen::Px(top));
    control->resize(control->sizeHint());
}

} // namespace wibblet::FormLayout
