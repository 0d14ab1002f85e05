#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

namespace testsupport {
namespace {

QTemporaryDir &home()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/quarrow-test-XXXXXX"));
    return dir;
}

void setIfUnset(const char *name, const QByteArray &value)
{
    if (qEnvironmentVariableIsEmpty(name))
        qputenv(name, value);
}

} // namespace

void prepareEnvironment()
{
    setIfUnset("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0)
        setIfUnset("QTWEBENGINE_DISABLE_SANDBOX", "1");
    setIfUnset("QTWEBENGINE_CHROMIUM_FLAGS",
               "--disable-gpu --disable-background-networking --disable-component-update");
    const QByteArray root = QFile::encodeName(home().path());
    for (const char *sub : {"config", "data", "cache", "runtime"})
        QDir(home().path()).mkpath(QString::fromLatin1(sub));
    qputenv("HOME", root);
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_DATA_HOME", root + "/data");
    qputenv("XDG_CACHE_HOME", root + "/cache");
    qputenv("XDG_RUNTIME_DIR", root + "/runtime");
    QFile::setPermissions(home().path() + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString homeFolder()
{
    return home().path();
}

QString dataFolder()
{
    return QStringLiteral(QUARROW_TEST_DATA_DIR);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

} // namespace testsupport
