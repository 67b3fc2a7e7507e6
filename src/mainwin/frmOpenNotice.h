#pragma once

#include <QWidget>

class QLabel;

namespace wibblet {

/// Tells the user that a sealed message they sent has been opened.
/// Deleted once closed, by OK or by its frame; never reused.
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
