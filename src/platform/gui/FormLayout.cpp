#include "platform/gui/FormLayout.h"

#include "platform/gui/Screen.h"

#include <QCheckBox>
#include <QFontMetricsF>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <QtMath>

#include <algorithm>

namespace wibblet::FormLayout {

namespace {

template <typename Control> Control* Named(Control* control, QAnyStringView name)
{
    if (!name.isEmpty())
        control->setObjectName(name);
    return control;
}

// The windows name Windows faces, which a Linux desktop lacks; fontconfig
// would put DejaVu Sans in their place, too wide for the twips layout. Each
// named face comes first, so a desktop that has it uses it; then a face of
// Debian's fonts-ipafont-gothic drawn to the same widths: IPA PGothic to
// MS PGothic's, whose Latin MS UI Gothic shares and whose kana are no wider;
// IPA Gothic, fixed-pitch, to MS Gothic's, for the system face. Latin runs
// stay in that face too: its Latin letters are part of the match.
QFont NamedFont(const QStringList& families)
{
    QFont font;
    font.setFamilies(families);
    font.setPointSize(9);
    return font;
}

} // namespace

QFont FormFont()
{
    return NamedFont({QStringLiteral("MS UI Gothic"), QStringLiteral("IPAPGothic")});
}

QFont PGothicFont()
{
    return NamedFont({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic")});
}

QFont SystemFont()
{
    QFont font = NamedFont({QStringLiteral("System"), QStringLiteral("IPAGothic")});
    font.setStyleHint(QFont::TypeWriter);
    return font;
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

void CondenseToFit(QLabel* label, int right)
{
    // The glyphs' ink, not the advance: a colon's advance ends in blank.
    const auto inkEnd = [label](const QFont& font) {
        return label->x() + label->contentsRect().left()
               + qCeil(QFontMetricsF(font).tightBoundingRect(label->text()).right());
    };
    QFont font = label->font();
    constexpr int kNarrowest = 90;
    for (int stretch = 99; stretch >= kNarrowest && inkEnd(font) + 1 > Screen::Px(right); --stretch)
        font.setStretch(stretch);
    label->setFont(font);
    label->resize(label->sizeHint());
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
