#pragma once

#include "harvest/Harvest.h"
#include "harvest/ResultLists.h"
#include "harvest/WorkingFiles.h"
#include "platform/SkinControl.h"
#include "platform/WebBrowser.h"
#include "windows/Branding.h"
#include "windows/Form8.h"
#include "windows/frmAbout.h"

#include <QKeySequence>
#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;
class QWebEngineProfile;
class CommonDialog;
class ProgressBar;
class StatusBar;
class PageHarvester;
class TabStrip;

// The three views of the current page, in the order of their tabs.
enum class View { Live = 0, Source = 1, Images = 2 };

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
    PageSource,
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

    // --- controls ---------------------------------------------------------
    QToolButton *cmdBack = nullptr;
    QToolButton *cmdForward = nullptr;
    QToolButton *cmdStop = nullptr;
    std::vector<QToolButton *> cmdRefresh; // one element, index 0
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

    // The harvest's result lists: Links[k] addresses, Keys[k] file-name keys.
    ResultLists lists;
    QStringList (&Links)[2] = lists.Links;
    QStringList (&Keys)[2] = lists.Keys;

    std::vector<QAction *> mnuFileItem;
    std::vector<QAction *> mnuGoItem;
    std::vector<QAction *> mnuViewItem;
    std::vector<QAction *> mnuToolsItem;
    std::vector<QAction *> mnuHelpItem;
    std::vector<QAction *> mnuAboutItem;

    // --- window events ----------------------------------------------------
    void Form_Load();
    void Form_Resize();
    void Form_Unload();

    // --- views, tabs and menus --------------------------------------------
    void ShowView(int index);
    void SelectView(int index);
    void TabStrip1_Click();
    // The action of a command.
    QAction *action(Command command) const { return m_actions[size_t(command)]; }
    void LayoutControls();

    // --- navigation commands ----------------------------------------------
    void cmdBack_Click();
    void cmdForward_Click();
    void cmdStop_Click();
    void cmdRefresh_Click(int index);
    void cmdGo_Click();
    void txtUrl_KeyPress(int keyAscii);
    void cmdBackDir_Click();
    void cmdSendToBrowser_Click();
    void cmdWebsite_Click();

    // --- browser events ---------------------------------------------------
    void wb_StatusTextChange(int index, const QString &text);
    void wb_ProgressChange(int index, int progress, int progressMax);
    void wb_DownloadComplete(int index);
    void wb_TitleChange(int index, const QString &text);

    // --- page harvest -----------------------------------------------------
    // Starts a harvest of the live page; its views follow when it has finished.
    void startHarvest();
    const WorkingFiles &workingFiles() const { return *m_files; }
    // True for the harvest's own pages (source.htm, imagepage.html in the
    // working folder), which never run scripts.
    bool isGeneratedPage(const QUrl &url) const;
    // How many harvests have finished (their files written, views pointed).
    int harvestsDone() const { return m_harvestsDone; }

    // --- tools menu -------------------------------------------------------
    void AddToIEToolsMenu();
    void RemoveFromIEToolsMenu();

    // The index of the visible view (the last one that is visible), or 3.
    int visibleBrowserIndex() const;

    // Opened side windows, while they are loaded.
    Form8 *helpWindow() const { return m_help; }
    frmAbout *aboutWindow() const { return m_about; }

signals:
    void harvestFinished();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
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
    void finishHarvest(const ResultLists &results, const HarvestReport &report);
    // Run-wide values that tests and start-up set before the window loads.
    static std::function<void()> &programEnd();
    static QString &startAddress();

    QWidget *m_client = nullptr;
    QWebEngineProfile *m_profile = nullptr;
    std::unique_ptr<WorkingFiles> m_files;
    QPointer<Form8> m_help;
    QPointer<frmAbout> m_about;
    int m_harvestsDone = 0;
    Branding m_branding;
    QPointer<SkinControl> m_skin;
    PageHarvester *m_harvester = nullptr;
    std::array<QAction *, size_t(Command::Count)> m_actions{};
    QMetaObject::Connection m_harvestNotice;
    bool m_unloaded = false;
};
