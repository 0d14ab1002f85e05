#include "shell/Downloads.h"

#include "windows/MediaSaver.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

Downloads::Downloads(QWebEngineProfile *profile, QWidget *dialogParent)
    : QObject(dialogParent), m_dialogParent(dialogParent)
{
    connect(profile, &QWebEngineProfile::downloadRequested, this, &Downloads::offered);
}

QString Downloads::startFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return folder.isEmpty() ? QDir::homePath() : folder;
}

void Downloads::cancel()
{
    if (m_current)
        m_current->cancel();
}

void Downloads::offered(QWebEngineDownloadRequest *download)
{
    // The Page Info window's saves name their own files.
    if (MediaSaver::ownsDownload(download))
        return;
    if (m_current) {
        // One at a time: the second waits for no one and is said to be refused.
        emit status(tr("Download of %1 refused: another download is under way")
                        .arg(download->downloadFileName()));
        download->cancel();
        return;
    }
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
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        download->cancel();
        emit status(tr("Download cancelled"));
        return;
    }
    QString path = dialog.selectedFiles().constFirst();
    if (download->isSavePageDownload()) {
        const bool single = dialog.selectedNameFilter() == webSingle;
        download->setSavePageFormat(single ? QWebEngineDownloadRequest::MimeHtmlSaveFormat
                                           : QWebEngineDownloadRequest::CompleteHtmlSaveFormat);
    }
    const QFileInfo target(path);
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());
    m_current = download;
    connect(download, &QWebEngineDownloadRequest::receivedBytesChanged, this, &Downloads::progress);
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, &Downloads::ended);
    download->accept();
    emit busyChanged(true);
    progress();
}

void Downloads::progress()
{
    if (!m_current)
        return;
    const QString name = m_current->downloadFileName();
    const qint64 total = m_current->totalBytes();
    const qint64 received = m_current->receivedBytes();
    const QLocale locale;
    if (total > 0)
        emit status(tr("Downloading %1: %2%").arg(name).arg(received * 100 / total));
    else
        emit status(tr("Downloading %1: %2").arg(name, locale.formattedDataSize(received)));
}

void Downloads::ended()
{
    if (!m_current || !m_current->isFinished())
        return;
    QWebEngineDownloadRequest *download = m_current;
    m_current = nullptr;
    const QString name = download->downloadFileName();
    switch (download->state()) {
    case QWebEngineDownloadRequest::DownloadCompleted:
        emit status(tr("Downloaded %1 to %2").arg(name, download->downloadDirectory()));
        break;
    case QWebEngineDownloadRequest::DownloadCancelled:
        emit status(tr("Download of %1 cancelled").arg(name));
        break;
    default:
        emit status(tr("Download of %1 failed: %2").arg(name, download->interruptReasonString()));
        break;
    }
    emit busyChanged(false);
}
