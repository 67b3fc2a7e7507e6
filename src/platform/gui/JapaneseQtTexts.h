#pragma once

#include <QTranslator>

namespace wibblet {

/// Qt's own texts in Japanese, like the rest of the program, whatever the
/// locale, for as long as this lives: the text boxes' context menus (元に戻す,
/// コピー, 貼り付け …) would otherwise be English in a Japanese interface. The
/// translation is Debian's qt6-translations-l10n; without it they stay
/// English and nothing else changes. Installed in the application, not owned
/// by it: each program run in a process keeps its own.
class JapaneseQtTexts {
public:
    JapaneseQtTexts();
    bool Loaded() const { return loaded_; }

private:
    QTranslator translator_; // leaves the application when destroyed
    bool loaded_ = false;
};

} // namespace wibblet
