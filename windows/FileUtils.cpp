#include "windows/FileUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QWidget>

QString FileNameOf(const QString &path)
{
    if (path.isEmpty())
        return QString();
    qsizetype cut = path.lastIndexOf(QLatin1Char('\\'));
#ifndef Q_OS_WIN
    cut = std::max(cut, path.lastIndexOf(QLatin1Char('/')));
#endif
    return path.mid(cut + 1);
}

bool FileExists(const QString &path)
{
    const QString name = FileNameOf(path);
    if (name.isEmpty())
        return false;
    QString folderPath = path.left(path.size() - name.size());
    if (folderPath.isEmpty())
        folderPath = QStringLiteral(".");
    const QDir folder(folderPath);
    if (!folder.exists())
        return false;

    // The exact name first: the common case needs no listing.
    const QFileInfo exact(folder.filePath(name));
    if (exact.exists() && exact.fileName() == name)
        return exact.isFile() && !exact.isHidden();

    // Plain visible files only; hidden entries and folders never match.
    const QStringList entries = folder.entryList(QDir::Files | QDir::NoDotAndDotDot);
    const QString wanted = name.toUpper();
    for (const QString &entry : entries) {
        if (entry.toUpper() == wanted)
            return true;
    }
    return false;
}

void SetTopMost(QWidget *form)
{
    if (!form)
        return;
    const bool wasVisible = form->isVisible();
    const QRect geometry = form->geometry();
    form->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // Changing a window's flags hides it; bring it back where it was.
    if (wasVisible) {
        form->setGeometry(geometry);
        form->show();
    }
}
