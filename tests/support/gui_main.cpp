#include <QApplication>
#include <gtest/gtest.h>

namespace {

QtMessageHandler qtHandler = nullptr;

// The offscreen platform cannot raise windows or pass size hints on, and says
// so for every window; the rest of Qt's messages stay.
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QStringLiteral("This plugin does not support")))
        return;
    qtHandler(type, context, message);
}

} // namespace

// Widget tests run on the offscreen platform (set by CTest's environment).
int main(int argc, char** argv)
{
    qtHandler = qInstallMessageHandler(QuietOffscreen);
    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
