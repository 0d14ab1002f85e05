#include "windows/FileUtils.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// ---------------------------------------------------------------------------
// Names of saved pictures: a page chooses them.

TEST(SafeFileName, NamesCannotMislead)
{
    const struct {
        const char *raw;
        const char *type;
        const char *name;
    } cases[] = {
        // A right-to-left override shows "\u202Egpj.exe" as "exe.jpg": it goes, and a
        // JPEG ends in .jpg.
        {"\u202Egpj.exe", "image/jpeg", "gpj.jpg"},
        {"\u202Egpj.exe", "", "gpj_exe"},
        {"pho\u200Bto\u2066.png\u2069", "image/png", "photo.png"},
        {"\u061Cbidi\u200E\u200F\u202A\u202B\u202C\u202D.gif", "image/gif", "bidi.gif"},
        {"\uFEFFbom.png", "image/png", "bom.png"},
        // Extensions that run or render: replaced by the real type's, or disarmed.
        {"page.html", "image/png", "page.png"},
        {"page.HTM", "image/webp", "page.webp"},
        {"setup.exe", "image/gif", "setup.gif"},
        {"setup.exe", "", "setup_exe"},
        {"run.desktop", "", "run_desktop"},
        {"x.svg", "image/svg+xml", "x.svg"},
        {"photo.JPEG", "image/jpeg", "photo.JPEG"},
        {"photo.jpg", "image/png", "photo.png"},
        {"archive.tar", "", "archive.tar"},
        {"name with spaces", "image/png", "name with spaces.png"},
        // Reserved Windows devices, any case, with or without an extension.
        {"CON.png", "image/png", "CON_.png"},
        {"con", "image/png", "con_.png"},
        {"Nul.tar.gz", "", "Nul_.tar.gz"},
        {"aux", "", "aux_"},
        {"PRN .png", "image/png", "PRN_ .png"},
        {"com1.jpg", "image/jpeg", "com1_.jpg"},
        {"LPT9.gif", "image/gif", "LPT9_.gif"},
        {"COM\u00b9.gif", "image/gif", "COM\u00b9_.gif"},
        {"CONSOLE.png", "image/png", "CONSOLE.png"},
        {"com10.png", "image/png", "com10.png"},
        // Controls, separators and the characters Windows refuses.
        {"esc\x1b[31m.png", "image/png", "esc_[31m.png"},
        {"c1\u0085\u009b.png", "image/png", "c1__.png"},
        {"line\u2028para\u2029.png", "image/png", "line_para_.png"},
        {"a:b*c?d\"e<f>g|h/i\\j.png", "image/png", "a_b_c_d_e_f_g_h_i_j.png"},
        {" ..dots and spaces.. ", "image/png", "dots and spaces.png"},
        {"...", "image/png", "picture.png"},
        {"", "", "picture"},
        {"\u202E", "", "picture"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(SafeFileName(QString::fromUtf8(c.raw), QString::fromUtf8(c.type)),
                  QString::fromUtf8(c.name))
            << c.raw << " " << c.type;
    }
}

TEST(SafeFileName, LongNamesAreCutToTheBytesAFileSystemTakes)
{
    const struct {
        QString raw;
        QString type;
        QString extension;
    } cases[] = {
        {QString(500, QLatin1Char('x')) + ".jpeg", "image/jpeg", ".jpeg"},
        // Three bytes a character: 352 bytes once, more than any file system takes.
        {QString(300, QChar(0x5199)) + ".png", "image/png", ".png"},
        // Four bytes a character (a surrogate pair each): never split.
        {QString::fromUtf8(QByteArray(400, 'a'))
             .replace(QLatin1Char('a'), QString::fromUcs4(U"\U0001F600", 1)),
         "image/gif", ".gif"},
        {QString(254, QLatin1Char('y')) + QString(10, QChar(0xe9)), "", ""},
    };
    for (const auto &c : cases) {
        const QString name = SafeFileName(c.raw, c.type);
        const QByteArray utf8 = name.toUtf8();
        EXPECT_LE(utf8.size(), MaxFileNameBytes) << utf8.constData();
        EXPECT_GE(utf8.size(), MaxFileNameBytes - 3) << utf8.constData();
        EXPECT_TRUE(name.endsWith(c.extension)) << utf8.constData();
        // Whole characters only: the UTF-8 reads back as the same text.
        EXPECT_EQ(QString::fromUtf8(utf8), name);
        EXPECT_FALSE(name.contains(QChar(QChar::ReplacementCharacter)));
        for (const QChar ch : name)
            EXPECT_FALSE(ch.isSurrogate() && !(ch.isHighSurrogate() || ch.isLowSurrogate()));
        // Numbered names keep within the bytes too.
        const QString numbered = NumberedFileName(name, 12345);
        EXPECT_LE(numbered.toUtf8().size(), MaxFileNameBytes);
        EXPECT_TRUE(numbered.endsWith(QStringLiteral(" (12345)") + c.extension));
        EXPECT_EQ(QString::fromUtf8(numbered.toUtf8()), numbered);
    }
}

TEST(SafeFileName, TheBytesTellThePictureType)
{
    const struct {
        QByteArray head;
        const char *type;
    } cases[] = {
        {QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16), "image/png"},
        {QByteArray("\xff\xd8\xff\xe0\0\x10JFIF", 10), "image/jpeg"},
        {QByteArray("GIF89a\x01\0\x01\0", 10), "image/gif"},
        {QByteArray("RIFF\x10\0\0\0WEBPVP8L", 16), "image/webp"},
        {QByteArray("\0\0\0\x1c"
                    "ftypavif",
                    12),
         "image/avif"},
        {QByteArray("II*\0\x08\0\0\0", 8), "image/tiff"},
        {QByteArray("MM\0*\0\0\0\x08", 8), "image/tiff"},
        {QByteArray("BM\x36\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0", 18), "image/bmp"},
        {QByteArray("\0\0\1\0\1\0\x10\x10", 8), "image/vnd.microsoft.icon"},
        {"<?xml version=\"1.0\"?>\n<!-- c -->\n<!DOCTYPE svg>\n<svg xmlns=\"\">", "image/svg+xml"},
        {"\xef\xbb\xbf<svg>", "image/svg+xml"},
        {"<!DOCTYPE svg [<!ENTITY a \"b\"><!ENTITY c \"d\">]><svg>", "image/svg+xml"},
        {"<svgx>", ""},
        {"<!DOCTYPE html><html><svg>", ""},
        {"MZ\x90\0", ""},
        {"<html><img src=x.png>", ""},
        {"BM not a bitmap at all", ""},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SniffPictureType(c.head), QString::fromUtf8(c.type))
            << c.head.toHex().constData();
    EXPECT_EQ(WithPictureExtension(QStringLiteral("evil (2).html"), QStringLiteral("image/png")),
              QStringLiteral("evil (2).png"));
    EXPECT_EQ(WithPictureExtension(QStringLiteral("a.jpe"), QStringLiteral("image/jpeg")),
              QStringLiteral("a.jpe"));
    EXPECT_EQ(WithPictureExtension(QStringLiteral("a.bin"), QString()), QStringLiteral("a.bin"));
}

// ---------------------------------------------------------------------------
// Reading what a local page names, and writing into the chosen folder.

class SafeFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(outside.isValid());
    }
    QString path(const char *name) const { return dir.filePath(QString::fromUtf8(name)); }
    QTemporaryDir dir;
    QTemporaryDir outside;
};

TEST_F(SafeFilesTest, OnlyRegularFilesAreReadAndOnlyUpToTheLimit)
{
    ASSERT_TRUE(testsupport::writeFile(path("pic.png"), "12345678"));
    ASSERT_TRUE(testsupport::writeFile(path("empty.png"), ""));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo.png")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path("zero.png")));
    ASSERT_TRUE(QFile::link(path("pic.png"), path("link.png")));
    QFile sparse(path("sparse.png"));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
    ASSERT_TRUE(sparse.resize(qint64(1) << 40)); // a terabyte that takes no room
    sparse.close();

    const struct {
        QString path;
        qint64 limit;
        QByteArray bytes;
        const char *why; // empty when read
    } cases[] = {
        {path("pic.png"), 8, "12345678", ""},
        {path("link.png"), 8, "12345678", ""},
        {path("empty.png"), 8, "", ""},
        {path("pic.png"), 7, {}, "larger than"},
        {path("sparse.png"), 64 << 20, {}, "larger than"},
        {path("fifo.png"), 64 << 20, {}, "not a regular file"},
        {QStringLiteral("/dev/zero"), 64 << 20, {}, "not a regular file"},
        {path("zero.png"), 64 << 20, {}, "not a regular file"},
        {QStringLiteral("/dev/urandom"), 64 << 20, {}, "not a regular file"},
        {QStringLiteral("/proc/self/environ"), 64 << 20, {}, "not a regular file"},
        {QStringLiteral("/proc/self/cmdline"), 64 << 20, {}, "not a regular file"},
        {QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"),
         64 << 20,
         {},
         "not a regular file"},
        {dir.path(), 64 << 20, {}, "not a regular file"},
        {path("missing.png"), 64 << 20, {}, "No such file"},
    };
    for (const auto &c : cases) {
        if (!QFileInfo::exists(c.path) && !c.path.endsWith(QLatin1String("missing.png")))
            continue; // a system without that file
        QString error;
        const QByteArray bytes = ReadRegularFile(c.path, c.limit, &error);
        EXPECT_EQ(bytes, c.bytes) << c.path.toStdString();
        if (*c.why) {
            EXPECT_TRUE(bytes.isNull()) << c.path.toStdString();
            EXPECT_TRUE(error.contains(QString::fromUtf8(c.why)))
                << c.path.toStdString() << ": " << error.toStdString();
        } else {
            EXPECT_FALSE(bytes.isNull()) << c.path.toStdString();
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        }
    }
}

TEST_F(SafeFilesTest, WritesNeverFollowALinkNorReplaceAFolder)
{
    const QString target = outside.filePath(QStringLiteral("target.png"));
    const QString nowhere = outside.filePath(QStringLiteral("made.png"));
    ASSERT_TRUE(testsupport::writeFile(target, "outside"));
    ASSERT_TRUE(QFile::link(target, path("link.png")));
    ASSERT_TRUE(QFile::link(nowhere, path("dangling.png")));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.png")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo.png")).constData(), 0600), 0);
    ASSERT_TRUE(testsupport::writeFile(path("mine.png"), "mine"));

    const struct {
        const char *name;
        bool replace;
        PlaceResult result;
        const char *finalName;
        const char *why;
    } cases[] = {
        {"link.png", true, PlaceResult::Refused, "", "link.png is a link"},
        {"link.png", false, PlaceResult::Refused, "", "link.png is a link"},
        {"dangling.png", true, PlaceResult::Refused, "", "dangling.png is a link"},
        {"dangling.png", false, PlaceResult::Refused, "", "is a link"},
        {"folder.png", true, PlaceResult::Refused, "", "folder.png is a folder"},
        {"fifo.png", true, PlaceResult::Refused, "", "is not a regular file"},
        {"new.png", false, PlaceResult::Placed, "new.png", ""},
        {"mine.png", false, PlaceResult::Placed, "mine (2).png", ""},
        {"mine.png", false, PlaceResult::Placed, "mine (3).png", ""},
        {"mine.png", true, PlaceResult::Placed, "mine.png", ""},
    };
    for (const auto &c : cases) {
        QString finalName;
        QString error;
        EXPECT_EQ(WriteFileSafely(dir.path(), QString::fromUtf8(c.name), "picture", c.replace,
                                  &finalName, &error),
                  c.result)
            << c.name;
        EXPECT_EQ(finalName, QString::fromUtf8(c.finalName)) << c.name;
        if (*c.why) {
            EXPECT_TRUE(error.contains(QString::fromUtf8(c.why))) << error.toStdString();
        }
        if (*c.finalName) {
            EXPECT_EQ(testsupport::readFile(dir.filePath(finalName)), QByteArray("picture"));
        }
    }
    // Nothing outside the folder changed or came to be.
    EXPECT_EQ(testsupport::readFile(target), QByteArray("outside"));
    EXPECT_FALSE(QFileInfo::exists(nowhere));
    EXPECT_EQ(
        QDir(outside.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        QStringList({QStringLiteral("target.png")}));
    // The links are still links, the folder a folder; no part file is left.
    EXPECT_TRUE(QFileInfo(path("link.png")).isSymLink());
    EXPECT_TRUE(QFileInfo(path("dangling.png")).isSymLink());
    EXPECT_TRUE(QFileInfo(path("folder.png")).isDir());
    for (const QString &entry :
         QDir(dir.path())
             .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System))
        EXPECT_FALSE(entry.endsWith(QLatin1String(".part"))) << entry.toStdString();
    EXPECT_TRUE(EntryExists(path("dangling.png")));
    EXPECT_FALSE(EntryExists(path("none.png")));
}

TEST_F(SafeFilesTest, APartFileIsPlacedOnlyWhenItIsARegularFile)
{
    // A part file that became a link is not moved into place, nor followed.
    const QString target = outside.filePath(QStringLiteral("target.png"));
    ASSERT_TRUE(testsupport::writeFile(target, "outside"));
    const QString part = NewPartFileName();
    EXPECT_TRUE(part.startsWith(QLatin1String(".quarrow-")));
    EXPECT_NE(part, NewPartFileName());
    ASSERT_TRUE(QFile::link(target, dir.filePath(part)));
    QString finalName;
    QString error;
    EXPECT_EQ(PlaceFile(dir.path(), part, QStringLiteral("a.png"), true, &finalName, &error),
              PlaceResult::Failed);
    EXPECT_FALSE(EntryExists(path("a.png")));
    EXPECT_EQ(testsupport::readFile(target), QByteArray("outside"));
    // Nor is its head read through the link.
    qint64 size = -1;
    EXPECT_TRUE(FileHead(dir.path(), part, 16, &size, &error).isNull());
}

} // namespace
