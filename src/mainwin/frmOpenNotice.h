#pragma once

#include <QWidget>

class QLabel;

namespace wibblet {

/// Tells the user that a sealed message they sent has been opened.
/// Hidden by OK, never reused.
class frmOpenNotice : public QWidget {
    Q_OBJECT
public:
    explicit frmOpenNotice(QWidget* owner);

    /// The date line, "(mmm dd hh:mm)".
    void SetDate(const QString& text);

private:
    QLabel* lblDate_;
};

} // namespace wibblet
