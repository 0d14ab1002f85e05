#include "shell/Downloads.h"

#include "windows/FileUtils.h"
#include "windows/MediaSaver.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <utility>

Downloads::Downloads(QWebEngineProfile *profile, QWidget *dialogParent)
    : QObject(dialogParent), m_dialogParent(dialogParent)
{
    connect(profile, &QWebEngineProfile::downloadRequested, this, &Downloads::offered);
    // A page's download counts as the user's when a click or key of the
    // user's came since its last one.
    qApp->installEventFilter(this);
}

Downloads::~Downloads()
{
    qApp->removeEventFilter(this);
}

bool Downloads::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::KeyPress:
    case QEvent::TouchBegin:
        // Answers to our own dialogs are not acts on a page.
        if (!m_dialogOpen)
            ++m_acts;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

QString Downloads::startFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return folder.isEmpty() ? QDir::homePath() : folder;
}

void Downloads::cancel()
{
    const auto running = m_running;
    for (const QPointer<QWebEngineDownloadRequest> &download : running) {
        if (download)
            download->cancel();
    }
}

Downloads::PageState &Downloads::stateFor(QWebEngineDownloadRequest *download)
{
    QWebEnginePage *page = download->page();
    PageState *state = &m_noPage;
    if (page && !m_gone.contains(page)) {
        const auto [entry, added] = m_pages.try_emplace(page);
        if (added) {
            connect(page, &QObject::destroyed, this, [this, page] {
                m_gone.append(page);
                if (!m_dialogOpen)
                    forgetGonePages();
            });
        }
        state = &entry->second;
    }
    // A page that went elsewhere starts afresh.
    const QUrl url = page ? page->url() : QUrl();
    if (state->url != url || state->host.isEmpty()) {
        *state = PageState{};
        state->url = url;
        state->host = !url.host().isEmpty()               ? url.host()
                      : !download->url().host().isEmpty() ? download->url().host()
                                                          : tr("This page");
    }
    return *state;
}

void Downloads::offered(QWebEngineDownloadRequest *download)
{
    // The Page Info window's saves name their own files.
    if (MediaSaver::ownsDownload(download))
        return;
    ++m_offersSeen;
    if (m_dialogOpen) {
        hold(download);
        return;
    }
    PageState &state = stateFor(download);
    const bool byItself = state.hadDownload && state.lastAct == m_acts;
    state.hadDownload = true;
    if (!byItself) {
        saveAs(download, state);
    } else {
        if (state.answer == Answer::None)
            state.answer = ask(state.host);
        if (state.answer == Answer::Allowed)
            saveInto(download, state.folder);
        else
            block(download, state);
    }
    state.lastAct = m_acts;
    decideHeld();
    forgetGonePages();
}

void Downloads::forgetGonePages()
{
    for (const QWebEnginePage *page : std::as_const(m_gone))
        m_pages.erase(page);
    m_gone.clear();
}

void Downloads::saveAs(QWebEngineDownloadRequest *download, PageState &state)
{
    // The dialog's own question guards every existing file; a page saved as a
    // single file or as a complete page is offered in both forms.
    QFileDialog dialog(m_dialogParent, tr("Save As"));
    dialog.setObjectName(QStringLiteral("saveAsDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setDirectory(startFolder());
    const QString webComplete = tr("Web page, complete (*.html *.htm)");
    const QString webSingle = tr("Web page, single file (*.mhtml)");
    QString suggested = download->downloadFileName();
    if (download->isSavePageDownload()) {
        dialog.setNameFilters({webComplete, webSingle});
        suggested = QFileInfo(suggested).completeBaseName() + QStringLiteral(".html");
    }
    dialog.selectFile(suggested);
    m_dialogOpen = true;
    const bool accepted = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    m_dialogOpen = false;
    // The page may have gone while the dialog was open.
    if (!accepted || download->isFinished()) {
        download->cancel();
        emit status(tr("Download cancelled"));
        return;
    }
    const QString path = dialog.selectedFiles().constFirst();
    if (download->isSavePageDownload()) {
        const bool single = dialog.selectedNameFilter() == webSingle;
        download->setSavePageFormat(single ? QWebEngineDownloadRequest::MimeHtmlSaveFormat
                                           : QWebEngineDownloadRequest::CompleteHtmlSaveFormat);
    }
    const QFileInfo target(path);
    state.folder = target.absolutePath();
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());
    track(download);
    download->accept();
    progress();
}

Downloads::Answer Downloads::ask(const QString &host)
{
    QMessageBox question(QMessageBox::Question, tr("Downloads"),
                         tr("%1 wants to download several files").arg(host), QMessageBox::NoButton,
                         m_dialogParent);
    question.setObjectName(QStringLiteral("severalDownloadsQuestion"));
    question.setTextFormat(Qt::PlainText);
    question.setInformativeText(tr("The page started them by itself, not after a click of yours."));
    QPushButton *allow = question.addButton(tr("Allow"), QMessageBox::AcceptRole);
    QPushButton *blockButton = question.addButton(tr("Block"), QMessageBox::RejectRole);
    question.setDefaultButton(blockButton);
    question.setEscapeButton(blockButton);
    m_dialogOpen = true;
    question.exec();
    m_dialogOpen = false;
    return question.clickedButton() == allow ? Answer::Allowed : Answer::Blocked;
}

void Downloads::saveInto(QWebEngineDownloadRequest *download, const QString &folder)
{
    const QString into = folder.isEmpty() ? startFolder() : folder;
    download->setDownloadDirectory(into);
    download->setDownloadFileName(
        MediaSaver::uniqueNames({download->downloadFileName()}, into, false).constFirst());
    track(download);
    download->accept();
    progress();
}

void Downloads::block(QWebEngineDownloadRequest *download, PageState &state)
{
    download->cancel();
    ++state.blocked;
    emit status(state.blocked == 1
                    ? tr("Blocked 1 download from %1").arg(state.host)
                    : tr("Blocked %1 downloads from %2").arg(state.blocked).arg(state.host));
}

void Downloads::hold(QWebEngineDownloadRequest *download)
{
    if (!m_holding) {
        m_holding = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                    QStringLiteral("/quarrow-held-XXXXXX"));
        if (!m_holding->isValid()) {
            m_holding.reset();
            download->cancel();
            return;
        }
    }
    download->setDownloadDirectory(m_holding->path());
    download->setDownloadFileName(
        MediaSaver::uniqueNames({download->downloadFileName()}, m_holding->path(), false)
            .constFirst());
    download->accept();
    download->pause();
    m_held.append(download);
}

void Downloads::decideHeld()
{
    while (!m_held.isEmpty() && !m_dialogOpen) {
        QWebEngineDownloadRequest *download = m_held.takeFirst();
        if (!download)
            continue;
        PageState &state = stateFor(download);
        state.hadDownload = true;
        if (state.answer == Answer::None)
            state.answer = ask(state.host);
        const QString folder = state.folder.isEmpty() ? startFolder() : state.folder;
        // A small file may have come in whole before it could be paused.
        const bool whole = download->state() == QWebEngineDownloadRequest::DownloadCompleted;
        if (state.answer == Answer::Allowed) {
            m_moveWhenDone.insert(download, folder);
            track(download);
            if (whole) {
                ended(download);
            } else {
                download->resume();
                progress();
            }
        } else {
            if (whole)
                QFile::remove(
                    QDir(download->downloadDirectory()).filePath(download->downloadFileName()));
            block(download, state);
        }
    }
}

void Downloads::track(QWebEngineDownloadRequest *download)
{
    const bool wasBusy = busy();
    m_running.append(download);
    connect(download, &QWebEngineDownloadRequest::receivedBytesChanged, this, &Downloads::progress,
            Qt::UniqueConnection);
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this,
            [this, download] { ended(download); });
    if (!wasBusy)
        emit busyChanged(true);
}

void Downloads::progress()
{
    QList<QWebEngineDownloadRequest *> running;
    for (const QPointer<QWebEngineDownloadRequest> &download : std::as_const(m_running)) {
        if (download && !download->isFinished())
            running.append(download);
    }
    if (running.isEmpty())
        return;
    const QLocale locale;
    if (running.size() > 1) {
        qint64 received = 0;
        for (QWebEngineDownloadRequest *download : std::as_const(running))
            received += download->receivedBytes();
        emit status(tr("Downloading %1 files: %2")
                        .arg(running.size())
                        .arg(locale.formattedDataSize(received)));
        return;
    }
    QWebEngineDownloadRequest *download = running.constFirst();
    const QString name = download->downloadFileName();
    const qint64 total = download->totalBytes();
    const qint64 received = download->receivedBytes();
    if (total > 0)
        emit status(tr("Downloading %1: %2%").arg(name).arg(received * 100 / total));
    else
        emit status(tr("Downloading %1: %2").arg(name, locale.formattedDataSize(received)));
}

void Downloads::ended(QWebEngineDownloadRequest *download)
{
    if (!download->isFinished())
        return;
    const bool tracked = m_running.removeAll(download) > 0;
    QString name = download->downloadFileName();
    QString folder = download->downloadDirectory();
    const auto move = m_moveWhenDone.constFind(download);
    if (move != m_moveWhenDone.constEnd()) {
        // A held download goes from the holding folder to where it belongs.
        folder = *move;
        m_moveWhenDone.erase(move);
        if (download->state() == QWebEngineDownloadRequest::DownloadCompleted) {
            // Into the folder under a hidden name first, then placed under a
            // free name, never through a link that stands in the way.
            const QString part = NewPartFileName();
            QString placed, why;
            const bool moved = QFile::rename(QDir(download->downloadDirectory()).filePath(name),
                                             QDir(folder).filePath(part));
            if (!moved ||
                PlaceFile(folder, part, name, false, &placed, &why) != PlaceResult::Placed) {
                QFile::remove(QDir(download->downloadDirectory()).filePath(name));
                emit status(tr("Download of %1 failed: cannot write it to %2").arg(name, folder));
                if (!busy())
                    emit busyChanged(false);
                return;
            }
            name = placed;
        }
    }
    if (!tracked)
        return;
    switch (download->state()) {
    case QWebEngineDownloadRequest::DownloadCompleted:
        emit status(tr("Downloaded %1 to %2").arg(name, folder));
        break;
    case QWebEngineDownloadRequest::DownloadCancelled:
        emit status(tr("Download of %1 cancelled").arg(name));
        break;
    default:
        emit status(tr("Download of %1 failed: %2").arg(name, download->interruptReasonString()));
        break;
    }
    if (!busy())
        emit busyChanged(false);
}
