#pragma once

#include <QWidget>

namespace wibblet {

/// The about window: program name, version and a line of authorship.
/// Closed by OK; the next request creates it anew.
class frmAbout : public QWidget {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* owner);

    /// "Version " major "." minor revision, with "β" before version 1.
    static QString VersionText(int major, int minor, int revision);
};

} // namespace wibblet
