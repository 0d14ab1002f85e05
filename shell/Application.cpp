#include "shell/Application.h"

#include "platform/InstanceChannel.h"
#include "platform/SettingsStore.h"
#include "platform/SkinControl.h"
#include "shell/Form1.h"
#include "shell/StartChecks.h"
#include "shell/frmSplash.h"
#include "windows/Form8.h"
#include "windows/Skinning.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QPointer>
#include <QScreen>

#include <cstdio>

void ConfigureCommandLine(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Quarrow shows a web page beside its source and a page of its pictures."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("address"),
                                 QStringLiteral("A web address or a file to open instead of the "
                                                "start page."),
                                 QStringLiteral("[address]"));
}

std::optional<int> AnswerCommandLine(int argc, char **argv)
{
    bool anyOption = false;
    for (int i = 1; i < argc; ++i)
        anyOption = anyOption || argv[i][0] == '-';
    if (!anyOption)
        return std::nullopt;
    // A bare application object is enough to read the line and print help.
    QCoreApplication probe(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral(QUARROW_PRODUCT_NAME));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUARROW_VERSION));
    QCommandLineParser parser;
    ConfigureCommandLine(parser);
    // Options of Qt itself (-platform, -style...) are not known here; the
    // window system's application object takes them, and the line is read
    // again then.
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("%s %s\n", QUARROW_PRODUCT_NAME, QUARROW_VERSION);
        return 0;
    }
    return std::nullopt;
}

int RunQuarrow()
{
    QApplication::setApplicationName(QStringLiteral("Quarrow"));
    QApplication::setOrganizationName(QStringLiteral("Quarrow"));
    // The main window ends the run itself when it closes.
    QApplication::setQuitOnLastWindowClosed(false);
    // Every window of the program carries its icon unless it has its own.
    QApplication::setWindowIcon(IconGroup(QStringLiteral("AAA")));

    // The desktop may hand over one address or file to open.
    QCommandLineParser parser;
    ConfigureCommandLine(parser);
    if (!parser.parse(QCoreApplication::arguments()) || parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "quarrow: %s\n",
                     qPrintable(parser.errorText().isEmpty()
                                    ? QStringLiteral("give at most one address or file")
                                    : parser.errorText()));
        return 2;
    }
    // Better a reason now than the web engine's abort with the first page.
    if (const std::optional<QString> problem = WebEngineStartProblem())
        return RefuseToStart(*problem);

    // A file named relative to this start's folder means the same file to a
    // Quarrow that runs elsewhere.
    QString address = parser.positionalArguments().value(0);
    if (!address.isEmpty() && QFileInfo::exists(address))
        address = QFileInfo(address).absoluteFilePath();
    // One Quarrow per user: a running one takes the address and comes to the
    // front, and this start ends.
    InstanceChannel channel;
    if (channel.handOver(address))
        return 0;
    if (!channel.listen()) {
        const QString path = InstanceChannel::socketPath();
        if (path.isEmpty())
            std::fprintf(stderr, "quarrow: no private folder for the instance socket; a later "
                                 "start opens a second window\n");
        else
            std::fprintf(stderr,
                         "quarrow: cannot listen on %s; a later start opens a second window\n",
                         qPrintable(path));
    }

    int status = 0;
    {
        QuarrowApplication quarrow(address);
        QObject::connect(&channel, &InstanceChannel::addressReceived, &quarrow,
                         &QuarrowApplication::openFromDesktop);
        quarrow.start();
        status = QApplication::exec();
        // The views' pages go before their profile, and both before the application.
    }
    return status;
}

QuarrowApplication::QuarrowApplication(const QString &startAddress)
    : m_branding(Branding::fromVersionInfo()), m_skin(std::make_unique<SkinControl>())
{
    Form1::setStartAddress(startAddress);
}

QuarrowApplication::~QuarrowApplication()
{
    delete m_mainWindow.data();
    delete m_splash.data();
}

frmSplash *QuarrowApplication::splash() const
{
    return m_splash;
}

Form1 *QuarrowApplication::mainWindow() const
{
    return m_mainWindow;
}

void QuarrowApplication::start()
{
    m_splash = new frmSplash(m_branding, m_skin.get());
    connect(m_splash, &frmSplash::timeUp, this, &QuarrowApplication::showMainWindow);
    m_splash->show();
}

void QuarrowApplication::openFromDesktop(const QString &address)
{
    if (!m_mainWindow) {
        // Still at the splash: the address takes the start page's place.
        if (!address.isEmpty())
            Form1::setStartAddress(address);
        return;
    }
    m_mainWindow->openFromDesktop(address);
}

void QuarrowApplication::showMainWindow()
{
    m_mainWindow = new Form1(m_branding, m_skin.get());
    // The window comes back as the user left it; the first time it is
    // maximised, and un-maximised it fits the work area with its title bar
    // in sight.
    const QByteArray saved = Settings(m_branding.productName).windowGeometry();
    if (!saved.isEmpty() && m_mainWindow->restoreGeometry(saved)) {
        m_mainWindow->show();
    } else {
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            QRect normal(QPoint(0, 0), area.size() * 0.85);
            normal.moveCenter(area.center());
            m_mainWindow->setGeometry(normal);
        }
        m_mainWindow->showMaximized();
    }
    if (m_splash)
        m_splash->hide();
    // The help window opens over the main window when its "Show at Startup"
    // box is ticked, as the Help command opens it.
    if (Form8::showAtStartup(m_branding.productName))
        m_mainWindow->action(Command::Help)->trigger();
    emit mainWindowShown();
}
