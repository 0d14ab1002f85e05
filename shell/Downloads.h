#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>
#include <unordered_map>

class QTemporaryDir;
class QWebEngineDownloadRequest;
class QWebEnginePage;
class QWebEngineProfile;
class QWidget;

// Every download the engine offers (a link to a file, the page menu's Save
// items, Save Page As) goes through a "Save As" dialog that starts in the
// user's download folder with the suggested name. Nothing is overwritten
// without the dialog's own question.
//
// A page that starts further downloads by itself, with no click or key of the
// user's since its last one, gets one question: "HOST wants to download
// several files", Allow or Block. Allowed, its downloads are saved without a
// dialog into the folder of its first one, under free names; blocked, they are
// cancelled and counted. The answer holds until the page goes elsewhere. No
// dialog ever comes while another is open: what a page offers meanwhile waits,
// paused, for the answer.
class Downloads : public QObject {
    Q_OBJECT
public:
    Downloads(QWebEngineProfile *profile, QWidget *dialogParent);
    ~Downloads() override;

    // True while a download is under way.
    bool busy() const { return !m_running.isEmpty(); }
    // How many downloads the engine has offered so far (the saver's aside).
    int offersSeen() const { return m_offersSeen; }
    // Cancels every download under way.
    void cancel();

    // The folder the dialog starts in: the user's download folder.
    static QString startFolder();

signals:
    // What the downloads are doing, for the status bar.
    void status(const QString &text);
    void busyChanged(bool busy);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Answer { None, Allowed, Blocked };
    // What is known of one page document's downloads.
    struct PageState {
        QUrl url;
        QString host;
        Answer answer = Answer::None;
        // The user's act that the page's last download came after.
        quint64 lastAct = 0;
        bool hadDownload = false;
        // Where its first download went; its allowed ones follow it there.
        QString folder;
        int blocked = 0;
    };

    void offered(QWebEngineDownloadRequest *download);
    PageState &stateFor(QWebEngineDownloadRequest *download);
    // Runs the Save As dialog and starts the download where the user says.
    void saveAs(QWebEngineDownloadRequest *download, PageState &state);
    // Asks whether the page may download several files.
    Answer ask(const QString &host);
    // Saves without a dialog into `folder` under a free name.
    void saveInto(QWebEngineDownloadRequest *download, const QString &folder);
    void block(QWebEngineDownloadRequest *download, PageState &state);
    // Takes a download that came while a dialog was open: it starts, paused,
    // in a holding folder until its page's answer is known.
    void hold(QWebEngineDownloadRequest *download);
    // Decides the held downloads once no dialog is open.
    void decideHeld();
    void track(QWebEngineDownloadRequest *download);
    void forgetGonePages();
    void progress();
    void ended(QWebEngineDownloadRequest *download);

    QWidget *m_dialogParent = nullptr;
    // Node-based: a state stays where it is while a dialog runs.
    std::unordered_map<const QWebEnginePage *, PageState> m_pages;
    // Pages that went while a dialog was open, forgotten once it closes.
    QList<const QWebEnginePage *> m_gone;
    // Downloads from pages that are gone, or that have none.
    PageState m_noPage;
    QList<QPointer<QWebEngineDownloadRequest>> m_running;
    QList<QPointer<QWebEngineDownloadRequest>> m_held;
    // Held downloads that were allowed: moved into their folder once done.
    QHash<const QWebEngineDownloadRequest *, QString> m_moveWhenDone;
    std::unique_ptr<QTemporaryDir> m_holding;
    // Counts the user's clicks and keys anywhere in the program.
    quint64 m_acts = 0;
    bool m_dialogOpen = false;
    int m_offersSeen = 0;
};
