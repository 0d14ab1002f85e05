#include "shell/Application.h"

#include "shell/Form1.h"
#include "shell/frmSplash.h"

#include <QApplication>
#include <QPointer>

int RunQuarrow()
{
    QApplication::setApplicationName(QStringLiteral("Quarrow"));
    QApplication::setOrganizationName(QStringLiteral("Quarrow"));
    // The main window ends the run itself when it closes.
    QApplication::setQuitOnLastWindowClosed(false);

    QPointer<frmSplash> splash = new frmSplash;
    splash->Form_Load();
    splash->show();
    const int status = QApplication::exec();

    // The views' pages go before their profile, and both before the application.
    delete Form1::instance();
    delete splash.data();
    return status;
}
