#include "shell/Form1.h"

#include "platform/AddressRules.h"
#include "platform/BestEffort.h"
#include "platform/CommonDialog.h"
#include "platform/PageGuard.h"
#include "platform/ProgramFolder.h"
#include "platform/ProgressBar.h"
#include "platform/SettingsStore.h"
#include "platform/StatusBar.h"
#include "platform/TabStrip.h"
#include "platform/Twips.h"
#include "platform/WebBrowser.h"
#include "shell/Downloads.h"
#include "shell/FullScreen.h"
#include "shell/GeneratedViews.h"
#include "shell/LayoutGeometry.h"
#include "shell/Logins.h"
#include "shell/PageHarvester.h"
#include "shell/Permissions.h"
#include "shell/PictureLinks.h"
#include "windows/Branding.h"
#include "windows/FileUtils.h"
#include "windows/FindBar.h"
#include "windows/PageInfoWindow.h"
#include "windows/PageSourceWindow.h"
#include "windows/PermissionBar.h"
#include "windows/SecurityMark.h"
#include "windows/Skinning.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QToolButton>
#include <QWebEngineHistory>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWheelEvent>

namespace {
bool offTheRecordProfile = false;
Form1 *theForm1 = nullptr;

QFont familyFont(const QStringList &families, double points, bool bold = false)
{
    QFont font;
    font.setFamilies(families);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}
} // namespace

std::function<void()> &Form1::programEnd()
{
    static std::function<void()> end = [] { QCoreApplication::exit(0); };
    return end;
}

void Form1::setProgramEnd(std::function<void()> end)
{
    programEnd() = std::move(end);
}

QString &Form1::startAddress()
{
    static QString address;
    return address;
}

void Form1::setStartAddress(const QString &address)
{
    startAddress() = address;
}

void Form1::setOffTheRecord(bool offTheRecord)
{
    offTheRecordProfile = offTheRecord;
}

Form1 *Form1::instance()
{
    return theForm1;
}

Form1::Form1(const Branding &branding, SkinControl *skin, QWidget *parent)
    : QMainWindow(parent), m_branding(branding), m_skin(skin)
{
    theForm1 = this;
    setObjectName(QStringLiteral("Form1"));
    // The caption names the program from the first frame; the live page's
    // title follows once it has one.
    setWindowTitle(m_branding.productName + QStringLiteral(" by ") + m_branding.companyName);
    setFont(familyFont({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")}, 8.25));
    m_files = std::make_unique<WorkingFiles>(ProgramFolder::workingFolder());

    m_profile = offTheRecordProfile ? new QWebEngineProfile(this)
                                    : new QWebEngineProfile(QStringLiteral("Quarrow"), this);
    createActions();
    createControls();
    createMenus();
    // Small enough for a half screen, large enough for every button to be whole.
    setMinimumSize(Twips::toPixelsX(10000), Twips::toPixelsY(6600));
    Form_Load();
}

Form1::~Form1()
{
    if (theForm1 == this)
        theForm1 = nullptr;
    // Nothing the views still report (a harvest's pending page text among
    // them) may reach a window that is going; a harvest that is writing its
    // files finishes first.
    m_unloaded = true;
    delete m_harvester;
    m_harvester = nullptr;
    for (WebBrowser *view : wb)
        view->disconnect(this);
    m_switcher->disconnect(this);
    // Views first: their pages, and those of the source windows, must go
    // before the profile.
    qDeleteAll(findChildren<PageSourceWindow *>(Qt::FindDirectChildrenOnly));
    delete m_pageInfo.data();
    delete m_generated;
    m_generated = nullptr;
    for (WebBrowser *&view : wb) {
        delete view;
        view = nullptr;
    }
}

QToolButton *Form1::pictureButton(QAction *action, double left, double top, double width,
                                  double height)
{
    auto *button = new QToolButton(m_client);
    // The button shows the command's caption, picture and tool tip, and is
    // enabled when the command is.
    button->setDefaultAction(action);
    button->setIconSize(QSize(16, 16));
    button->setToolButtonStyle(height > 400 ? Qt::ToolButtonTextUnderIcon
                                            : Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(false);
    button->setFocusPolicy(Qt::TabFocus);
    button->setFont(
        familyFont({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans")}, 8.25));
    Twips::place(button, left, top, width, height);
    return button;
}

QAction *Form1::makeAction(Command command, const QString &menuText, const QString &caption,
                           const QString &toolTip, const QString &picture,
                           const QList<QKeySequence> &shortcuts)
{
    auto *action = new QAction(menuText, this);
    if (!caption.isEmpty())
        action->setIconText(caption);
    if (!toolTip.isEmpty())
        action->setToolTip(toolTip);
    if (!picture.isEmpty())
        action->setIcon(QIcon(QStringLiteral(":/app/buttons/%1.png").arg(picture)));
    action->setShortcuts(shortcuts);
    action->setShortcutContext(Qt::WindowShortcut);
    // Shortcuts work from anywhere in the window, menu shown or not.
    addAction(action);
    m_actions[size_t(command)] = action;
    return action;
}

void Form1::createActions()
{
    // Every command has keys of its own, the same on every platform: no key
    // is the platform's standard key for something (which would bind other
    // keys, or the same key twice, depending on the desktop), and none
    // serves two commands, which would make Qt fire neither.
    const auto keys = [](std::initializer_list<QKeySequence> list) { return QList(list); };
    connect(makeAction(Command::Back, tr("&Back"), tr("Back"), tr("Back"), QStringLiteral("back"),
                       keys({QKeySequence(Qt::ALT | Qt::Key_Left)})),
            &QAction::triggered, this, &Form1::cmdBack_Click);
    connect(makeAction(Command::Forward, tr("&Forward"), tr("Forward"), tr("Forward"),
                       QStringLiteral("forward"), keys({QKeySequence(Qt::ALT | Qt::Key_Right)})),
            &QAction::triggered, this, &Form1::cmdForward_Click);
    connect(makeAction(Command::Stop, tr("&Stop"), tr("Stop"), tr("Stop"), QStringLiteral("stop"),
                       keys({QKeySequence(Qt::Key_Escape)})),
            &QAction::triggered, this, &Form1::cmdStop_Click);
    connect(makeAction(Command::Refresh, tr("&Refresh"), tr("Refresh"), tr("Refresh"),
                       QStringLiteral("refresh"),
                       keys({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)})),
            &QAction::triggered, this, &Form1::cmdRefresh_Click);
    connect(makeAction(Command::BackDirectory, tr("Back a &Directory"), tr("Back Directory"),
                       tr("back 1 directory level"), QStringLiteral("backdir"),
                       keys({QKeySequence(Qt::ALT | Qt::Key_Up)})),
            &QAction::triggered, this, &Form1::cmdBackDir_Click);
    connect(makeAction(Command::SendToBrowser, tr("Send &Page to Browser Tab"),
                       tr("Send to Browser"), tr("Send Page to Browser Tab"),
                       QStringLiteral("send"), {}),
            &QAction::triggered, this, &Form1::cmdSendToBrowser_Click);
    connect(makeAction(Command::Go, tr("&Go"), tr("Go"), tr("Go!"), QStringLiteral("go"), {}),
            &QAction::triggered, this, &Form1::cmdGo_Click);
    connect(makeAction(Command::Open, tr("&Open..."), {}, {}, {},
                       keys({QKeySequence(Qt::CTRL | Qt::Key_O)})),
            &QAction::triggered, this, &Form1::openFile);
    connect(makeAction(Command::Exit, tr("E&xit"), {}, {}, {},
                       keys({QKeySequence(Qt::CTRL | Qt::Key_Q)})),
            &QAction::triggered, this, &QWidget::close);
    const struct {
        Command command;
        const char *text;
        Qt::Key key;
        View view;
    } views[] = {
        {Command::ShowLive, QT_TR_NOOP("&Browser"), Qt::Key_1, View::Live},
        {Command::ShowSource, QT_TR_NOOP("&Source Code"), Qt::Key_2, View::Source},
        {Command::ShowImages, QT_TR_NOOP("&Images"), Qt::Key_3, View::Images},
    };
    for (const auto &view : views) {
        connect(makeAction(view.command, tr(view.text), {}, {}, {},
                           keys({QKeySequence(Qt::CTRL | view.key)})),
                &QAction::triggered, this, [this, which = view.view] { SelectView(which); });
    }
    connect(makeAction(Command::Website, tr("Website"), {}, {}, QStringLiteral("website"), {}),
            &QAction::triggered, this, &Form1::cmdWebsite_Click);
    connect(
        makeAction(Command::Help, tr("View &Help"), {}, {}, {}, keys({QKeySequence(Qt::Key_F1)})),
        &QAction::triggered, this,
        [this] { ShowHelpWindow(m_help, m_branding.productName, m_skin, this); });
    connect(makeAction(Command::About, tr("&About this software"), {}, {}, {}, {}),
            &QAction::triggered, this, [this] {
                // Its website's link is the Website command.
                ShowAboutWindow(m_about, m_branding, m_skin, this)
                    ->setWebsiteAction(action(Command::Website));
            });
    const auto toAddress = [this] {
        txtUrl->setFocus(Qt::ShortcutFocusReason);
        txtUrl->selectAll();
    };
    connect(makeAction(Command::FocusAddress, tr("Address"), {}, {}, {},
                       keys({QKeySequence(Qt::CTRL | Qt::Key_L), QKeySequence(Qt::Key_F6)})),
            &QAction::triggered, this, toAddress);
#ifdef _WIN32
    // Internet Explorer's Tools menu, through the registry.
    const QString addText = tr("&Add program to IE Tools Menu");
    const QString removeText = tr("&Remove Program from IE Tools Menu");
#else
    // The desktop's application menu, through the user's desktop entry.
    const QString addText = tr("&Add Quarrow to the Applications Menu");
    const QString removeText = tr("&Remove Quarrow from the Applications Menu");
#endif
    connect(makeAction(Command::AddToToolsMenu, addText, {}, {}, {}, {}), &QAction::triggered, this,
            &Form1::AddToIEToolsMenu);
    connect(makeAction(Command::RemoveFromToolsMenu, removeText, {}, {}, {}, {}),
            &QAction::triggered, this, &Form1::RemoveFromIEToolsMenu);
    connect(makeAction(Command::Home, tr("&Home"), {}, {}, {},
                       keys({QKeySequence(Qt::ALT | Qt::Key_Home)})),
            &QAction::triggered, this, &Form1::goHome);
    connect(makeAction(Command::Find, tr("&Find in Page..."), {}, {}, {},
                       keys({QKeySequence(Qt::CTRL | Qt::Key_F)})),
            &QAction::triggered, this, [this] { m_findBar->open(); });
    connect(makeAction(Command::FindNext, tr("Find Ne&xt"), {}, {}, {},
                       keys({QKeySequence(Qt::Key_F3)})),
            &QAction::triggered, this, [this] { m_findBar->findNext(); });
    connect(makeAction(Command::FindPrevious, tr("Find Pre&vious"), {}, {}, {},
                       keys({QKeySequence(Qt::SHIFT | Qt::Key_F3)})),
            &QAction::triggered, this, [this] { m_findBar->findPrevious(); });
    connect(makeAction(Command::ZoomIn, tr("&Zoom In"), {}, {}, {},
                       keys({QKeySequence(Qt::CTRL | Qt::Key_Equal),
                             QKeySequence(Qt::CTRL | Qt::Key_Plus)})),
            &QAction::triggered, this, [this] { zoom(+1); });
    connect(makeAction(Command::ZoomOut, tr("Zoom O&ut"), {}, {}, {},
                       keys({QKeySequence(Qt::CTRL | Qt::Key_Minus)})),
            &QAction::triggered, this, [this] { zoom(-1); });
    connect(makeAction(Command::ZoomReset, tr("&Reset Zoom"), {}, {}, {},
                       keys({QKeySequence(Qt::CTRL | Qt::Key_0)})),
            &QAction::triggered, this, [this] { zoom(0); });
    connect(makeAction(Command::SavePage, tr("&Save Page As..."), {}, {}, {},
                       keys({QKeySequence(Qt::CTRL | Qt::Key_S)})),
            &QAction::triggered, this,
            [this] { shownView()->triggerPageAction(QWebEnginePage::SavePage); });
    connect(makeAction(Command::CancelDownload, tr("&Cancel Download"), {}, {}, {}, {}),
            &QAction::triggered, this, [this] { m_downloads->cancel(); });
    action(Command::CancelDownload)->setEnabled(false);
    // The live page's source as the engine shows it, in a window of its own.
    connect(makeAction(Command::PageSource, tr("&Page Source"), {}, {}, {},
                       keys({QKeySequence(Qt::CTRL | Qt::Key_U)})),
            &QAction::triggered, this,
            [this] { ShowPageSource(wb[0]->url(), m_profile, this, m_branding.productName); });
    // What the live page is made of: its pictures and links, in a window of its own.
    connect(makeAction(Command::PageInfo, tr("Page &Info"), {}, {}, {},
                       keys({QKeySequence(Qt::CTRL | Qt::Key_I)})),
            &QAction::triggered, this, [this] { showPageInfo(); });
    // The Source Code view wraps long lines, or lets them run and scrolls
    // sideways; the choice is kept for the next run.
    QAction *wrap = makeAction(Command::WrapLongLines, tr("&Wrap Long Lines"), {}, {}, {}, {});
    wrap->setCheckable(true);
    connect(wrap, &QAction::toggled, this, [this](bool on) {
        m_generated->setWrapLongLines(on);
        BestEffort([this, on] { Settings(m_branding.productName).setWrapLongLines(on); });
    });
    connect(makeAction(Command::ShowHistory, tr("H&istory"), {}, {}, {},
                       keys({QKeySequence(Qt::CTRL | Qt::Key_H)})),
            &QAction::triggered, this, &Form1::showHistory);
    connect(makeAction(Command::ClearHistory, tr("&Clear History..."), {}, {}, {},
                       keys({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete)})),
            &QAction::triggered, this, &Form1::clearHistory);
}

void Form1::updateNavigationActions()
{
    // Back, Forward and Stop follow the history and loading of the view that shows.
    const WebBrowser *view = shownView();
    action(Command::Back)->setEnabled(view->history()->canGoBack());
    action(Command::Forward)->setEnabled(view->history()->canGoForward());
    action(Command::Stop)->setEnabled(view->Busy());
    // The progress bar shows while the page that shows loads.
    if (pb1)
        pb1->setVisible(view->Busy());
}

void Form1::createControls()
{
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    setCentralWidget(m_client);

    cmdBack = pictureButton(action(Command::Back), 60, 60, 915, 500);
    cmdBack->setObjectName(QStringLiteral("cmdBack"));
    cmdForward = pictureButton(action(Command::Forward), 1020, 60, 915, 500);
    cmdForward->setObjectName(QStringLiteral("cmdForward"));
    cmdStop = pictureButton(action(Command::Stop), 1980, 60, 915, 500);
    cmdStop->setObjectName(QStringLiteral("cmdStop"));
    cmdRefresh = pictureButton(action(Command::Refresh), 2940, 60, 915, 500);
    cmdRefresh->setObjectName(QStringLiteral("cmdRefresh"));
    cmdBackDir = pictureButton(action(Command::BackDirectory), 3900, 60, 1695, 500);
    cmdBackDir->setObjectName(QStringLiteral("cmdBackDir"));
    cmdSendToBrowser = pictureButton(action(Command::SendToBrowser), 5640, 60, 1695, 500);
    cmdSendToBrowser->setObjectName(QStringLiteral("cmdSendToBrowser"));

    cmdWebsite = new QPushButton(m_client);
    cmdWebsite->setObjectName(QStringLiteral("cmdWebsite"));
    cmdWebsite->setIcon(QIcon(QStringLiteral(":/app/buttons/website.png")));
    cmdWebsite->setFocusPolicy(Qt::TabFocus);
    Twips::place(cmdWebsite, 7380, 60, 2235, 495);

    lblUrl = new QLineEdit(QStringLiteral("URL:"), m_client);
    lblUrl->setObjectName(QStringLiteral("lblUrl"));
    lblUrl->setReadOnly(true);
    lblUrl->setFrame(false);
    lblUrl->setFocusPolicy(Qt::NoFocus);
    lblUrl->setBackgroundRole(QPalette::Button);
    {
        QPalette p = lblUrl->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Button));
        lblUrl->setPalette(p);
    }
    Twips::place(lblUrl, 60, 660, 495, 285);

    txtUrl = new QLineEdit(m_client);
    txtUrl->setObjectName(QStringLiteral("txtUrl"));
    txtUrl->setClearButtonEnabled(false);
    txtUrl->installEventFilter(this);
    Twips::place(txtUrl, 540, 600, 2715, 315);
    m_securityMark = new SecurityMark(txtUrl);

    cmdGo = pictureButton(action(Command::Go), 3600, 600, 1095, 315);
    cmdGo->setObjectName(QStringLiteral("cmdGo"));

    TabStrip1 = new TabStrip(m_client);
    TabStrip1->addTab(QStringLiteral("Browser"),
                      QStringLiteral("Browser Identical to Internet Explorer"));
    TabStrip1->addTab(QStringLiteral("Source Code"),
                      QStringLiteral("View the Source Code of the Current Page"));
    TabStrip1->addTab(
        QStringLiteral("Images"),
        QStringLiteral("Displays All Images and Links to Images on the Current Page"));
    TabStrip1->select(1);
    Twips::place(TabStrip1, 60, 960, 10215, 7875);

    for (int i = 0; i < 3; ++i) {
        wb[i] = new WebBrowser(i, m_profile, m_client);
        wb[i]->setObjectName(QStringLiteral("wb%1").arg(i));
        connect(wb[i], &WebBrowser::DownloadComplete, this, &Form1::wb_DownloadComplete);
        // Ctrl and the wheel zoom the view. The widget that shows the page
        // comes and goes with the page's process: each new one is watched.
        wb[i]->installEventFilter(this);
        for (QWidget *child : wb[i]->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            child->installEventFilter(this);
    }
    // Only the view that shows speaks for the window.
    m_switcher = new ViewSwitcher(wb, this);
    connect(m_switcher, &ViewSwitcher::statusTextChanged, this, &Form1::wb_StatusTextChange);
    connect(m_switcher, &ViewSwitcher::progressChanged, this, &Form1::wb_ProgressChange);
    connect(m_switcher, &ViewSwitcher::titleChanged, this, &Form1::wb_TitleChange);
    connect(m_switcher, &ViewSwitcher::navigationChanged, this, &Form1::updateNavigationActions);
    // The address box follows the live page, whichever view shows.
    connect(wb[0], &QWebEngineView::urlChanged, this, &Form1::followAddress);
    // A load that ends without a new page (a download, a refusal) leaves the
    // box on the page that still shows, not on the address that went nowhere.
    connect(wb[0], &QWebEngineView::loadFinished, this, &Form1::followAddress);
    // Not over what the user is typing either.
    connect(wb[0], &WebBrowser::TitleChange, this, &Form1::followAddress);
    m_generated = new GeneratedViews(m_profile, wb[1], wb[2], this);
    m_generated->setLiveView(wb[0]);
    connect(m_switcher, &ViewSwitcher::currentChanged, m_generated,
            [this] { m_generated->setShownView(shownView()); });
    {
        const bool wrap = Settings(m_branding.productName).wrapLongLines();
        m_generated->setWrapLongLines(wrap);
        const QSignalBlocker quiet(action(Command::WrapLongLines));
        action(Command::WrapLongLines)->setChecked(wrap);
    }
    connect(wb[0], &QWebEngineView::loadStarted, m_generated, &GeneratedViews::markOutOfDate);
    // The address box marks how safe the live page's connection is.
    connect(wb[0]->guard(), &PageGuard::securityChanged, m_securityMark,
            [this] { m_securityMark->setSecurity(wb[0]->guard()->security()); });
    setUpHistory();
    m_harvester = new PageHarvester(wb[0], *m_files, this);
    connect(m_harvester, &PageHarvester::harvested, this, &Form1::showHarvest);
    connect(m_harvester, &PageHarvester::finished, this, &Form1::finishHarvest);
    // The harvest's pages never run scripts, in whichever view they show: the
    // live view turns its scripts off for them (Send to Browser, Refresh,
    // Back and Forward land there too) and on again for any other page.
    wb[0]->setScriptlessPages([](const QUrl &url) { return isGeneratedPage(url); });
    // The generated pages lead where the page they were made from could: a
    // web page's harvest opens no local file.
    for (int i = 0; i < 3; ++i) {
        wb[i]->setNavigationRule(
            [this, i](const QUrl &target) { return viewLinkRefusal(i, target); });
        connect(wb[i], &WebBrowser::navigationRefused, this,
                [this](int, const QString &reason) { sb1->setPanelText(1, reason); });
    }

    sb1 = new StatusBar(m_client);
    Twips::place(sb1, 0, 10785, 12135, 315);
    pb1 = new ProgressBar(m_client);
    Twips::place(pb1, 1980, 10080, 1935, 315);

    cd1 = new CommonDialog(this);

    // From a picture's row of Page Info to its element and its line, and back.
    m_pictureLinks = new PictureLinks(wb[0], wb[1], m_generated, this);
    connect(m_pictureLinks, &PictureLinks::viewWanted, this, [this](View which) {
        SelectView(which);
        activateWindow();
        shownView()->setFocus(Qt::OtherFocusReason);
    });
    connect(m_pictureLinks, &PictureLinks::said, this,
            [this](const QString &text) { sb1->setPanelText(1, text); });
    connect(m_pictureLinks, &PictureLinks::pageInfoWanted, this,
            [this](const QStringList &addresses) {
                showPageInfo(
                    [this, addresses] { m_pictureLinks->selectInPageInfo(m_pageInfo, addresses); });
            });

    m_findBar = new FindBar(m_client);
    connect(m_findBar, &FindBar::visibilityChanged, this, &Form1::LayoutControls);
    // What pages ask of the user: a login, a feature, the whole screen.
    m_permissionBar = new PermissionBar(m_client);
    connect(m_permissionBar, &PermissionBar::visibilityChanged, this, &Form1::LayoutControls);
    m_permissions = new Permissions(m_switcher, m_permissionBar, this);
    m_logins = new Logins(m_switcher, this);
    m_fullScreen = new FullScreen(this, m_switcher);
    connect(m_fullScreen, &FullScreen::changed, this, &Form1::LayoutControls);
    m_downloads = new Downloads(m_profile, this);
    connect(m_downloads, &Downloads::status, this,
            [this](const QString &text) { sb1->setPanelText(2, text); });
    connect(m_downloads, &Downloads::busyChanged, action(Command::CancelDownload),
            &QAction::setEnabled);

    connect(cmdWebsite, &QPushButton::clicked, action(Command::Website), &QAction::trigger);
    connect(TabStrip1, &TabStrip::Click, this, &Form1::TabStrip1_Click);

    // Tab and Shift+Tab go round the bar's buttons, the address box, Go, the
    // tabs and the view that shows (its links in turn), and back again.
    const QList<QWidget *> order = {cmdBack,    cmdForward,          cmdStop,    cmdRefresh,
                                    cmdBackDir, cmdSendToBrowser,    cmdWebsite, txtUrl,
                                    cmdGo,      TabStrip1->tabBar(), wb[0],      wb[1],
                                    wb[2]};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    resize(Twips::toPixelsX(12135), Twips::toPixelsY(11100));
}

bool Form1::isGeneratedPage(const QUrl &url)
{
    return GeneratedViews::isGenerated(url);
}

void Form1::createMenus()
{
    // Each menu item is the command itself: the same action as its button and
    // shortcut, which the item shows.
    auto addMenu = [this](const QString &title, std::initializer_list<Command> commands) {
        QMenu *menu = menuBar()->addMenu(title);
        for (const Command command : commands)
            menu->addAction(action(command));
        return menu;
    };
    addMenu(tr("&File"),
            {Command::Open, Command::SavePage, Command::CancelDownload, Command::Exit});
    QMenu *go =
        addMenu(tr("&Go"), {Command::Back, Command::Forward, Command::Stop, Command::Refresh,
                            Command::BackDirectory, Command::SendToBrowser, Command::Home});
    go->addSeparator();
    go->addAction(action(Command::ShowHistory));
    go->addAction(action(Command::ClearHistory));
    addMenu(tr("&View"),
            {Command::ShowLive, Command::ShowSource, Command::ShowImages, Command::Website,
             Command::Find, Command::FindNext, Command::FindPrevious, Command::ZoomIn,
             Command::ZoomOut, Command::ZoomReset, Command::WrapLongLines, Command::PageSource});
    addMenu(tr("&Tools"),
            {Command::PageInfo, Command::AddToToolsMenu, Command::RemoveFromToolsMenu});
    addMenu(tr("&Help"), {Command::Help});
    addMenu(tr("&About"), {Command::About});
}

void Form1::Form_Load()
{
    // The three views show no dialog boxes of their own.
    for (WebBrowser *view : wb)
        view->setSilent(true);
    // A failure here must not keep the window from coming up.
    BestEffort([this] { SetWindowIcons(this, QStringLiteral("AAA"), true); });
    pb1->setVisible(false);
    cmdWebsite->setText(QStringLiteral("Visit ") + m_branding.website);
    action(Command::Website)
        ->setText(m_branding.website.isEmpty() ? QStringLiteral("Website") : m_branding.website);

    // From here on every step is best-effort.
    if (m_skin)
        BestEffort([this] { ApplySkin(this, m_skin); });

    // Every working file exists; existing ones are left as they are.
    BestEffort([this] { m_files->createMissing(FileExists); });
    // The second status panel lies under the progress bar.
    BestEffort([this] { sb1->addPanel(); });
    // The live page first.
    BestEffort([this] { ShowView(View::Live); });
    // The start page, or what the desktop asked us to open.
    BestEffort([this] {
        const AddressVerdict verdict = AddressFromOutside(startAddress());
        if (verdict.allowed()) {
            wb[0]->open(verdict.url);
            return;
        }
        wb[0]->GoHome();
        if (!verdict.refusal.isEmpty())
            sayOverTheLoad(verdict.refusal);
    });
}

void Form1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void Form1::Form_Resize()
{
    LayoutControls();
}

void Form1::dockStatusBar()
{
    const int height = Twips::toPixelsY(315);
    sb1->setGeometry(0, std::max(0, m_client->height() - height), m_client->width(), height);
}

void Form1::LayoutControls()
{
    if (m_fullScreen && m_fullScreen->view()) {
        // The page alone fills the screen.
        m_fullScreen->view()->setGeometry(m_client->rect());
        m_fullScreen->view()->raise();
        return;
    }
    dockStatusBar();
    LayoutInput in;
    const QRect outer = frameGeometry();
    in.W = Twips::fromPixelsX(outer.width());
    in.H = Twips::fromPixelsY(outer.height());
    in.sbHeight = Twips::fromPixelsY(sb1->height());
    in.sbTop = Twips::fromPixelsY(sb1->y());
    in.sbWidth = Twips::fromPixelsX(sb1->width());
    in.tabTop = Twips::fromPixelsY(TabStrip1->y());
    in.txtUrlLeft = Twips::fromPixelsX(txtUrl->x());
    in.cmdGoWidth = Twips::fromPixelsX(cmdGo->width());
    in.cmdWebsiteLeft = Twips::fromPixelsX(cmdWebsite->x());
    const LayoutResult r = ComputeLayout(in);

    Twips::place(TabStrip1, r.tabStrip.left, r.tabStrip.top, r.tabStrip.width, r.tabStrip.height);
    // The views start just below the tab strip's row of tabs.
    const double tabRow = Twips::fromPixelsY(TabStrip1->tabRowHeight());
    const double viewTop = std::max<double>(r.browser.top, r.tabStrip.top + tabRow + 30);
    double viewHeight = std::max(0.0, r.browser.height - (viewTop - r.browser.top));
    // An open permission bar, then an open find bar, take the top of the
    // view's place.
    double pageTop = viewTop;
    for (QWidget *bar :
         {static_cast<QWidget *>(m_permissionBar), static_cast<QWidget *>(m_findBar)}) {
        if (!bar || bar->isHidden())
            continue;
        const double barHeight =
            std::min(viewHeight, double(Twips::fromPixelsY(bar->sizeHint().height())));
        Twips::place(bar, r.browser.left, pageTop, r.browser.width, barHeight);
        bar->raise();
        pageTop += barHeight;
        viewHeight -= barHeight;
    }
    for (WebBrowser *view : wb)
        Twips::place(view, r.browser.left, pageTop, r.browser.width, viewHeight);

    while (sb1->panelCount() < 2)
        sb1->addPanel();
    sb1->setPanelWidth(1, r.panel1Width);
    sb1->setPanelWidth(2, r.panel2Width);
    Twips::place(pb1, r.progress.left, r.progress.top, r.progress.width, r.progress.height);

    txtUrl->resize(Twips::toPixelsX(r.txtUrlWidth), txtUrl->height());
    cmdWebsite->resize(Twips::toPixelsX(r.cmdWebsiteWidth), cmdWebsite->height());
    cmdGo->move(Twips::toPixelsX(r.cmdGoLeft), cmdGo->y());

    sb1->raise();
    // The progress bar lies over the second panel.
    pb1->raise();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtUrl && event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape) {
            // Esc in the address box is the box's own, not Stop.
            event->accept();
            return true;
        }
        // Every other key of a command is the command's there too, as in
        // other browsers: the box would take Ctrl+U to empty its line.
        const QKeySequence typed(key->keyCombination());
        for (const QAction *command : m_actions) {
            if (command && command->shortcuts().contains(typed))
                return true; // not accepted: the window's shortcut runs
        }
    }
    if (watched == txtUrl && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            txtUrl_KeyPress(13);
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            // Back to the address of the page that shows.
            txtUrl->setText(wb[0]->LocationURL());
            txtUrl->selectAll();
            return true;
        }
    }
    if (event->type() == QEvent::Hide && !event->spontaneous()) {
        for (WebBrowser *view : wb) {
            auto *widget = static_cast<QWidget *>(watched);
            if (watched->parent() == view && widget->hasFocus()) {
                // A page's widget that goes (another view shows, the page
                // moves to a new process) would hand the keys on along the
                // tab chain, and the next page would give them to its first
                // link; they go to the page that shows instead.
                widget->clearFocus();
                QMetaObject::invokeMethod(
                    this, [this, view] { keepKeysInView(view); }, Qt::QueuedConnection);
                break;
            }
        }
    }
    if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildRemoved) {
        for (WebBrowser *view : wb) {
            if (watched == view) {
                QObject *child = static_cast<QChildEvent *>(event)->child();
                if (event->type() == QEvent::ChildAdded && child && child->isWidgetType())
                    child->installEventFilter(this);
                // A page in a new process comes with a new widget, and the
                // old one takes the keys with it: they go to the new one.
                QMetaObject::invokeMethod(
                    this, [this, view] { keepKeysInView(view); }, Qt::QueuedConnection);
                break;
            }
        }
    }
    if (event->type() == QEvent::Wheel &&
        (static_cast<QWheelEvent *>(event)->modifiers() & Qt::ControlModifier)) {
        for (WebBrowser *view : wb) {
            if (watched == view || watched->parent() == view) {
                const int delta = static_cast<QWheelEvent *>(event)->angleDelta().y();
                if (delta != 0 && view->isVisible())
                    zoom(delta > 0 ? +1 : -1);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
