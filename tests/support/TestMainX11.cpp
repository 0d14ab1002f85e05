// The main of test programs that run under a real X server: the program
// starts its own Xvfb and openbox, and its application object uses them.
// QUARROW_TEST_THEME picks the desktop whose platform theme Qt takes
// ("generic", "kde" or "gnome"; "generic" when unset).
#include "platform/QuarrowScheme.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XSession.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    testsupport::prepareEnvironment();
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    // Listing the tests needs no display.
    testsupport::XSession x;
    if (!listing) {
        QString error;
        if (!x.start(&error)) {
            std::fprintf(stderr, "no X server for the test: %s\n", qPrintable(error));
            return 1;
        }
        const QString theme = qEnvironmentVariable("QUARROW_TEST_THEME", QStringLiteral("generic"));
        x.useForThisProcess(theme);
    }
    QuarrowScheme::registerScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    int status = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    return status;
}
