#include "platform/DesktopEntry.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>

namespace {

// Sets an environment variable for one scope and puts back what was there.
class ScopedVariable {
public:
    ScopedVariable(const char *name, const std::optional<QByteArray> &value) : m_name(name)
    {
        if (qEnvironmentVariableIsSet(name))
            m_saved = qgetenv(name);
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedVariable()
    {
        if (m_saved)
            qputenv(m_name, *m_saved);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    std::optional<QByteArray> m_saved;
};

// The entry's groups and keys as a desktop reads them, line by line; a key
// seen twice in one group is recorded as such.
struct ParsedEntry {
    QStringList groups;
    QMap<QString, QMap<QString, QString>> keys;
    QStringList repeated;
};

ParsedEntry parse(const QByteArray &bytes)
{
    ParsedEntry entry;
    QString group;
    for (const QString &line : QString::fromUtf8(bytes).split(QLatin1Char('\n'))) {
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            group = line.mid(1, line.size() - 2);
            entry.groups.append(group);
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString key = line.left(equals);
        if (entry.keys[group].contains(key))
            entry.repeated.append(key);
        entry.keys[group].insert(key, line.mid(equals + 1));
    }
    return entry;
}

class DesktopEntryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString dataHome() const { return m_dir.filePath(QStringLiteral("data")); }
    QString entryFile() const
    {
        return dataHome() + QStringLiteral("/applications/quarrow.desktop");
    }

    QTemporaryDir m_dir;
};

TEST_F(DesktopEntryTest, TheFolderFollowsXdgDataHome)
{
    {
        ScopedVariable data("XDG_DATA_HOME", QFile::encodeName(dataHome()));
        EXPECT_EQ(DesktopEntry::applicationsFolder(), dataHome() + QStringLiteral("/applications"));
        EXPECT_EQ(DesktopEntry::filePath(), entryFile());
    }
    const QString fallback = QDir::homePath() + QStringLiteral("/.local/share/applications");
    for (const std::optional<QByteArray> &value :
         {std::optional<QByteArray>(), std::optional<QByteArray>(""),
          std::optional<QByteArray>("relative/data")}) {
        ScopedVariable data("XDG_DATA_HOME", value);
        EXPECT_EQ(DesktopEntry::applicationsFolder(), fallback) << value.value_or("(unset)").data();
    }
}

TEST_F(DesktopEntryTest, InstallWritesAnEntryThatStartsThisProgram)
{
    ScopedVariable data("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    EXPECT_FALSE(DesktopEntry::installed());
    ASSERT_TRUE(DesktopEntry::install());
    EXPECT_TRUE(DesktopEntry::installed());
    ASSERT_TRUE(QFileInfo(entryFile()).isFile());

    const ParsedEntry entry = parse(testsupport::readFile(entryFile()));
    EXPECT_EQ(entry.groups, QStringList{QStringLiteral("Desktop Entry")});
    EXPECT_TRUE(entry.repeated.isEmpty()) << entry.repeated.join(u' ').toStdString();
    const QMap<QString, QString> keys = entry.keys.value(QStringLiteral("Desktop Entry"));
    const QString program = QCoreApplication::applicationFilePath();
    EXPECT_EQ(keys.value(QStringLiteral("Type")), QStringLiteral("Application"));
    EXPECT_EQ(keys.value(QStringLiteral("Name")), QStringLiteral("Quarrow"));
    EXPECT_EQ(keys.value(QStringLiteral("Exec")), program + QStringLiteral(" %u"));
    EXPECT_EQ(keys.value(QStringLiteral("TryExec")), program);
    EXPECT_TRUE(QFileInfo(program).isExecutable());
    EXPECT_EQ(keys.value(QStringLiteral("MimeType")),
              QStringLiteral("text/html;application/xhtml+xml;x-scheme-handler/http;"
                             "x-scheme-handler/https;"));
    EXPECT_EQ(keys.value(QStringLiteral("Icon")), QStringLiteral("quarrow"));
    EXPECT_EQ(keys.value(QStringLiteral("Terminal")), QStringLiteral("false"));
    EXPECT_TRUE(keys.value(QStringLiteral("Categories")).split(u';').contains(u"WebBrowser"));

    // A second install writes the same entry again.
    const QByteArray once = testsupport::readFile(entryFile());
    ASSERT_TRUE(DesktopEntry::install());
    EXPECT_EQ(testsupport::readFile(entryFile()), once);
}

TEST_F(DesktopEntryTest, RemoveDeletesTheEntryAndNothingThereIsNoFailure)
{
    ScopedVariable data("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    EXPECT_TRUE(DesktopEntry::remove());
    ASSERT_TRUE(DesktopEntry::install());
    ASSERT_TRUE(testsupport::writeFile(dataHome() + QStringLiteral("/applications/other.desktop"),
                                       "[Desktop Entry]\nType=Application\nName=Other\n"));
    EXPECT_TRUE(DesktopEntry::remove());
    EXPECT_FALSE(DesktopEntry::installed());
    EXPECT_FALSE(QFileInfo::exists(entryFile()));
    // Only our own entry goes.
    EXPECT_TRUE(QFileInfo::exists(dataHome() + QStringLiteral("/applications/other.desktop")));
    EXPECT_TRUE(DesktopEntry::remove());
}

TEST_F(DesktopEntryTest, AFolderThatCannotBeMadeReportsFailure)
{
    ASSERT_TRUE(testsupport::writeFile(m_dir.filePath(QStringLiteral("plain")), "x"));
    ScopedVariable data("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath("plain/data")));
    EXPECT_FALSE(DesktopEntry::install());
    EXPECT_FALSE(DesktopEntry::installed());
}

TEST_F(DesktopEntryTest, AnEntryThatCannotBeDeletedReportsFailure)
{
    ScopedVariable data("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    // A folder stands where the entry is: not even root deletes it as a file.
    ASSERT_TRUE(QDir().mkpath(entryFile() + QStringLiteral("/inside")));
    EXPECT_FALSE(DesktopEntry::remove());
    EXPECT_FALSE(DesktopEntry::install());
    EXPECT_TRUE(QFileInfo(entryFile()).isDir());
}

TEST(DesktopEntryExec, QuotesAndEscapesAProgramPathAsTheFormatAsks)
{
    EXPECT_EQ(DesktopEntry::execValue(QStringLiteral("/usr/lib/quarrow/quarrow")),
              QStringLiteral("/usr/lib/quarrow/quarrow %u"));
    // Reserved characters quote the path; ", `, $ and \ are escaped inside the
    // quotes, and the value's own escaping doubles every backslash after that.
    EXPECT_EQ(DesktopEntry::execValue(QStringLiteral("/opt/My Apps/quarrow")),
              QStringLiteral("\"/opt/My Apps/quarrow\" %u"));
    EXPECT_EQ(DesktopEntry::execValue(QStringLiteral("/opt/a$b\"c`d\\e/quarrow")),
              QStringLiteral("\"/opt/a\\\\$b\\\\\"c\\\\`d\\\\\\\\e/quarrow\" %u"));
    // A percent sign is no field code.
    EXPECT_EQ(DesktopEntry::execValue(QStringLiteral("/opt/100%/quarrow")),
              QStringLiteral("/opt/100%%/quarrow %u"));
}

TEST_F(DesktopEntryTest, WithoutUpdateDesktopDatabaseTheEntryIsStillInstalled)
{
    ScopedVariable data("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    const QString emptyBin = m_dir.filePath(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(emptyBin));
    ScopedVariable path("PATH", QFile::encodeName(emptyBin));
    ASSERT_TRUE(
        QStandardPaths::findExecutable(QStringLiteral("update-desktop-database")).isEmpty());
    EXPECT_TRUE(DesktopEntry::install());
    EXPECT_TRUE(DesktopEntry::installed());
    EXPECT_FALSE(QFileInfo::exists(dataHome() + QStringLiteral("/applications/mimeinfo.cache")));
    EXPECT_TRUE(DesktopEntry::remove());
}

TEST_F(DesktopEntryTest, UpdateDesktopDatabaseListsTheEntryForWebPages)
{
    if (QStandardPaths::findExecutable(QStringLiteral("update-desktop-database")).isEmpty())
        GTEST_SKIP() << "update-desktop-database is not installed (desktop-file-utils)";
    ScopedVariable data("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    const QString cache = dataHome() + QStringLiteral("/applications/mimeinfo.cache");
    ASSERT_TRUE(DesktopEntry::install());
    const QByteArray listed = testsupport::readFile(cache);
    EXPECT_TRUE(listed.contains("x-scheme-handler/https=quarrow.desktop;")) << listed.data();
    EXPECT_TRUE(listed.contains("text/html=quarrow.desktop;")) << listed.data();
    ASSERT_TRUE(DesktopEntry::remove());
    EXPECT_FALSE(testsupport::readFile(cache).contains("quarrow.desktop"));
}

} // namespace
