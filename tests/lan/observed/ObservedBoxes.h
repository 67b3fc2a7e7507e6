#pragma once

#include "kit/ScriptedMessageBoxes.h"

#include <cstdio>
#include <utility>

namespace wibblet::test {

/// Message boxes of the observed program: never block, answer OK or Yes,
/// leave notices open (nobody closes them), keep every box for the state
/// report and print it the moment it is shown, so a box shown just before
/// the process ends is still seen.
class ObservedBoxes : public ScriptedMessageBoxes {
public:
    BoxAnswer Show(const BoxRequest& box) override
    {
        Print(box);
        return ScriptedMessageBoxes::Show(box);
    }

    void Notify(const BoxRequest& box, std::function<void()> closed) override
    {
        Print(box);
        ScriptedMessageBoxes::Notify(box, std::move(closed));
    }

    static void Print(const BoxRequest& box)
    {
        const QByteArray line = QStringLiteral("shown\t%1\t%2\n")
                                    .arg(Escaped(box.Caption()), Escaped(box.text))
                                    .toUtf8();
        std::fputs(line.constData(), stdout);
        std::fflush(stdout);
    }

    /// One line per text: line breaks, tabs and NULs written as escapes.
    static QString Escaped(QString text)
    {
        return text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
            .replace(QLatin1Char('\r'), QLatin1String("\\r"))
            .replace(QLatin1Char('\n'), QLatin1String("\\n"))
            .replace(QLatin1Char('\t'), QLatin1String("\\t"))
            .replace(QChar(u'\0'), QLatin1String("\\0"));
    }
};

} // namespace wibblet::test
