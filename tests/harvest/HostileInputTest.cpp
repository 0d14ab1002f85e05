// Pages and working folders made by an attacker: they must not change how the
// generated pages are read, make the harvest grow faster than the page, or make it
// write anywhere but its own files.
#include "tests/harvest/HarvestTestSupport.h"

#include "harvest/NameLinker.h"
#include "harvest/UrlHelpers.h"

#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

const QByteArray kMark = harvest::kByteOrderMark;

QString repeated(const QString &piece, int times)
{
    QString out;
    out.reserve(piece.size() * times);
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

TEST(GeneratedPages, StartWithAByteOrderMarkAndShowControlCharacters)
{
    // Shifts into and out of ISO-2022-JP: without a fixed encoding the engine may
    // guess it and swallow the page's own "'>".
    QString page = QStringLiteral("<img src=\"a.gif\" alt=\"");
    page += QChar(0x1B);
    page += QStringLiteral("$B'>");
    page += QChar(0x1B);
    page += QStringLiteral("(B\" onclick=alert(1)>");
    HarvestFolders folders;
    ResultLists lists;
    RunHarvest(page, QStringLiteral("http://h/p.html"), folders.files, lists);
    for (const QLatin1StringView name : {WorkingFiles::SourcePage, WorkingFiles::ImagePage}) {
        const QByteArray bytes = folders.fileBytes(name);
        EXPECT_TRUE(bytes.startsWith(kMark)) << name.data();
        EXPECT_FALSE(bytes.contains('\x1B')) << name.data();
    }
    EXPECT_TRUE(folders.fileBytes(WorkingFiles::SourcePage).contains("\xE2\x90\x9B$B'>"));
}

TEST(GeneratedPages, EveryControlCharacterButTabAndLineBreaksIsASymbol)
{
    for (char16_t c = 0; c < 0x20; ++c) {
        ResultLists lists;
        QString text = QStringLiteral("a");
        text += QChar(c);
        text += QStringLiteral("b");
        const QByteArray page = harvest::BuildSourcePage(text, lists).mid(kMark.size());
        QByteArray expected;
        if (c == u'\t')
            expected = "a\tb";
        else if (c == u'\r' || c == u'\n')
            expected = "a<BR>b";
        else
            expected = "a" + QString(QChar(0x2400 + c)).toUtf8() + "b";
        EXPECT_EQ(page, expected) << int(c);
    }
    // The Images page shows the address as text the same way; its attributes carry it
    // percent-encoded, as the engine reads it.
    ResultLists lists;
    lists.Links[1] << QStringLiteral("http://h/a\x01.gif");
    lists.Keys[1] << QStringLiteral("a\x01.gif");
    EXPECT_EQ(harvest::BuildImagePage(lists).toStdString(),
              QStringLiteral("\uFEFF<a href='http://h/a%01.gif'><img src='http://h/a%01.gif'>"
                             "</a><BR>http://h/a\u2401.gif<BR><BR><BR>")
                  .toStdString());
}

// One picture with a one-letter name and a long address, its name used everywhere:
// linking every use would make the page grow with the square of its size.
TEST(HarvestLimits, ManyUsesOfOneNameKeepTheOutputLinear)
{
    const QString address = QStringLiteral("http://h/") + repeated(QStringLiteral("d/"), 1000);
    const QString page = QStringLiteral("<img src=\"") + address + QStringLiteral("x\">") +
                         repeated(QStringLiteral("x "), 100000);
    HarvestFolders folders;
    ResultLists lists;
    const HarvestReport report =
        RunHarvest(page, QStringLiteral("http://h/p.html"), folders.files, lists);
    const harvest::Limits limits = harvest::Limits::forPage(page);
    const qsizetype output = folders.fileBytes(WorkingFiles::SourcePage).size() +
                             folders.fileBytes(WorkingFiles::ImagePage).size();
    EXPECT_LE(output, 8 * limits.pageBytes + (1 << 20));
    ASSERT_EQ(report.notices.size(), 1);
    EXPECT_TRUE(report.notices.first().startsWith(QStringLiteral("[Quarrow linked ")));
    // The Source Code view says so on its first line, and the text is all there.
    const QByteArray source = folders.fileBytes(WorkingFiles::SourcePage).mid(kMark.size());
    EXPECT_TRUE(source.startsWith(report.notices.first().toUtf8() + "<BR>"));
    EXPECT_TRUE(source.endsWith(repeated(QStringLiteral("x "), 100).toUtf8() + "\r\n"));
    EXPECT_GT(source.count("<a href="), 100);
}

TEST(HarvestLimits, TheListsStopGrowingAtTheirLimit)
{
    // Every relative picture carries the whole (huge) page address.
    const QString url = QStringLiteral("http://h/") + repeated(QStringLiteral("f/"), 20000);
    QString page;
    for (int i = 0; i < 2000; ++i)
        page += QStringLiteral("<img src=\"p%1.gif\">").arg(i);
    HarvestFolders folders;
    ResultLists lists;
    const HarvestReport report = RunHarvest(page, url, folders.files, lists);
    const harvest::Limits limits = harvest::Limits::forPage(page);
    qsizetype chars = 0;
    for (int k = 0; k < 2; ++k) {
        for (qsizetype i = 0; i < lists.Links[k].size(); ++i)
            chars += lists.Links[k].at(i).size() + lists.Keys[k].at(i).size();
    }
    EXPECT_LE(chars, limits.listChars);
    EXPECT_GT(lists.Links[1].size(), 0);
    EXPECT_LT(lists.Links[1].size(), 2000);
    // The first pictures are the ones kept, in order.
    EXPECT_EQ(lists.Keys[1].first(), QStringLiteral("p0.gif"));
    EXPECT_FALSE(report.notices.isEmpty());
}

TEST(HarvestLimits, ClimbingManyFoldersWorksOnPositions)
{
    // Thousands of "../" against a deep address end at the site root; the result is
    // the one the literal harvest gives.
    const QString url = QStringLiteral("http://h/") + repeated(QStringLiteral("d/"), 5000) +
                        QStringLiteral("p.html");
    const QString page = QStringLiteral("<img src=\"") + repeated(QStringLiteral("../"), 30000) +
                         QStringLiteral("up.gif\"><img src=\"../../x.gif\">");
    HarvestFolders folders;
    ResultLists lists;
    RunHarvest(page, url, folders.files, lists);
    ASSERT_EQ(lists.Links[1].size(), 2);
    EXPECT_EQ(lists.Links[1].at(0), QStringLiteral("http://h/up.gif"));
    EXPECT_EQ(lists.Links[1].at(1), QStringLiteral("http://h/") +
                                        repeated(QStringLiteral("d/"), 4998) +
                                        QStringLiteral("x.gif"));
}

TEST(HarvestLimits, ClimbingAgreesWithTheLiteralHarvest)
{
    // Folders that change on their way up ("http://" inside), other schemes, no
    // scheme, doubled slashes.
    const char *const urls[] = {
        "http://h/a/b/c/p.html",
        "http://h/a/b.html?u=http://x/y/z/",
        "http://h/a?u=hthttp://tp://x/y/z/w/",
        "https://h/a/b/c/",
        "file:///home/u/site/a/p.html",
        "h/a/b/c/p.html",
        "http://h/a//b///c/p.html",
        "HTTP://H/A/B/p.html",
    };
    for (const char *url : urls) {
        for (int ups = 0; ups <= 6; ++ups) {
            const QString page = QStringLiteral("<img src=\"") +
                                 repeated(QStringLiteral("../"), ups) + QStringLiteral("i.gif\">");
            SCOPED_TRACE(testing::Message() << url << " ups " << ups);
            HarvestFolders folders;
            expectSameHarvest(page, QString::fromLatin1(url), folders);
        }
    }
}

TEST(HarvestLimits, NamesLongerThanTheLimitAreNotLinked)
{
    const QString longest = repeated(QStringLiteral("n"), int(harvest::kLongestLinkedName) - 4);
    const QString tooLong = repeated(QStringLiteral("m"), int(harvest::kLongestLinkedName) - 3);
    ResultLists lists;
    lists.Links[1] << QStringLiteral("http://h/") + longest + QStringLiteral(".gif")
                   << QStringLiteral("http://h/") + tooLong + QStringLiteral(".gif");
    lists.Keys[1] << longest + QStringLiteral(".gif") << tooLong + QStringLiteral(".gif");
    harvest::SourcePageCuts cuts;
    const QByteArray page = harvest::BuildSourcePage(
        QStringLiteral("%1.gif %2.gif").arg(longest, tooLong), lists, &cuts);
    EXPECT_EQ(page.count("<a href="), 1);
    EXPECT_EQ(cuts.namesLeftOut, 1);
    EXPECT_TRUE(page.mid(kMark.size()).startsWith("[Quarrow linked 1 of the 1 places"));
}

// Both scans in one reading of the page record and refuse what the image scan and
// then the link scan record and refuse, whatever the lists' budget.
void expectOneReadingLikeTwoScans(const QByteArray &page, qsizetype charsLeft)
{
    const QString url = QStringLiteral("http://h/d/p.html");
    harvest::Utf8Lists one;
    harvest::ScanBudget oneBudget;
    oneBudget.charsLeft = charsLeft;
    harvest::ScanPage(page, url, url, one, oneBudget);
    harvest::Utf8Lists two;
    harvest::ScanBudget twoBudget;
    twoBudget.charsLeft = charsLeft;
    harvest::ScanText(false, page, url, url, two, &twoBudget);
    harvest::ScanText(true, page, url, url, two, &twoBudget);
    SCOPED_TRACE(testing::Message() << "budget " << charsLeft);
    EXPECT_EQ(oneBudget.charsLeft, twoBudget.charsLeft);
    EXPECT_EQ(oneBudget.refused, twoBudget.refused);
    const ResultLists a = one.toResultLists();
    const ResultLists b = two.toResultLists();
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(a.Links[k], b.Links[k]) << k;
        EXPECT_EQ(a.Keys[k], b.Keys[k]) << k;
    }
}

TEST(HarvestLimits, BothScansInOneReadingChargeLikeTwo)
{
    QByteArray page;
    for (int i = 0; i < 12; ++i) {
        page += "<a href=\"big/l" + QByteArray::number(i % 9) + ".jpg\">x</a>";
        page += "<img src=\"i" + QByteArray::number(i % 7) + ".gif\">";
        page += "<a href=\"cgi-bin/i/c" + QByteArray::number(i) + ".gif\">y</a>";
    }
    for (qsizetype charsLeft : {-1, 0, 1, 17, 90, 150, 200, 260, 300, 333, 400, 450, 800, 2000})
        expectOneReadingLikeTwoScans(page, charsLeft);

    // Values too long to record, first among the links, then among the images.
    const QByteArray huge(int(harvest::kLongestRecordedValue) + 1, 'v');
    const QByteArray longLink = "<img src=\"a.gif\"><a href=\"" + huge + ".gif\">x</a>" + page;
    const QByteArray longImage = page + "<img src=\"" + huge + "\"><a href=\"z.jpg\">z</a>";
    for (qsizetype charsLeft : {-1, 100, 5000}) {
        expectOneReadingLikeTwoScans(longLink, charsLeft);
        expectOneReadingLikeTwoScans(longImage, charsLeft);
    }
}

TEST(HarvestLimits, AHugeNameCostsLittleMemory)
{
    // A name of most of a megabyte is recorded, but never goes into the linker's
    // tables; a longer value is not recorded at all.
    const QString name = repeated(QStringLiteral("z"), 1000000) + QStringLiteral(".gif");
    HarvestFolders folders;
    ResultLists lists;
    RunHarvest(QStringLiteral("<img src=\"") + name + QStringLiteral("\">"),
               QStringLiteral("http://h/p.html"), folders.files, lists);
    ASSERT_EQ(lists.Keys[1].size(), 1);
    EXPECT_EQ(folders.fileBytes(WorkingFiles::SourcePage).count("<a href="), 0);

    const HarvestReport report =
        RunHarvest(QStringLiteral("<img src=\"") + name + name + QStringLiteral("\">"),
                   QStringLiteral("http://h/p.html"), folders.files, lists);
    EXPECT_TRUE(lists.Keys[1].isEmpty());
    ASSERT_FALSE(report.notices.isEmpty());
    EXPECT_TRUE(report.notices.first().startsWith(QStringLiteral("1 more pictures")));
}

TEST(NameLinker, WindowsGiveTheSameMatchesAsOneLongRead)
{
    // Matches across the reader's window boundaries are found whole.
    NameLinker linker;
    linker.addName("abcab", 0);
    linker.addName("b", 1);
    const QByteArray text = repeated(QStringLiteral("xabcabb"), 100000).toUtf8();
    const std::vector<NameLinker::Match> matches = linker.findAll(text);
    ASSERT_EQ(matches.size(), size_t(200000));
    for (size_t i = 0; i < matches.size(); i += 2) {
        EXPECT_EQ(matches[i].position, qsizetype(i / 2) * 7 + 1);
        EXPECT_EQ(matches[i].id, 0);
        EXPECT_EQ(matches[i + 1].position, qsizetype(i / 2) * 7 + 6);
        EXPECT_EQ(matches[i + 1].id, 1);
        if (HasFailure())
            break;
    }
}

// The matches the lookups find and those the automaton finds, on the same names.
void expectBothWaysAgree(const std::vector<QByteArray> &names, const QByteArray &text)
{
    NameLinker lookups;
    NameLinker automaton;
    automaton.useAutomatonOnly();
    for (size_t i = 0; i < names.size(); ++i) {
        lookups.addName(names[i], int(i));
        automaton.addName(names[i], int(i));
    }
    const std::vector<NameLinker::Match> found = lookups.findAll(text);
    const std::vector<NameLinker::Match> expected = automaton.findAll(text);
    ASSERT_EQ(found.size(), expected.size());
    for (size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].position, expected[i].position) << i;
        EXPECT_EQ(found[i].length, expected[i].length) << i;
        EXPECT_EQ(found[i].id, expected[i].id) << i;
        if (::testing::Test::HasFailure())
            return;
    }
}

TEST(NameLinker, LookupsAndAutomatonFindTheSameNames)
{
    // Names that overlap, contain one another, repeat, differ only in CR and LF, and
    // text that holds them across the reader's window boundaries.
    quint32 seed = 99;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    const char alphabet[] = "ab.\r\ngx";
    for (int round = 0; round < 12; ++round) {
        std::vector<QByteArray> names;
        const int count = 1 + int(next() % 40);
        for (int i = 0; i < count; ++i) {
            QByteArray name;
            const int length = 1 + int(next() % (round % 2 ? 5 : 20));
            for (int k = 0; k < length; ++k)
                name += alphabet[next() % (sizeof alphabet - 1)];
            names.push_back(name);
        }
        QByteArray text;
        while (text.size() < 300000) {
            if (next() % 3 == 0)
                text += names[next() % names.size()];
            else
                text += alphabet[next() % (sizeof alphabet - 1)];
        }
        SCOPED_TRACE(round);
        expectBothWaysAgree(names, text);
        if (HasFailure())
            return;
    }
}

TEST(NameLinker, TextThatDefeatsTheLookupsIsReadByTheAutomaton)
{
    // Names of every length up to 400 that all start and end alike: at every byte
    // of their part of the text each length passes the filters. The lookups read
    // the first windows and give up there; the automaton reads on, with the same
    // matches as it alone gives.
    std::vector<QByteArray> names;
    for (int length = 1; length <= 400; ++length)
        names.push_back(QByteArray(length - 1, 'a') + (length % 7 ? "a" : "b"));
    QByteArray text;
    while (text.size() < 600000)
        text += "xyz b ab aab ";
    for (int i = 0; i < 2000; ++i)
        text += QByteArray(1 + i % 450, 'a') + "b";
    expectBothWaysAgree(names, text);
}

class HostileFolder : public ::testing::Test {
protected:
    QTemporaryDir dir;
    WorkingFiles files{dir.path()};
    QString path(const QString &name) const { return dir.filePath(name); }
};

TEST_F(HostileFolder, AWorkingFileThatIsALinkIsNeverWrittenThrough)
{
    const QString victim = path(QStringLiteral("victim.txt"));
    ASSERT_TRUE(testsupport::writeFile(victim, "precious"));
    ASSERT_TRUE(files.createMissing());
    QFile::remove(files.path(WorkingFiles::SourcePage));
    ASSERT_TRUE(QFile::link(victim, files.path(WorkingFiles::SourcePage)));
    const QByteArray oldImages = testsupport::readFile(files.path(WorkingFiles::ImagePage));

    ResultLists lists;
    const HarvestReport report = RunHarvest(QStringLiteral("<img src=\"a.gif\">"),
                                            QStringLiteral("http://h/p.html"), files, lists);
    EXPECT_EQ(testsupport::readFile(victim), QByteArray("precious"));
    EXPECT_TRUE(QFileInfo(files.path(WorkingFiles::SourcePage)).isSymLink());
    EXPECT_FALSE(report.pagesWritten);
    EXPECT_TRUE(report.failure.startsWith(QStringLiteral("source.htm: is a symbolic link")))
        << report.failure.toStdString();
    // The pair is kept whole: the Images page is the old one too.
    EXPECT_EQ(testsupport::readFile(files.path(WorkingFiles::ImagePage)), oldImages);
    // No temporary file is left behind.
    EXPECT_TRUE(
        QDir(dir.path())
            .entryList({QStringLiteral(".*")}, QDir::Hidden | QDir::Files | QDir::NoDotAndDotDot)
            .isEmpty());
}

TEST_F(HostileFolder, StartUpDoesNotCreateThroughALink)
{
    const QString victim = path(QStringLiteral("elsewhere.txt"));
    ASSERT_TRUE(QFile::link(victim, files.path(WorkingFiles::CheckImages)));
    QString error;
    EXPECT_FALSE(files.appendEmptyLine(WorkingFiles::CheckImages, &error));
    EXPECT_FALSE(QFileInfo::exists(victim));
    EXPECT_TRUE(error.contains(QStringLiteral("symbolic link")));
}

TEST_F(HostileFolder, WorkingFilesAreOwnerOnly)
{
    ASSERT_TRUE(files.createMissing());
    ResultLists lists;
    RunHarvest(QStringLiteral("<img src=\"a.gif\">"), QStringLiteral("http://h/p.html"), files,
               lists);
    for (const QString &name : WorkingFiles::startupOrder()) {
        struct stat info;
        ASSERT_EQ(::stat(QFile::encodeName(files.path(name)).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << name.toStdString();
    }
}

TEST_F(HostileFolder, AFolderInTheWayKeepsBothPagesAsTheyWere)
{
    ASSERT_TRUE(files.createMissing());
    ASSERT_TRUE(files.writeReplace(WorkingFiles::SourcePage, QStringLiteral("old source")));
    QFile::remove(files.path(WorkingFiles::ImagePage));
    ASSERT_TRUE(QDir(dir.path()).mkdir(WorkingFiles::ImagePage));
    ResultLists lists;
    const HarvestReport report = RunHarvest(QStringLiteral("<img src=\"a.gif\">"),
                                            QStringLiteral("http://h/p.html"), files, lists);
    EXPECT_FALSE(report.pagesWritten);
    EXPECT_EQ(report.failure, QStringLiteral("imagepage.html: is a folder"));
    EXPECT_EQ(testsupport::readFile(files.path(WorkingFiles::SourcePage)),
              QByteArray("old source\r\n"));
    EXPECT_TRUE(QFileInfo(files.path(WorkingFiles::ImagePage)).isDir());
}

TEST_F(HostileFolder, AFailedWriteLeavesNoTemporaryFileBehind)
{
    ASSERT_TRUE(files.createMissing());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    const WorkingFiles gone(path(QStringLiteral("sub")));
    ASSERT_TRUE(QDir(path(QStringLiteral("sub"))).removeRecursively());
    QString error;
    EXPECT_FALSE(gone.writeReplace(WorkingFiles::Browser, QStringLiteral("x"), &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("browser.txt: ")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files | QDir::NoDotAndDotDot).size(),
              6);
}

} // namespace
