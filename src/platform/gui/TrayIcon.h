#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>

class QSystemTrayIcon;

namespace wibblet {

/// The tray icon's events, as the main window handles them.
enum class TrayEvent { LeftPress, LeftDoubleClick, RightPress };
/// The two pictures the tray shows.
enum class TrayPicture { Main, Letter };

/// The notification-area icon. Its state is kept here, apart from the
/// desktop's tray, so that tests can read it.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    /// Registers the icon with the tray.
    virtual void Add(TrayPicture picture, const QString& tip);
    /// Changes icon and tip of a registered icon.
    virtual void Modify(TrayPicture picture, const QString& tip);
    /// Removes the icon from the tray.
    virtual void Delete();
    /// Whether the desktop has a tray to show the icon in. Without one the
    /// main window stays an ordinary window, as nothing else could bring it
    /// back.
    virtual bool Available() const { return true; }
    /// Calls then from the event loop once the tray has drawn the icon, or
    /// after timeoutMs at the latest, unless context is gone by then; at
    /// once where there is nothing to wait for, as here. Start-up leaves
    /// its slower work until then, so that the icon is not kept blank.
    virtual void WhenDrawn(int timeoutMs, QObject* context, std::function<void()> then);

    bool Shown() const { return shown_; }
    TrayPicture Picture() const { return picture_; }
    QString Tip() const { return tip_; }

Q_SIGNALS:
    void Activated(wibblet::TrayEvent event, QPoint globalPos);

private:
    bool shown_ = false;
    TrayPicture picture_ = TrayPicture::Main;
    QString tip_;
};

/// The desktop's tray through QSystemTrayIcon (StatusNotifierItem or XEmbed,
/// as Qt finds).
class QtTrayIcon : public TrayIcon {
    Q_OBJECT
public:
    explicit QtTrayIcon(QObject* parent = nullptr);
    ~QtTrayIcon() override;

    void Add(TrayPicture picture, const QString& tip) override;
    void Modify(TrayPicture picture, const QString& tip) override;
    void Delete() override;
    bool Available() const override;
    void WhenDrawn(int timeoutMs, QObject* context, std::function<void()> then) override;

private:
    QSystemTrayIcon* icon_;
};

} // namespace wibblet
