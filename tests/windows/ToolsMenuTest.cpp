#include "windows/ToolsMenu.h"
#include "platform/DesktopEntry.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "platform/VersionInfo.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Registry::Root;
using Values = QList<QPair<QString, QString>>;

const QString Key = QStringLiteral(
    "Software\\Microsoft\\Internet Explorer\\Extensions\\{ECC5777A-6E88-BFCE-13CE-81F134789E7B}");

class ToolsMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_saved = VersionInfo::current();
        VersionInfo info = m_saved;
        info.ProductName = QStringLiteral("Quarrow");
        VersionInfo::setCurrent(info);
        Registry::setHiveFolder(hives());
        ProgramFolder::setPathForTesting(m_dir.filePath(QStringLiteral("program")));
    }
    void TearDown() override
    {
        QFile::setPermissions(hives(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        Registry::setHiveFolder(QString());
        ProgramFolder::setPathForTesting(QString());
        VersionInfo::setCurrent(m_saved);
    }
    QString hives() const { return m_dir.filePath(QStringLiteral("registry")); }
    QString hiveFile() const { return hives() + QStringLiteral("/HKEY_LOCAL_MACHINE.hive"); }
    QString folder() const { return m_dir.filePath(QStringLiteral("program")); }

    QTemporaryDir m_dir;
    VersionInfo m_saved;
};

TEST(TrimKeyPath, RemovesOneLeadingAndOneTrailingBackslash)
{
    const struct {
        const char *in;
        const char *out;
    } cases[] = {
        {"Software\\Key", "Software\\Key"},
        {"\\Software\\Key", "Software\\Key"},
        {"Software\\Key\\", "Software\\Key"},
        {"\\Software\\Key\\", "Software\\Key"},
        {"\\\\Software\\\\", "\\Software\\"},
        {"\\", ""},
        {"\\\\", ""},
        {"", ""},
        {"a\\\\b", "a\\\\b"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TrimKeyPath(QString::fromLatin1(c.in)), QString::fromLatin1(c.out)) << c.in;
}

TEST_F(ToolsMenuTest, TheEightValuesInTheirOrder)
{
    const QString executable = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const Values expected = {
        {QStringLiteral("ButtonText"), QStringLiteral("Quarrow")},
        {QStringLiteral("CLSID"), QStringLiteral("{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}")},
        {QStringLiteral("Default Visible"), QStringLiteral("Yes")},
        {QStringLiteral("Exec"), folder() + QLatin1Char('/') + executable},
        {QStringLiteral("HotIcon"), folder() + QStringLiteral("/hoticon.ico")},
        {QStringLiteral("Icon"), folder() + QStringLiteral("/icon.ico")},
        {QStringLiteral("MenuStatusBar"), QStringLiteral("Quarrow")},
        {QStringLiteral("MenuText"), QStringLiteral("&Quarrow")},
    };
    EXPECT_EQ(ExtensionValues(), expected);
    EXPECT_EQ(ExtensionKeyPath, Key);
}

TEST_F(ToolsMenuTest, ExecNamesTheRealExecutable)
{
    ProgramFolder::setPathForTesting(QString());
    const Values values = ExtensionValues();
    ASSERT_EQ(values.size(), 8);
    EXPECT_EQ(values[3].second, QCoreApplication::applicationFilePath());
    EXPECT_TRUE(QFileInfo(values[3].second).isExecutable());
}

TEST_F(ToolsMenuTest, AddThenRemoveReadsBackExactlyTheEightValues)
{
    ASSERT_TRUE(AddExtensionEntries());
    EXPECT_EQ(Registry::stringValues(Root::LocalMachine, Key), ExtensionValues());
    EXPECT_EQ(
        Registry::subKeys(Root::LocalMachine,
                          QStringLiteral("Software\\Microsoft\\Internet Explorer\\Extensions")),
        QStringList{QStringLiteral("{ECC5777A-6E88-BFCE-13CE-81F134789E7B}")});

    ASSERT_TRUE(RemoveExtensionEntries());
    EXPECT_FALSE(Registry::keyExists(Root::LocalMachine, Key));
    EXPECT_TRUE(Registry::stringValues(Root::LocalMachine, Key).isEmpty());
    // Only the extension key goes; the keys above it stay.
    EXPECT_TRUE(Registry::keyExists(
        Root::LocalMachine, QStringLiteral("Software\\Microsoft\\Internet Explorer\\Extensions")));
}

TEST_F(ToolsMenuTest, AddTwiceDuplicatesNothing)
{
    ASSERT_TRUE(AddExtensionEntries());
    const QByteArray once = testsupport::readFile(hiveFile());
    ASSERT_TRUE(AddExtensionEntries());
    EXPECT_EQ(testsupport::readFile(hiveFile()), once);
    EXPECT_EQ(Registry::stringValues(Root::LocalMachine, Key).size(), 8);
}

TEST_F(ToolsMenuTest, RemoveWithoutAdd)
{
    // Nothing there: nothing to do, and that is no failure.
    EXPECT_FALSE(DeleteRegistryKey(Root::LocalMachine, Key));
    EXPECT_TRUE(RemoveExtensionEntries());
    EXPECT_FALSE(Registry::keyExists(Root::LocalMachine, Key));

    // Entries an earlier run left behind are removed right after start.
    ASSERT_TRUE(AddExtensionEntries());
    EXPECT_TRUE(RemoveExtensionEntries());
    EXPECT_FALSE(Registry::keyExists(Root::LocalMachine, Key));
}

TEST_F(ToolsMenuTest, WriteRegistryStringTrimsTheKeyPath)
{
    EXPECT_TRUE(WriteRegistryString(Root::CurrentUser, QStringLiteral("\\Software\\Trim\\"),
                                    QStringLiteral("v"), QStringLiteral("1")));
    EXPECT_EQ(Registry::stringValues(Root::CurrentUser, QStringLiteral("Software\\Trim")),
              (Values{{QStringLiteral("v"), QStringLiteral("1")}}));
    // A key with subkeys is not deleted.
    EXPECT_FALSE(DeleteRegistryKey(Root::CurrentUser, QStringLiteral("Software")));
    EXPECT_TRUE(DeleteRegistryKey(Root::CurrentUser, QStringLiteral("Software\\Trim")));
    EXPECT_TRUE(DeleteRegistryKey(Root::CurrentUser, QStringLiteral("Software")));
}

TEST_F(ToolsMenuTest, AHiveThatCannotBeWrittenReportsFailure)
{
    ASSERT_TRUE(testsupport::writeFile(m_dir.filePath(QStringLiteral("plain")), "x"));
    Registry::setHiveFolder(m_dir.filePath(QStringLiteral("plain/registry")));
    EXPECT_FALSE(
        WriteRegistryString(Root::LocalMachine, Key, QStringLiteral("CLSID"), QStringLiteral("x")));
    EXPECT_FALSE(AddExtensionEntries());
    EXPECT_FALSE(DeleteRegistryKey(Root::LocalMachine, Key));
}

TEST_F(ToolsMenuTest, AReadOnlyHiveReportsFailureAndKeepsTheEntries)
{
    ASSERT_TRUE(AddExtensionEntries());
    const QByteArray before = testsupport::readFile(hiveFile());
    ASSERT_TRUE(QFile::setPermissions(hives(), QFile::ReadOwner | QFile::ExeOwner));
    {
        QFile probe(hives() + QStringLiteral("/probe"));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.close();
            probe.remove();
            GTEST_SKIP() << "this user may write into read-only folders";
        }
    }
    EXPECT_FALSE(AddExtensionEntries());
    EXPECT_FALSE(RemoveExtensionEntries());
    EXPECT_EQ(testsupport::readFile(hiveFile()), before);
}

TEST_F(ToolsMenuTest, AHiveThatCannotBeReadOrReplacedReportsFailureBothWays)
{
    // A folder where the hive file should be: it can be neither read nor
    // replaced, whoever runs the test.
    ASSERT_TRUE(QDir().mkpath(hiveFile()));
    EXPECT_FALSE(AddExtensionEntries());
    EXPECT_FALSE(RemoveExtensionEntries());
    EXPECT_FALSE(Registry::keyPresence(Root::LocalMachine, Key).has_value());
    EXPECT_TRUE(QFileInfo(hiveFile()).isDir());
}

TEST_F(ToolsMenuTest, FailureTextsNameTheProductAndTheCommand)
{
#ifdef Q_OS_WIN
    EXPECT_EQ(ToolsMenuFailureText(true),
              QStringLiteral("Could not add Quarrow to the IE Tools Menu: the registry entries "
                             "could not be written."));
    EXPECT_EQ(ToolsMenuFailureText(false),
              QStringLiteral("Could not remove Quarrow from the IE Tools Menu: the registry "
                             "entries could not be deleted."));
#else
    const QString entry = DesktopEntry::filePath();
    EXPECT_EQ(ToolsMenuFailureText(true),
              QStringLiteral("Could not add Quarrow to the applications menu: the desktop entry ") +
                  entry + QStringLiteral(" could not be written."));
    EXPECT_EQ(ToolsMenuFailureText(false),
              QStringLiteral("Could not remove Quarrow from the applications menu: the desktop "
                             "entry ") +
                  entry + QStringLiteral(" could not be deleted."));
#endif
}

#ifndef Q_OS_WIN
TEST_F(ToolsMenuTest, OffWindowsTheCommandsInstallAndRemoveTheDesktopEntry)
{
    const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
    const QString dataHome = m_dir.filePath(QStringLiteral("data"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome));
    const QString entry = dataHome + QStringLiteral("/applications/quarrow.desktop");

    ASSERT_TRUE(AddProgramToToolsMenu());
    EXPECT_TRUE(QFileInfo(entry).isFile());
    EXPECT_TRUE(testsupport::readFile(entry).contains(
        "\nExec=" + QFile::encodeName(QCoreApplication::applicationFilePath()) + " %u\n"));
    // No registry stand-in is written: nothing here would read it.
    EXPECT_FALSE(QFileInfo::exists(hiveFile()));

    ASSERT_TRUE(RemoveProgramFromToolsMenu());
    EXPECT_FALSE(QFileInfo::exists(entry));
    EXPECT_TRUE(RemoveProgramFromToolsMenu());
    qputenv("XDG_DATA_HOME", savedDataHome);
}
#endif

} // namespace
