#include "platform/QuarrowScheme.h"
#include "shell/Application.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // --help, --version and mistyped options are answered before any window
    // system is needed.
    if (const std::optional<int> status = AnswerCommandLine(argc, argv))
        return *status;
    // The program's own pages have a scheme of their own, which the engine
    // must know before it starts.
    QuarrowScheme::registerScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    return RunQuarrow();
}
