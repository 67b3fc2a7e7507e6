#include "platform/gui/TrayIcon.h"

#include <QApplication>
#include <QCursor>
#include <QIcon>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace wibblet {

void TrayIcon::Add(TrayPicture picture, const QString& tip)
{
    shown_ = true;
    picture_ = picture;
    tip_ = tip;
}

void TrayIcon::Modify(TrayPicture picture, const QString& tip)
{
    // Like the desktop's tray, changing an icon that is not there does nothing.
    if (!shown_)
        return;
    picture_ = picture;
    tip_ = tip;
}

void TrayIcon::Delete()
{
    shown_ = false;
}

namespace {

const QIcon& IconFor(TrayPicture picture)
{
    // Loaded once: the letter and main pictures alternate every half second
    // while a message waits.
    static const QIcon main(QStringLiteral(":/icons/app.svg"));
    static const QIcon letter(QStringLiteral(":/icons/letter.svg"));
    return picture == TrayPicture::Letter ? letter : main;
}

// Calls a function once, when the watched widget has painted (the event
// loop turns once more, so that what was painted reaches the display) or when
// time is up, whichever comes first; it is the context's child, and goes with it.
class CallOncePainted : public QObject {
public:
    CallOncePainted(QWidget* watched, int timeoutMs, QObject* context, std::function<void()> then)
        : QObject(context),
          then_(std::move(then))
    {
        watched->installEventFilter(this);
        QTimer::singleShot(timeoutMs, this, &CallOncePainted::Call);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            QTimer::singleShot(0, this, &CallOncePainted::Call);
        return QObject::eventFilter(watched, event);
    }

private:
    void Call()
    {
        if (!then_)
            return;
        const std::function<void()> then = std::exchange(then_, nullptr);
        deleteLater();
        then();
    }

    std::function<void()> then_;
};

} // namespace

void TrayIcon::WhenDrawn(int timeoutMs, QObject* context, std::function<void()> then)
{
    Q_UNUSED(timeoutMs);
    Q_UNUSED(context);
    then();
}

QtTrayIcon::QtTrayIcon(QObject* parent) : TrayIcon(parent), icon_(new QSystemTrayIcon(this))
{
    // No context menu here: the main window pops its own on RightPress.
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                switch (reason) {
                case QSystemTrayIcon::Trigger:
                    Q_EMIT Activated(TrayEvent::LeftPress, QCursor::pos());
                    break;
                case QSystemTrayIcon::DoubleClick:
                    Q_EMIT Activated(TrayEvent::LeftDoubleClick, QCursor::pos());
                    break;
                case QSystemTrayIcon::Context:
                    Q_EMIT Activated(TrayEvent::RightPress, QCursor::pos());
                    break;
                case QSystemTrayIcon::MiddleClick:
                case QSystemTrayIcon::Unknown:
                    break;
                }
            });
}

QtTrayIcon::~QtTrayIcon() = default;

void QtTrayIcon::Add(TrayPicture picture, const QString& tip)
{
    TrayIcon::Add(picture, tip);
    icon_->setIcon(IconFor(picture));
    icon_->setToolTip(tip);
    icon_->show();
}

void QtTrayIcon::Modify(TrayPicture picture, const QString& tip)
{
    if (!Shown())
        return;
    // The tip is rewritten on every tick; only a change reaches the desktop.
    const bool newPicture = picture != Picture();
    const bool newTip = tip != Tip();
    TrayIcon::Modify(picture, tip);
    if (newPicture)
        icon_->setIcon(IconFor(picture));
    if (newTip)
        icon_->setToolTip(tip);
}

void QtTrayIcon::WhenDrawn(int timeoutMs, QObject* context, std::function<void()> then)
{
    // On an XEmbed tray Qt draws the icon in a widget of its own; a
    // StatusNotifier tray draws it itself, and there is nothing to wait for.
    QWidget* icon = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->inherits("QSystemTrayIconSys"))
            icon = widget;
    }
    if (!Shown() || icon == nullptr) {
        then();
        return;
    }
    new CallOncePainted(icon, timeoutMs, context, std::move(then));
}

bool QtTrayIcon::Available() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayIcon::Delete()
{
    TrayIcon::Delete();
    icon_->hide();
}

} // namespace wibblet
