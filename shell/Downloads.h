#pragma once

#include <QObject>
#include <QPointer>

class QWebEngineDownloadRequest;
class QWebEngineProfile;
class QWidget;

// Every download the engine offers (a link to a file, the page menu's Save
// items, Save Page As) goes through a "Save As" dialog that starts in the
// user's download folder with the suggested name. One download runs at a
// time; it reports its progress, its end and its failure in words, and can be
// cancelled. Nothing is overwritten without the dialog's own question.
class Downloads : public QObject {
    Q_OBJECT
public:
    Downloads(QWebEngineProfile *profile, QWidget *dialogParent);

    // True while a download is under way.
    bool busy() const { return m_current != nullptr; }
    void cancel();

    // The folder the dialog starts in: the user's download folder.
    static QString startFolder();

signals:
    // What the download is doing, for the status bar.
    void status(const QString &text);
    void busyChanged(bool busy);

private:
    void offered(QWebEngineDownloadRequest *download);
    void progress();
    void ended();

    QWidget *m_dialogParent = nullptr;
    QPointer<QWebEngineDownloadRequest> m_current;
};
