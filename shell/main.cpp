#include "shell/Application.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // --help, --version and mistyped options are answered before any window
    // system is needed.
    if (const std::optional<int> status = AnswerCommandLine(argc, argv))
        return *status;
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    return RunQuarrow();
}
