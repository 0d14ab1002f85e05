#include "platform/Registry.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Registry::Root;
using Values = QList<QPair<QString, QString>>;

// Writes one value the way the tools-menu code does: create, set, close.
bool write(Root root, const QString &path, const QString &name, const QString &data)
{
    auto key = Registry::createKey(root, path);
    if (!key)
        return false;
    const bool written = Registry::setStringValue(*key, name, data);
    Registry::closeKey(*key);
    return written;
}

bool remove(Root root, const QString &path)
{
    auto opened = Registry::openKey(root, QString());
    if (!opened)
        return false;
    const bool deleted = Registry::deleteKey(*opened, path);
    Registry::closeKey(*opened);
    return deleted;
}

// True when this process can write into a folder whose permissions forbid it
// (the superuser can).
bool permissionsAreIgnored(const QString &folder)
{
    QFile probe(folder + QStringLiteral("/probe"));
    const bool wrote = probe.open(QIODevice::WriteOnly);
    probe.close();
    probe.remove();
    return wrote;
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        Registry::setHiveFolder(hives());
    }
    void TearDown() override
    {
        QFile::setPermissions(hives(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        Registry::setHiveFolder(QString());
    }
    QString hives() const { return m_dir.filePath(QStringLiteral("registry")); }
    QString hiveFile(Root root) const
    {
        return hives() + QLatin1Char('/') + Registry::rootName(root) + QStringLiteral(".hive");
    }

    QTemporaryDir m_dir;
};

TEST(RegistryRoots, HaveTheirSystemNames)
{
    EXPECT_EQ(Registry::rootName(Root::LocalMachine), QStringLiteral("HKEY_LOCAL_MACHINE"));
    EXPECT_EQ(Registry::rootName(Root::CurrentUser), QStringLiteral("HKEY_CURRENT_USER"));
    EXPECT_EQ(Registry::rootName(Root::ClassesRoot), QStringLiteral("HKEY_CLASSES_ROOT"));
    EXPECT_EQ(Registry::rootName(Root::Users), QStringLiteral("HKEY_USERS"));
    EXPECT_EQ(Registry::rootName(Root::CurrentConfig), QStringLiteral("HKEY_CURRENT_CONFIG"));
}

TEST(RegistryHiveFolder, DefaultsToThePerUserConfigurationFolder)
{
    Registry::setHiveFolder(QString());
    EXPECT_EQ(Registry::hiveFolder(),
              QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                  QStringLiteral("/Quarrow/registry"));
}

TEST_F(RegistryTest, CreateKeyMakesTheMissingParents)
{
    EXPECT_FALSE(Registry::keyExists(Root::LocalMachine, QStringLiteral("Software")));
    ASSERT_TRUE(write(Root::LocalMachine, QStringLiteral("Software\\Vendor\\Product"),
                      QStringLiteral("Name"), QStringLiteral("Value")));
    EXPECT_TRUE(Registry::keyExists(Root::LocalMachine, QStringLiteral("Software")));
    EXPECT_TRUE(Registry::keyExists(Root::LocalMachine, QStringLiteral("Software\\Vendor")));
    EXPECT_TRUE(
        Registry::keyExists(Root::LocalMachine, QStringLiteral("software\\VENDOR\\product")));
    EXPECT_EQ(Registry::subKeys(Root::LocalMachine, QStringLiteral("Software")),
              QStringList{QStringLiteral("Vendor")});
    EXPECT_EQ(Registry::subKeys(Root::LocalMachine, QString()),
              QStringList{QStringLiteral("Software")});
    // Each root is a hive of its own.
    EXPECT_TRUE(QFile::exists(hiveFile(Root::LocalMachine)));
    EXPECT_FALSE(QFile::exists(hiveFile(Root::CurrentUser)));
    EXPECT_FALSE(Registry::keyExists(Root::CurrentUser, QStringLiteral("Software")));
}

TEST_F(RegistryTest, ValuesReadBackInWriteOrderAndAreReplacedInPlace)
{
    const QString key = QStringLiteral("Software\\Test");
    ASSERT_TRUE(write(Root::CurrentUser, key, QStringLiteral("b"), QStringLiteral("1")));
    ASSERT_TRUE(write(Root::CurrentUser, key, QStringLiteral("a"), QStringLiteral("2")));
    ASSERT_TRUE(write(Root::CurrentUser, key, QStringLiteral("c"), QStringLiteral("3")));
    ASSERT_TRUE(write(Root::CurrentUser, key, QStringLiteral("A"), QStringLiteral("replaced")));
    EXPECT_EQ(Registry::stringValues(Root::CurrentUser, key),
              (Values{{QStringLiteral("b"), QStringLiteral("1")},
                      {QStringLiteral("a"), QStringLiteral("replaced")},
                      {QStringLiteral("c"), QStringLiteral("3")}}));
}

TEST_F(RegistryTest, AwkwardTextSurvivesTheFile)
{
    const QString key = QStringLiteral("Software\\Odd [key] \"name\"");
    const Values values = {
        {QString(), QStringLiteral("default value")},
        {QStringLiteral("quote\"back\\slash"), QStringLiteral("C:\\Program Files\\\"x\"\\")},
        {QStringLiteral("lines"), QStringLiteral("one\r\ntwo\tthree")},
        {QStringLiteral("=equals="), QStringLiteral("=")},
        {QStringLiteral("unicode"), QString::fromUtf8("caf\u00e9 \u2014 \u4e2d\u6587")},
        {QStringLiteral("empty"), QString()},
    };
    for (const auto &value : values)
        ASSERT_TRUE(write(Root::LocalMachine, key, value.first, value.second));
    EXPECT_EQ(Registry::stringValues(Root::LocalMachine, key), values);
}

TEST_F(RegistryTest, DeleteKeyTakesOnlyKeysWithoutSubkeys)
{
    ASSERT_TRUE(write(Root::LocalMachine, QStringLiteral("A\\B\\C"), QStringLiteral("v"),
                      QStringLiteral("1")));
    ASSERT_TRUE(write(Root::LocalMachine, QStringLiteral("A\\B"), QStringLiteral("w"),
                      QStringLiteral("2")));
    EXPECT_FALSE(remove(Root::LocalMachine, QStringLiteral("A\\B")));
    EXPECT_TRUE(Registry::keyExists(Root::LocalMachine, QStringLiteral("A\\B\\C")));

    EXPECT_TRUE(remove(Root::LocalMachine, QStringLiteral("a\\b\\c")));
    EXPECT_FALSE(Registry::keyExists(Root::LocalMachine, QStringLiteral("A\\B\\C")));
    EXPECT_TRUE(Registry::stringValues(Root::LocalMachine, QStringLiteral("A\\B\\C")).isEmpty());
    EXPECT_EQ(Registry::stringValues(Root::LocalMachine, QStringLiteral("A\\B")),
              (Values{{QStringLiteral("w"), QStringLiteral("2")}}));

    EXPECT_TRUE(remove(Root::LocalMachine, QStringLiteral("A\\B")));
    EXPECT_FALSE(remove(Root::LocalMachine, QStringLiteral("A\\B")));
    EXPECT_FALSE(remove(Root::LocalMachine, QStringLiteral("Never\\There")));
    EXPECT_FALSE(remove(Root::LocalMachine, QString()));
    EXPECT_TRUE(Registry::keyExists(Root::LocalMachine, QStringLiteral("A")));
}

TEST_F(RegistryTest, PathsWithEmptyPartsAreRefused)
{
    for (const QString &path : {QStringLiteral("\\Software"), QStringLiteral("Software\\"),
                                QStringLiteral("Soft\\\\ware")}) {
        EXPECT_FALSE(Registry::createKey(Root::LocalMachine, path).has_value())
            << path.toStdString();
    }
    EXPECT_FALSE(Registry::openKey(Root::LocalMachine, QStringLiteral("Missing")).has_value());
    EXPECT_TRUE(Registry::openKey(Root::LocalMachine, QString()).has_value());
}

TEST_F(RegistryTest, AKeyDeletedAfterOpeningTakesNoValue)
{
    auto key = Registry::createKey(Root::LocalMachine, QStringLiteral("Gone"));
    ASSERT_TRUE(key.has_value());
    ASSERT_TRUE(remove(Root::LocalMachine, QStringLiteral("Gone")));
    EXPECT_FALSE(Registry::setStringValue(*key, QStringLiteral("v"), QStringLiteral("1")));
    EXPECT_FALSE(Registry::keyExists(Root::LocalMachine, QStringLiteral("Gone")));
}

TEST_F(RegistryTest, AHiveFolderThatCannotBeWrittenFailsEveryWrite)
{
    // A folder below a plain file can never be made, whoever asks.
    ASSERT_TRUE(testsupport::writeFile(m_dir.filePath(QStringLiteral("plain")), "x"));
    Registry::setHiveFolder(m_dir.filePath(QStringLiteral("plain/registry")));
    EXPECT_FALSE(write(Root::LocalMachine, QStringLiteral("Software\\X"), QStringLiteral("v"),
                       QStringLiteral("1")));
    EXPECT_FALSE(Registry::createKey(Root::LocalMachine, QStringLiteral("Software")).has_value());
    EXPECT_FALSE(Registry::openKey(Root::LocalMachine, QString()).has_value());
    EXPECT_FALSE(remove(Root::LocalMachine, QStringLiteral("Software\\X")));
    EXPECT_FALSE(Registry::keyExists(Root::LocalMachine, QStringLiteral("Software")));
}

TEST_F(RegistryTest, AReadOnlyHiveFolderKeepsItsContent)
{
    ASSERT_TRUE(write(Root::LocalMachine, QStringLiteral("Software\\X"), QStringLiteral("v"),
                      QStringLiteral("1")));
    const QByteArray before = testsupport::readFile(hiveFile(Root::LocalMachine));
    ASSERT_TRUE(QFile::setPermissions(hives(), QFile::ReadOwner | QFile::ExeOwner));
    if (permissionsAreIgnored(hives()))
        GTEST_SKIP() << "this user may write into read-only folders";
    EXPECT_FALSE(write(Root::LocalMachine, QStringLiteral("Software\\X"), QStringLiteral("v"),
                       QStringLiteral("2")));
    EXPECT_FALSE(write(Root::LocalMachine, QStringLiteral("Software\\Y"), QStringLiteral("v"),
                       QStringLiteral("2")));
    EXPECT_FALSE(remove(Root::LocalMachine, QStringLiteral("Software\\X")));
    EXPECT_EQ(testsupport::readFile(hiveFile(Root::LocalMachine)), before);
    EXPECT_EQ(Registry::stringValues(Root::LocalMachine, QStringLiteral("Software\\X")),
              (Values{{QStringLiteral("v"), QStringLiteral("1")}}));
}

TEST_F(RegistryTest, AHiveFileThatIsNotAHiveIsNeverOverwritten)
{
    ASSERT_TRUE(QDir().mkpath(hives()));
    ASSERT_TRUE(testsupport::writeFile(hiveFile(Root::LocalMachine), "something else\n"));
    EXPECT_FALSE(write(Root::LocalMachine, QStringLiteral("Software"), QStringLiteral("v"),
                       QStringLiteral("1")));
    EXPECT_EQ(testsupport::readFile(hiveFile(Root::LocalMachine)), QByteArray("something else\n"));
}

} // namespace
