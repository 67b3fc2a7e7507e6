#include "platform/gui/OffscreenWarnings.h"

#include <QApplication>
#include <gtest/gtest.h>

// Widget tests run on the offscreen platform (set by CTest's environment).
int main(int argc, char** argv)
{
    wibblet::QuietOffscreenWarnings();
    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
