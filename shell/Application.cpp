#include "shell/Application.h"

#include "shell/Form1.h"
#include "shell/frmSplash.h"
#include "windows/Skinning.h"

#include <QApplication>
#include <QPointer>

int RunQuarrow()
{
    QApplication::setApplicationName(QStringLiteral("Quarrow"));
    QApplication::setOrganizationName(QStringLiteral("Quarrow"));
    // The main window ends the run itself when it closes.
    QApplication::setQuitOnLastWindowClosed(false);
    // Every window of the program carries its icon unless it has its own.
    QApplication::setWindowIcon(IconGroup(QStringLiteral("AAA")));

    // The desktop may hand over one address or file to open.
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1)
        Form1::setStartAddress(arguments.at(1));

    QPointer<frmSplash> splash = new frmSplash;
    splash->Form_Load();
    splash->show();
    const int status = QApplication::exec();

    // The views' pages go before their profile, and both before the application.
    delete Form1::instance();
    delete splash.data();
    return status;
}
