#include "windows/FileUtils.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

struct NameCase {
    const char *path;
    const char *name;
};

TEST(FileNameOf, TakesThePartAfterTheLastSeparator)
{
    const NameCase cases[] = {
        {"C:\\a\\b\\Help.rtf", "Help.rtf"},
        {"Help.rtf", "Help.rtf"},
        {"C:\\a\\", ""},
        {"", ""},
        {"/usr/lib/quarrow/Help.rtf", "Help.rtf"},
        {"/tmp/dir/", ""},
        {"a\\b/c", "c"},
        {"a/b\\c", "c"},
    };
    for (const NameCase &c : cases)
        EXPECT_EQ(FileNameOf(QString::fromUtf8(c.path)), QString::fromUtf8(c.name)) << c.path;
}

class FileExistsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(testsupport::writeFile(dir.filePath("Help.rtf"), "{\\rtf1}"));
        ASSERT_TRUE(testsupport::writeFile(dir.filePath(".hidden.txt"), "x"));
        ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
        ASSERT_TRUE(testsupport::writeFile(dir.filePath("Grüße ñ.txt"), "x"));
    }
    QTemporaryDir dir;
};

TEST_F(FileExistsTest, FindsAFileWhateverTheLetterCase)
{
    EXPECT_TRUE(FileExists(dir.filePath("Help.rtf")));
    EXPECT_TRUE(FileExists(dir.filePath("help.rtf")));
    EXPECT_TRUE(FileExists(dir.filePath("HELP.RTF")));
    EXPECT_TRUE(FileExists(dir.filePath("grüße Ñ.TXT")));
}

TEST_F(FileExistsTest, IsFalseForWhatIsNotAPlainVisibleFile)
{
    EXPECT_FALSE(FileExists(dir.filePath("folder")));
    EXPECT_FALSE(FileExists(dir.filePath("FOLDER")));
    EXPECT_FALSE(FileExists(dir.filePath("*.rtf")));
    EXPECT_FALSE(FileExists(dir.filePath("Help.*")));
    EXPECT_FALSE(FileExists(dir.filePath(".hidden.txt")));
    EXPECT_FALSE(FileExists(dir.filePath("missing.rtf")));
    EXPECT_FALSE(FileExists(dir.filePath("no-such-folder/Help.rtf")));
    EXPECT_FALSE(FileExists(dir.filePath("")));
    EXPECT_FALSE(FileExists(QString()));
}

TEST(SetTopMost, KeepsTheWindowOnTopWherever)
{
    QWidget window;
    window.setGeometry(100, 120, 300, 200);
    window.show();
    const QRect before = window.geometry();
    SetTopMost(&window);
    EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.geometry(), before);
    SetTopMost(nullptr); // nothing to do, nothing to fail
}

} // namespace
