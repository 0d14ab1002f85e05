#pragma once

#include "harvest/Harvest.h"
#include "harvest/ResultLists.h"
#include "harvest/WorkingFiles.h"
#include "platform/SkinControl.h"
#include "platform/WebBrowser.h"
#include "shell/ViewSwitcher.h"
#include "windows/Branding.h"
#include "windows/Form8.h"
#include "windows/frmAbout.h"

#include <QKeySequence>
#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;
class QWebEngineProfile;
class CommonDialog;
class Downloads;
class FindBar;
class FullScreen;
class Logins;
class PermissionBar;
class Permissions;
class ProgressBar;
class StatusBar;
class GeneratedViews;
class PageHarvester;
struct ViewPages;
class TabStrip;
class PageInfoWindow;
class PictureLinks;
class AddressCompleter;
class History;
class HistoryWindow;
class SecurityMark;

// The window's commands. Each is one action that serves its button, its menu
// item and its shortcut.
enum class Command {
    Back,
    Forward,
    Stop,
    Refresh,
    BackDirectory,
    SendToBrowser,
    Go,
    Open,
    Exit,
    ShowLive,
    ShowSource,
    ShowImages,
    Website,
    Help,
    About,
    FocusAddress,
    AddToToolsMenu,
    RemoveFromToolsMenu,
    Home,
    Find,
    FindNext,
    FindPrevious,
    ZoomIn,
    ZoomOut,
    ZoomReset,
    SavePage,
    CancelDownload,
    PageSource,
    PageInfo,
    WrapLongLines,
    ShowHistory,
    ClearHistory,
    Count
};

// The main window: navigation bar, tab strip with the three views of the
// current page (live page, its source, its images) and the status bar.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    // The window shows the branding and wears the skin it is given (none: the
    // plain look).
    explicit Form1(const Branding &branding = Branding::fromVersionInfo(),
                   SkinControl *skin = nullptr, QWidget *parent = nullptr);
    ~Form1() override;

    // Tests run the window with a profile that keeps nothing on disk.
    static void setOffTheRecord(bool offTheRecord);
    // The one main window of the run, or null before it is loaded.
    static Form1 *instance();
    // An address or file given on the command line opens instead of the
    // start page.
    static void setStartAddress(const QString &address);
    // What ends the program once the window has unloaded (tests watch it).
    static void setProgramEnd(std::function<void()> end);

    // --- what tests and start-up may ask ----------------------------------
    // The action of a command: its button, menu item and shortcut.
    QAction *action(Command command) const { return m_actions[size_t(command)]; }
    // One of the three views.
    WebBrowser *view(View which) const { return wb[size_t(which)]; }
    // The view that shows.
    View currentView() const;
    // The last harvest's result lists: Links[k] addresses, Keys[k] file-name keys.
    const ResultLists &results() const { return m_lists; }
    // How many harvests have finished (their files written, views pointed).
    int harvestsDone() const { return m_harvestsDone; }
    const WorkingFiles &workingFiles() const { return *m_files; }
    // True for the harvest's own pages (the Source Code and Images views'
    // quarrow: pages), which never run scripts.
    static bool isGeneratedPage(const QUrl &url);
    // What the Source Code and Images views show.
    GeneratedViews *generatedViews() const { return m_generated; }
    // Which view shows, and what speaks for the window.
    ViewSwitcher *viewSwitcher() const { return m_switcher; }
    // Opened side windows, while they are loaded.
    Form8 *helpWindow() const { return m_help; }
    frmAbout *aboutWindow() const { return m_about; }
    // The Page Info window, while it is open.
    PageInfoWindow *pageInfoWindow() const;
    // The ways between a picture's row of Page Info, its element in the
    // Browser view and its line in the Source Code view.
    PictureLinks *pictureLinks() const { return m_pictureLinks; }
    // Opens an address or file that the desktop handed over in the Browser tab
    // (none: nothing opens) and brings the window to the front.
    void openFromDesktop(const QString &address);
    // The find bar under the tab strip (hidden until Find).
    FindBar *findBar() const { return m_findBar; }
    // The bar over the page that asks whether a site may use a feature.
    PermissionBar *permissionBar() const { return m_permissionBar; }
    // The page's full screen, while it fills the screen.
    FullScreen *fullScreen() const { return m_fullScreen; }
    // The zoom levels a view steps through, as factors.
    static const QList<double> &zoomLevels();
    // The mark in the address box of how safe the live page's connection is.
    SecurityMark *securityMark() const { return m_securityMark; }
    // The pages visited in the Browser view, what the address box offers of
    // them, and the History window while it is loaded.
    History *history() const { return m_history; }
    AddressCompleter *addressCompleter() const { return m_addressCompleter; }
    HistoryWindow *historyWindow() const;

signals:
    void harvestFinished();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // --- window events ----------------------------------------------------
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void LayoutControls();

    // --- views and tabs ---------------------------------------------------
    void ShowView(View which);
    void SelectView(View which);
    void TabStrip1_Click();
    // The view that shows.
    WebBrowser *shownView() const;

    // --- navigation commands ----------------------------------------------
    void cmdBack_Click();
    void cmdForward_Click();
    void cmdStop_Click();
    void cmdRefresh_Click();
    void cmdGo_Click();
    void txtUrl_KeyPress(int keyAscii);
    void cmdBackDir_Click();
    void cmdSendToBrowser_Click();
    void cmdWebsite_Click();
    void goHome();
    // Steps the showing view's zoom up (+1), down (-1) or back to 100% (0).
    void zoom(int step);
    void showZoom();
    // What follows the view that shows: the find bar, the zoom and the keys.
    void viewShown();
    // The keys go to the view that shows, as after every command but the
    // address box's own.
    void giveKeysToView();
    // Takes the keys from the view that shows before `coming` replaces it.
    void keysOffTheView(View coming);
    // The keys follow the view's page into the widget of its new process.
    void keepKeysInView(WebBrowser *view);
    // The address box shows the live view's address unless the user is editing it.
    void followAddress();

    // --- browser events ---------------------------------------------------
    // What the view that shows says.
    void wb_StatusTextChange(const QString &text);
    void wb_ProgressChange(int progress, int progressMax);
    void wb_TitleChange(const QString &text);
    void wb_DownloadComplete(int index);
    // Says a text in the status bar now, and again once the live page's load
    // has ended, so that its "Done" does not cover it.
    void sayOverTheLoad(const QString &text);
    // The live page could not be opened: the views, Page Info and the working
    // files keep the last page's harvest, and the views and Page Info say why.
    void pageNotOpened(const QString &text);

    // --- page harvest -----------------------------------------------------
    // Starts a harvest of the live page; its views follow when it has finished.
    void startHarvest();
    // The harvest's views show; its files are being written.
    void showHarvest(const ResultLists &results, const ViewPages &pages);
    void finishHarvest(const HarvestReport &report);

    // --- page info --------------------------------------------------------
    // Opens an address that a command of ours follows for the page `page`
    // (Page Info, the Links tab, Send to Browser) in the Browser view, unless a
    // page there may not lead to it; then the status bar says why.
    void openForPage(const QUrl &address, const QUrl &page);
    // Why a view's page may not lead to `target` (empty: it may). The
    // generated views' pages lead where the harvested page could, in
    // whichever view they show.
    QString viewLinkRefusal(int index, const QUrl &target) const;

    // Opens the Page Info window (or brings it to the front) and fills it;
    // `shown`, when given, runs once the window shows the new inventory.
    void showPageInfo(const std::function<void()> &shown = {});
    // Takes the live page's inventory again for an open Page Info window.
    void refreshPageInfo();

    // --- history ----------------------------------------------------------
    void setUpHistory();
    void showHistory();
    // Asks first.
    void clearHistory();

    // --- tools menu -------------------------------------------------------
    void AddToIEToolsMenu();
    void RemoveFromIEToolsMenu();

    void createControls();
    void createActions();
    void createMenus();
    QAction *makeAction(Command command, const QString &menuText, const QString &caption,
                        const QString &toolTip, const QString &picture,
                        const QList<QKeySequence> &shortcuts);
    QToolButton *pictureButton(QAction *action, double left, double top, double width,
                               double height);
    void updateNavigationActions();
    void openFile();
    void dockStatusBar();
    // Run-wide values that tests and start-up set before the window loads.
    static std::function<void()> &programEnd();
    static QString &startAddress();

    // --- controls ---------------------------------------------------------
    QToolButton *cmdBack = nullptr;
    QToolButton *cmdForward = nullptr;
    QToolButton *cmdStop = nullptr;
    QToolButton *cmdRefresh = nullptr;
    QToolButton *cmdBackDir = nullptr;
    QToolButton *cmdSendToBrowser = nullptr;
    QPushButton *cmdWebsite = nullptr;
    QLineEdit *lblUrl = nullptr;
    QLineEdit *txtUrl = nullptr;
    QToolButton *cmdGo = nullptr;
    TabStrip *TabStrip1 = nullptr;
    std::array<WebBrowser *, 3> wb{};
    StatusBar *sb1 = nullptr;
    ProgressBar *pb1 = nullptr;
    CommonDialog *cd1 = nullptr;
    FindBar *m_findBar = nullptr;
    PermissionBar *m_permissionBar = nullptr;
    Permissions *m_permissions = nullptr;
    Logins *m_logins = nullptr;
    FullScreen *m_fullScreen = nullptr;
    Downloads *m_downloads = nullptr;

    ResultLists m_lists;
    // Said again when the live page's load under way ends.
    QString m_sayAfterLoad;
    // Why the live page's last load opened nothing (empty: it opened).
    QString m_notOpened;
    SecurityMark *m_securityMark = nullptr;
    QWidget *m_client = nullptr;
    QWebEngineProfile *m_profile = nullptr;
    std::unique_ptr<WorkingFiles> m_files;
    QPointer<Form8> m_help;
    QPointer<frmAbout> m_about;
    QPointer<PageInfoWindow> m_pageInfo;
    History *m_history = nullptr;
    AddressCompleter *m_addressCompleter = nullptr;
    QPointer<HistoryWindow> m_historyWindow;
    int m_harvestsDone = 0;
    Branding m_branding;
    QPointer<SkinControl> m_skin;
    PageHarvester *m_harvester = nullptr;
    GeneratedViews *m_generated = nullptr;
    PictureLinks *m_pictureLinks = nullptr;
    ViewSwitcher *m_switcher = nullptr;
    std::array<QAction *, size_t(Command::Count)> m_actions{};
    bool m_unloaded = false;
};
