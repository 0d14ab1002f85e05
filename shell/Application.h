#pragma once

#include "windows/Branding.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

#include <optional>

class Form1;
class QCommandLineParser;
class SkinControl;
class frmSplash;

// The command line Quarrow reads: --help, --version and one address or file to
// open instead of the start page.
void ConfigureCommandLine(QCommandLineParser &parser);

// Answers --help and --version (printing to standard output, status 0) and a
// command line that cannot be read (a line on standard error, status 2); no
// answer when Quarrow should start. Needs no application object.
std::optional<int> AnswerCommandLine(int argc, char **argv);

// Quarrow's run: it owns the branding and the skin and hands them to the
// windows; it shows the splash and, when the splash's time is up, the main window.
class QuarrowApplication : public QObject {
    Q_OBJECT
public:
    explicit QuarrowApplication(const QString &startAddress = QString());
    ~QuarrowApplication() override;

    void start();

    const Branding &branding() const { return m_branding; }
    frmSplash *splash() const;
    Form1 *mainWindow() const;

    // A later start of Quarrow asked for this address (empty: only to come
    // to the front).
    void openFromDesktop(const QString &address);

signals:
    void mainWindowShown();

private:
    void showMainWindow();

    Branding m_branding;
    std::unique_ptr<SkinControl> m_skin;
    QPointer<frmSplash> m_splash;
    QPointer<Form1> m_mainWindow;
};

// Runs Quarrow in the application object that main() made: the splash, then
// the main window, until the main window is closed.
int RunQuarrow();
