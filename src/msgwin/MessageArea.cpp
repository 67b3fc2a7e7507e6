#include "msgwin/MessageArea.h"

#include "platform/gui/Screen.h"

#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>

#include <cmath>

namespace wibblet {

/// A word-wrapping label that, once told its text does not fit, draws the
/// text itself with words too wide for a line broken anywhere.
class MessageLabel : public QLabel {
public:
    explicit MessageLabel(QWidget* parent) : QLabel(parent) {}

    /// Lays the text out `width` pixels wide, breaking where the label would
    /// and anywhere in a word wider than that; returns the height it takes.
    int LayOut(int width)
    {
        // As a label draws plain text: CR as a space, LF as a line break.
        QString shown = text();
        shown.replace(QLatin1Char('\r'), QLatin1Char(' '));
        shown.replace(QLatin1Char('\t'), QLatin1Char(' '));
        shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
        layout_.setText(shown);
        layout_.setFont(font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        option.setTextDirection(Qt::LeftToRight);
        layout_.setTextOption(option);
        const qreal leading = QFontMetricsF(font()).leading();
        qreal height = -leading;
        layout_.beginLayout();
        for (QTextLine line = layout_.createLine(); line.isValid(); line = layout_.createLine()) {
            line.setLineWidth(width);
            height = std::ceil(height + leading);
            line.setPosition(QPointF(0, height));
            height += line.height();
        }
        layout_.endLayout();
        ownDrawing_ = true;
        return static_cast<int>(std::ceil(height));
    }
    /// The bottom of the last line laid out that ends within `room` pixels,
    /// so that no line shows cut in half before the text is scrolled.
    int WholeLines(int room) const
    {
        int bottom = 0;
        for (int i = 0; i < layout_.lineCount(); ++i) {
            const QTextLine line = layout_.lineAt(i);
            const int end = static_cast<int>(std::ceil(line.y() + line.height()));
            if (end > room)
                break;
            bottom = end;
        }
        return bottom > 0 ? bottom : room;
    }
    /// One line's height, for a scroll step.
    int LineStep() const
    {
        return layout_.lineCount() > 0 ? static_cast<int>(std::ceil(layout_.lineAt(0).height()))
                                       : QFontMetrics(font()).lineSpacing();
    }
    /// Back to the label's own drawing.
    void DrawAsLabel()
    {
        ownDrawing_ = false;
        layout_.clearLayout();
        layout_.setText(QString());
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (!ownDrawing_) {
            QLabel::paintEvent(event);
            return;
        }
        QPainter painter(this);
        painter.setPen(palette().color(foregroundRole()));
        layout_.draw(&painter, QPointF(0, 0), {}, event->rect());
    }

private:
    QTextLayout layout_;
    bool ownDrawing_ = false;
};

MessageArea::MessageArea(QWidget* parent, int left, int top, int width, int height)
    : QScrollArea(parent),
      rectangle_(Screen::Px(left), Screen::Px(top), Screen::Px(width), Screen::Px(height)),
      roomTwips_(height),
      label_(new MessageLabel(this))
{
    setObjectName(QStringLiteral("scrMSG"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Transparent: the window's background shows through as it did behind
    // the label alone.
    viewport()->setAutoFillBackground(false);

    label_->setObjectName(QStringLiteral("lblMSG"));
    // The text comes from the network: never let it be read as markup.
    label_->setTextFormat(Qt::PlainText);
    label_->setWordWrap(true);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWidget(label_);
    label_->setAutoFillBackground(false);
    // Holds the window's focus: no caret, and the keys that would press a
    // button go to the window, which has no use for them.
    setFocusPolicy(Qt::StrongFocus);
    Fit();
}

QLabel* MessageArea::Label() const
{
    return label_;
}

void MessageArea::SetText(const QString& text)
{
    label_->setText(text);
    Fit();
}

void MessageArea::SetRoom(int heightTwips)
{
    roomTwips_ = heightTwips;
    Fit();
}

void MessageArea::Fit()
{
    const int width = rectangle_.width();
    const int room = qMin(rectangle_.height(), Screen::Px(roomTwips_));
    // What the label draws: the same measure as its own.
    const QRect needed =
        QFontMetrics(label_->font())
            .boundingRect(QRect(0, 0, width, room), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                          label_->text());
    if (needed.width() <= width && needed.height() <= room) {
        // It fits: exactly as the label alone always showed it.
        label_->DrawAsLabel();
        setGeometry(rectangle_);
        label_->setGeometry(0, 0, width, rectangle_.height());
        return;
    }
    int height = label_->LayOut(width);
    int lineWidth = width;
    int shown = room;
    if (height > room) {
        // Scrolls: lines a little narrower for the scroll bar, and the area
        // ends below the last whole line that fits.
        lineWidth = width - verticalScrollBar()->sizeHint().width();
        height = label_->LayOut(lineWidth);
        shown = label_->WholeLines(room);
        verticalScrollBar()->setSingleStep(label_->LineStep());
    }
    setGeometry(rectangle_.x(), rectangle_.y(), width, shown);
    label_->setGeometry(0, 0, lineWidth, qMax(height, shown));
    verticalScrollBar()->setValue(0);
}

} // namespace wibblet
