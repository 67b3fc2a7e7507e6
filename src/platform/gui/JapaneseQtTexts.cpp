#include "platform/gui/JapaneseQtTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace wibblet {

JapaneseQtTexts::JapaneseQtTexts()
{
    loaded_ = translator_.load(QStringLiteral("qtbase_ja"),
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (loaded_)
        QCoreApplication::installTranslator(&translator_);
}

} // namespace wibblet
