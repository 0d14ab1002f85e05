// The installed program as the desktop meets it: its desktop entry, and the
// icon that entry names, found in the icon theme.
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImageReader>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class Install : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(prefix.isValid());
        QProcess cmake;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DESTDIR"));
        cmake.setProcessEnvironment(environment);
        cmake.start(QStringLiteral(QUARROW_CMAKE),
                    {QStringLiteral("--install"), QStringLiteral(QUARROW_BUILD_DIR),
                     QStringLiteral("--prefix"), prefix.path()});
        ASSERT_TRUE(cmake.waitForFinished(120000));
        ASSERT_EQ(cmake.exitCode(), 0) << cmake.readAllStandardError().constData();
    }

    QString installed(const QString &path) const { return prefix.path() + QLatin1Char('/') + path; }

    // The value of a key of the entry's [Desktop Entry] group.
    QString entryValue(const QString &key) const
    {
        QFile file(installed(QStringLiteral("share/applications/quarrow.desktop")));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        const QString prefixText = key + QLatin1Char('=');
        for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
            if (line.startsWith(prefixText))
                return line.mid(prefixText.size());
        }
        return {};
    }

    QTemporaryDir prefix;
};

TEST_F(Install, TheDesktopEntrysIconIsInTheIconTheme)
{
    const QString icon = entryValue(QStringLiteral("Icon"));
    ASSERT_EQ(icon, QStringLiteral("quarrow"));
    // Every size the art tool draws, each a picture of its size.
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        const QString path =
            installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(icon));
        QImageReader reader(path);
        EXPECT_EQ(reader.format(), QByteArray("png"));
        EXPECT_EQ(reader.size(), QSize(size, size));
    }
    // The theme lookup finds it under the prefix, as the desktop does when the
    // prefix's share folder is one of its data folders.
    ASSERT_FALSE(QFile::exists(QStringLiteral("/usr/share/icons/hicolor/48x48/apps/") + icon +
                               QStringLiteral(".png")))
        << "an icon of the same name is installed on this machine";
    QIcon::setThemeSearchPaths(
        {installed(QStringLiteral("share/icons")), QStringLiteral("/usr/share/icons")});
    QIcon::setThemeName(QStringLiteral("hicolor"));
    EXPECT_TRUE(QIcon::hasThemeIcon(icon));
    EXPECT_FALSE(QIcon::fromTheme(icon).pixmap(48, 48).isNull());
}

TEST_F(Install, TheProgramAndItsEntryAreInPlace)
{
    EXPECT_TRUE(QFileInfo(installed(QStringLiteral("lib/quarrow/quarrow"))).isExecutable());
    EXPECT_EQ(QFileInfo(installed(QStringLiteral("bin/quarrow"))).canonicalFilePath(),
              QFileInfo(installed(QStringLiteral("lib/quarrow/quarrow"))).canonicalFilePath());
    for (const char *beside : {"start.html", "Help.rtf"})
        EXPECT_TRUE(QFile::exists(installed(QStringLiteral("lib/quarrow/") + beside))) << beside;
    EXPECT_EQ(entryValue(QStringLiteral("Exec")), QStringLiteral("quarrow %u"));
    const QString validate =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validate.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed";
    QProcess check;
    check.start(validate, {installed(QStringLiteral("share/applications/quarrow.desktop"))});
    ASSERT_TRUE(check.waitForFinished(30000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().constData();
}

} // namespace
