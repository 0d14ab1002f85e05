// The Source Code and Images views' pages against the files they show: the same
// text, the same links, the same pictures, and nothing of the page made markup.
#include "harvest/SourceView.h"
#include "harvest/Harvest.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

using harvest::ByteArraySink;
using harvest::Utf8Lists;

QString decoded(QString text)
{
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    text.replace(QLatin1String("&#39;"), QLatin1String("'"));
    return text.replace(QLatin1String("&amp;"), QLatin1String("&"));
}

struct Anchor {
    QString href; // as written
    QString text;
    bool operator==(const Anchor &other) const { return href == other.href && text == other.text; }
};

// What a view's page holds, read back as markup: every "<" of it is markup, as the
// page text's own are escaped.
struct ViewRead {
    QString problem; // a tag not closed, closed out of turn or not expected
    QStringList lines;
    QList<Anchor> anchors;
    QList<qsizetype> blockResets; // the counter-reset of each block's first line
    QList<qsizetype> linesBefore; // the lines before each block
};

ViewRead readView(const QByteArray &page)
{
    static const QStringList kElements = {QStringLiteral("html"),  QStringLiteral("head"),
                                          QStringLiteral("style"), QStringLiteral("body"),
                                          QStringLiteral("div"),   QStringLiteral("span"),
                                          QStringLiteral("a")};
    static const QRegularExpression tag(QStringLiteral("<(/?)([a-zA-Z!]+)([^>]*)>"));
    static const QRegularExpression reset(QStringLiteral("counter-reset:l (\\d+)"));
    ViewRead read;
    const QString text = QString::fromUtf8(page);
    // The open elements by name, but a block as "block" and its children as "line".
    QStringList open;
    QString line;
    qsizetype at = 0;
    // Nothing but spans since the last anchor ended, in the same line.
    bool anchorJustEnded = false;
    const auto roleOf = [](const QString &role) {
        return role == QStringLiteral("block") || role == QStringLiteral("line")
                   ? QStringLiteral("div")
                   : role;
    };
    for (auto it = tag.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString between = text.mid(at, m.capturedStart() - at);
        at = m.capturedEnd();
        if (!between.isEmpty())
            anchorJustEnded = false;
        if (open.contains(QStringLiteral("line")))
            line += decoded(between);
        if (open.contains(QStringLiteral("a")))
            read.anchors.last().text += decoded(between);
        const QString name = m.captured(2).toLower();
        if (name == QStringLiteral("!doctype") || name == QStringLiteral("meta"))
            continue;
        if (name == QStringLiteral("br")) {
            // Only an empty line holds one, and nothing else.
            if (open.isEmpty() || open.last() != QStringLiteral("line") || !line.isEmpty() ||
                !between.isEmpty() || !text.mid(at).startsWith(QStringLiteral("</div>"))) {
                read.problem = QStringLiteral("a break in a line that is not empty");
                return read;
            }
            continue;
        }
        if (!kElements.contains(name)) {
            read.problem = QStringLiteral("element ") + name;
            return read;
        }
        if (m.captured(1).isEmpty()) {
            QString role = name;
            if (name == QStringLiteral("a")) {
                // A link whose text changes colour is ended and begun again: the
                // pieces that follow each other in a line are one anchor.
                const QString href = m.captured(3).mid(7).chopped(1);
                if (!(anchorJustEnded && read.anchors.last().href == href))
                    read.anchors.append({href, {}});
            }
            static const QRegularExpression blockClass(QStringLiteral("class=(b |\"b )"));
            if (name == QStringLiteral("div") && m.captured(3).contains(blockClass)) {
                role = QStringLiteral("block");
                read.linesBefore.append(read.lines.size());
            } else if (name == QStringLiteral("div") && !open.isEmpty() &&
                       open.last() == QStringLiteral("block")) {
                role = QStringLiteral("line");
                // The count a block's lines start from is set in its first.
                if (read.blockResets.size() < read.linesBefore.size()) {
                    const QRegularExpressionMatch set = reset.match(m.captured(3));
                    read.blockResets.append(set.hasMatch() ? set.captured(1).toLongLong() : -1);
                }
            }
            open.append(role);
            continue;
        }
        if (open.isEmpty() || roleOf(open.last()) != name) {
            read.problem = QStringLiteral("</") + name + QStringLiteral("> out of turn");
            return read;
        }
        if (name == QStringLiteral("a"))
            anchorJustEnded = true;
        if (open.takeLast() == QStringLiteral("line")) {
            anchorJustEnded = false;
            read.lines.append(line);
            line.clear();
        }
    }
    if (!open.isEmpty())
        read.problem = QStringLiteral("left open: ") + open.join(u' ');
    return read;
}

QByteArray sourceView(QByteArrayView text, const Utf8Lists &lists,
                      const harvest::SourceViewOptions &options = {})
{
    QByteArray out;
    ByteArraySink sink(out);
    harvest::WriteSourceView(text, lists, sink, options);
    sink.flush();
    return out;
}

QByteArray sourcePage(QByteArrayView text, const Utf8Lists &lists)
{
    QByteArray out;
    ByteArraySink sink(out);
    harvest::WriteSourcePage(text, lists, sink);
    sink.flush();
    return out.mid(3); // without the byte-order mark
}

// source.htm's anchors, each piece of it between line breaks an anchor of its own as
// the view makes them.
QList<Anchor> sourceAnchors(const QByteArray &page)
{
    static const QRegularExpression anchor(QStringLiteral("<a href='([^']*)'>(.*?)</a>"));
    QList<Anchor> anchors;
    qsizetype lastEnd = -1;
    bool lastEndedLine = false;
    for (auto it = anchor.globalMatch(QString::fromUtf8(page)); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QStringList pieces = m.captured(2).split(QStringLiteral("<BR>"));
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            if (pieces[i].isEmpty())
                continue;
            // Anchors of one address that follow each other in a line read as one.
            if (i == 0 && m.capturedStart() == lastEnd && !lastEndedLine &&
                anchors.last().href == m.captured(1))
                anchors.last().text += decoded(pieces[i]);
            else
                anchors.append({m.captured(1), decoded(pieces[i])});
        }
        lastEnd = m.capturedEnd();
        lastEndedLine = pieces.last().isEmpty();
    }
    return anchors;
}

// source.htm's text, a line break for each <BR>.
QString sourceText(const QByteArray &page)
{
    QString text = QString::fromUtf8(page);
    text.replace(QLatin1String("<BR>"), QLatin1String("\n"));
    static const QRegularExpression anchorTag(QStringLiteral("</?a[^>]*>"));
    text.remove(anchorTag);
    return decoded(text);
}

Utf8Lists picturesNamed(const QList<QByteArray> &names)
{
    Utf8Lists lists;
    for (const QByteArray &name : names) {
        lists.Keys[1].append(name);
        lists.Links[1].append("http://example.com/p/" + name);
    }
    return lists;
}

QByteArray repeated(QByteArrayView line, int times)
{
    QByteArray out;
    for (int i = 0; i < times; ++i)
        out += line.toByteArray() + QByteArray::number(i) + "\n";
    return out;
}

// The view's text is source.htm's, a line for each line break (CR LF is one), its
// anchors are source.htm's, its tags balance, and each block counts on from the last.
void expectShowsTheSourcePage(const QByteArray &text, const Utf8Lists &lists)
{
    const ViewRead view = readView(sourceView(text, lists));
    ASSERT_EQ(view.problem, QString());
    QByteArray oneBreak = text;
    oneBreak.replace("\r\n", "\n");
    const QString expected = sourceText(sourcePage(oneBreak, lists));
    EXPECT_EQ(view.lines.join(u'\n'), expected);
    EXPECT_EQ(view.lines.size(), expected.count(u'\n') + 1);
    EXPECT_EQ(view.anchors, sourceAnchors(sourcePage(text, lists)));
    EXPECT_EQ(view.blockResets, view.linesBefore);
    for (qsizetype b = 1; b < view.linesBefore.size(); ++b) {
        const qsizetype lines = view.linesBefore[b] - view.linesBefore[b - 1];
        EXPECT_LE(lines, 400);
    }
}

TEST(SourceView, ShowsTheSourcePagesTextAndLinksLineByLine)
{
    QByteArray giant = "<p>";
    for (int i = 0; giant.size() < (1 << 20); ++i)
        giant += (i % 100 == 0) ? QByteArray("<img src=\"a.gif\"> & ") : QByteArray(" word&");
    const struct {
        const char *what;
        QByteArray text;
        Utf8Lists lists;
    } cases[] = {
        {"line breaks", "a\r\nb\rc\nd\r\n\r\ne\n\r", {}},
        {"empty lines", "\n\n\nx\n", {}},
        {"nothing", "", {}},
        {"a comment over lines", "<!-- one\r\n<b>two</b> --> <p class=x>after</p>\r\n<!---->x", {}},
        {"attributes",
         "<img src=\"a.gif\" alt='b c' width=3 data-x = \"y\" hidden/>\n"
         "<a href=a.gif>a.gif</a>",
         picturesNamed({"a.gif"})},
        {"a name across a line break", "see a\rb.gif and a\nb.gif\r\n",
         picturesNamed({"a\nb.gif"})},
        {"markup as text",
         "x</div><script>if (a<b) s = \"</div>\";</script>--> &lt; </p>\n"
         "<style>p > a { }</style></span></a>",
         {}},
        {"a name in an attribute, across a span", "<img src=\"pics/a.gif\" title='a.gif'>",
         picturesNamed({"a.gif", "pics/a.gif\" title"})},
        {"control characters",
         QByteArray("a\x01\x02\tb\x1f\x7f", 7) + QByteArray(1, '\0') + "<\x0c>",
         {}},
        {"many lines", repeated("<li>line ", 1000), picturesNamed({"line 4"})},
        {"long lines", repeated(QByteArray(990, 'x'), 100), {}},
        {"one giant line", giant, picturesNamed({"a.gif"})},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        expectShowsTheSourcePage(c.text, c.lists);
    }
}

// The pages made to break the harvest, with the names their scans record.
TEST(SourceView, ShowsEveryFuzzCorpusPageAsItsSourcePage)
{
    const QDir corpus(QStringLiteral(QUARROW_FUZZ_CORPUS_DIR));
    const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(names.isEmpty());
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        QFile file(corpus.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray input = file.readAll();
        const qsizetype lineEnd = input.indexOf('\n');
        const QString url = QString::fromUtf8(input.left(qMax<qsizetype>(lineEnd, 0)));
        const QByteArray text =
            harvest::ValidUtf8(lineEnd < 0 ? QByteArray() : input.mid(lineEnd + 1));
        Utf8Lists lists;
        harvest::ScanBudget budget;
        harvest::ScanPage(text, url, QString(), lists, budget);
        expectShowsTheSourcePage(text, lists);
    }
}

// Markup that changes colour at every byte is coloured only so far: the view stays
// within a few times the page, and shows the same text.
TEST(SourceView, ColoursOnlyAsMuchAsTheLimitAllows)
{
    // A declaration and a letter of text, over and over: two spans every four bytes.
    QByteArray text;
    while (text.size() < (1 << 20))
        text += "<!>x";
    const QByteArray view = sourceView(text, {});
    EXPECT_LT(view.size(), 6 * text.size() + (2 << 20));
    EXPECT_GT(view.count("<span"), 100000);
    expectShowsTheSourcePage(text, {});
}

// Each span is an element for the engine to read: a long page is coloured in its
// first blocks only, and its later blocks show the same text plain.
TEST(SourceView, ALongPageIsColouredInItsFirstBlocks)
{
    const QByteArray text = repeated("<a href=\"x\" title='t'>t</a> <!-- c -->", 40000);
    const QByteArray view = sourceView(text, {});
    const qsizetype firstBlock = view.indexOf("<div class=b ");
    const qsizetype lastBlock = view.lastIndexOf("<div class=");
    ASSERT_GT(lastBlock, firstBlock);
    EXPECT_GT(view.mid(firstBlock, 4096).count("<span"), 20);
    EXPECT_TRUE(view.mid(lastBlock).startsWith("<div class=\"b p\""));
    EXPECT_EQ(view.mid(lastBlock).count("<span"), 0);
    EXPECT_LT(view.count("<span"), (2 << 20) / 21);
    expectShowsTheSourcePage(text, {});
}

TEST(SourceView, CutsBlocksByLinesAndBytes)
{
    EXPECT_EQ(readView(sourceView(repeated("x", 1000), {})).linesBefore,
              (QList<qsizetype>{0, 400, 800}));
    // 1000 bytes a line: the block is full after 66 lines.
    EXPECT_EQ(readView(sourceView(repeated(QByteArray(995, 'x'), 100), {})).linesBefore,
              (QList<qsizetype>{0, 66}));
}

TEST(SourceView, ColoursMarkupAndKeepsItsHeadAndNotice)
{
    harvest::SourceViewOptions options;
    options.headExtra = "<meta name=extra>";
    const QByteArray page = sourceView("<a href=\"x\">t</a><!--c-->", {}, options);
    EXPECT_TRUE(page.startsWith("<!DOCTYPE html><html class=wrap><head><meta charset=utf-8>"
                                "<meta name=extra><style>"));
    EXPECT_TRUE(
        page.contains("<div style=\"counter-reset:l 0\">&lt;a href=<span class=v>\"x\"</span>>"
                      "<span class=x>t</span>&lt;/a><span class=c>&lt;!--c--></span></div>"))
        << page.constData();
    options.wrapLongLines = false;
    EXPECT_TRUE(sourceView("x", {}, options).startsWith("<!DOCTYPE html><html><head>"));

    // A page whose names cannot all be linked says so, after the first line.
    Utf8Lists lists;
    lists.Keys[1].append(QByteArray(1001, 'n'));
    lists.Links[1].append("http://example.com/n");
    harvest::SourcePageCuts cuts;
    QByteArray out;
    {
        ByteArraySink sink(out);
        harvest::WriteSourceView("text", lists, sink, {}, &cuts);
    }
    EXPECT_EQ(cuts.namesLeftOut, 1);
    EXPECT_TRUE(out.contains("(Ctrl+U)</div><div class=intro>" +
                             harvest::SourceCutNotice(cuts).toUtf8() + "</div><div class=b"));
}

QByteArray imageView(const Utf8Lists &lists, qsizetype limit, qsizetype *shown = nullptr)
{
    QByteArray out;
    ByteArraySink sink(out);
    harvest::WriteImageView(lists, limit, sink, shown);
    sink.flush();
    return out;
}

TEST(ImageView, HoldsTheImagesPagesBlocksAHundredToADiv)
{
    QList<QByteArray> names;
    for (int i = 0; i < 250; ++i)
        names.append("pic" + QByteArray::number(i) + (i == 7 ? "'<x>.gif" : ".gif"));
    const Utf8Lists lists = picturesNamed(names);
    for (const qsizetype limit : {qsizetype(-1), qsizetype(10000)}) {
        QByteArray file;
        qsizetype fileShown = 0;
        {
            ByteArraySink sink(file);
            harvest::WriteImagePage(lists, limit, sink, &fileShown);
        }
        qsizetype shown = 0;
        QByteArray view = imageView(lists, limit, &shown);
        EXPECT_EQ(shown, fileShown);
        EXPECT_EQ(view.count("<div class=b>"), (shown + 99) / 100);
        const qsizetype body = view.indexOf("<body>") + 6;
        view = view.mid(body, view.lastIndexOf("</body>") - body);
        view.replace("</div>", "").replace("<div class=b>", "");
        EXPECT_EQ(view, file.mid(3));
    }
    EXPECT_TRUE(imageView({}, -1).contains(
        "<body><p id=\"quarrow-empty\">No pictures on this page</p></body>"));
}

// A data: picture's caption is the start of its address; the file keeps it whole.
TEST(ImageView, ShortensTheCaptionOfADataPicture)
{
    const QByteArray data = "data:image/png;base64," + QByteArray(5000, 'A');
    const QByteArray exactly = "data:image/gif;base64," + QByteArray(38, 'B'); // 60 characters
    Utf8Lists lists;
    for (const QByteArray &address : {data, exactly, QByteArray("http://example.com/a.gif")}) {
        lists.Links[1].append(address);
        lists.Keys[1].append(address.right(5));
    }
    const QByteArray view = imageView(lists, -1);
    EXPECT_TRUE(view.contains("'></a><BR>" + data.left(60) + "\u2026<BR>"));
    EXPECT_EQ(view.count(data), 2); // the link and the picture
    EXPECT_TRUE(view.contains("'></a><BR>" + exactly + "<BR>"));
    EXPECT_TRUE(view.contains("'></a><BR>http://example.com/a.gif<BR>"));
    QByteArray file;
    {
        ByteArraySink sink(file);
        harvest::WriteImagePage(lists, -1, sink);
    }
    EXPECT_EQ(file.count(data), 3);
}

} // namespace
