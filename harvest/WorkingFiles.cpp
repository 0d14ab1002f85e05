#include "harvest/WorkingFiles.h"

#include <QFile>
#include <QSaveFile>

const QLatin1StringView WorkingFiles::CheckImages("checkImages.txt");
const QLatin1StringView WorkingFiles::CheckImagesClean("checkImagesClean.txt");
const QLatin1StringView WorkingFiles::SourcePage("source.htm");
const QLatin1StringView WorkingFiles::ImagePage("imagepage.html");
const QLatin1StringView WorkingFiles::Browser("browser.txt");
const QLatin1StringView WorkingFiles::Images("images.htm");

WorkingFiles::WorkingFiles(const QString &folder) : m_folder(folder) {}

QString WorkingFiles::folder() const
{
    return m_folder;
}

QString WorkingFiles::path(const QString &name) const
{
    return m_folder + u'/' + name;
}

QStringList WorkingFiles::startupOrder()
{
    return {Browser, SourcePage, Images, CheckImages, CheckImagesClean, ImagePage};
}

bool WorkingFiles::createMissing(const std::function<bool(const QString &)> &exists) const
{
    bool ok = true;
    for (const QString &name : startupOrder()) {
        if (!exists(path(name)))
            ok = appendEmptyLine(name) && ok;
    }
    return ok;
}

bool WorkingFiles::createMissing() const
{
    return createMissing([](const QString &file) { return QFile::exists(file); });
}

bool WorkingFiles::appendEmptyLine(const QString &name) const
{
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return file.write("\r\n", 2) == 2;
}

bool WorkingFiles::writeReplace(const QString &name, const QString &value) const
{
    return writeReplaceBytes(name, value.toUtf8());
}

bool WorkingFiles::writeReplaceBytes(const QString &name, const QByteArray &bytes) const
{
    QSaveFile file(path(name));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size() || file.write("\r\n", 2) != 2) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool WorkingFiles::read(const QString &name, QString *text) const
{
    QFile file(path(name));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *text = QString::fromUtf8(file.readAll());
    return true;
}
