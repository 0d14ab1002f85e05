#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace ProgramFolder {
namespace {
QString &overridden()
{
    static QString folder;
    return folder;
}

bool canWriteIn(const QString &folder)
{
    // The permission bits do not tell everything (read-only mounts), so try.
    QTemporaryFile probe(folder + QStringLiteral("/.quarrow-write-XXXXXX"));
    return probe.open();
}
} // namespace

QString path()
{
    if (!overridden().isEmpty())
        return overridden();
    return QCoreApplication::applicationDirPath();
}

void setPathForTesting(const QString &folder)
{
    overridden() = folder;
}

QString workingFolder()
{
    const QString program = path();
    if (canWriteIn(program))
        return program;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    // The pages the user visits are nobody else's business.
    QFile::setPermissions(data,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return data;
}

} // namespace ProgramFolder
