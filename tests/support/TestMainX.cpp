#include "platform/QuarrowScheme.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XDisplay.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdio>

// Tests under a real X server with a window manager, which the program starts
// and ends itself.
int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::prepareEnvironment();
    // Listing the tests needs no display.
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    QString why;
    if (!testsupport::startXDisplay(&why)) {
        std::fprintf(stderr, "No X display for the tests: %s\n", qPrintable(why));
        return 1;
    }
    // A run may ask for the platform theme of a desktop (and its standard keys).
    if (qEnvironmentVariableIsSet("QUARROW_TEST_THEME"))
        testsupport::useDesktopTheme(qEnvironmentVariable("QUARROW_TEST_THEME"));
    QuarrowScheme::registerScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    int result = 1;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    testsupport::stopXDisplay();
    return result;
}
