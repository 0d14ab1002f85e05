// The generated pages as the web engine reads them. Every fuzz corpus input (first
// line: the page address, the rest: the page text in UTF-8) goes through the harvest;
// then source.htm and imagepage.html are loaded, one document a load, into one
// off-the-record page with the settings of the program's generated views (no
// scripts, UTF-8 as the default encoding), and the element tree the engine built is
// compared with what the result lists call for:
//
//  - source.htm: a body of text, "br" and "a" elements only; every "a" has exactly
//    one attribute, href, whose value is a recorded address, and holds only the
//    text of that address' file name; the text of the whole body is the page text
//    with each CR and LF read as a line break.
//  - imagepage.html: per image, an "a" with only href holding an "img" with only
//    src, both the image's address, then "br", the address as text and three "br";
//    nothing else.
//  - both documents decoded as UTF-8.
//
// A leading byte-order mark is not part of the tree, and control characters shown
// as the visible symbols of U+2400 to U+241F count as ordinary text. The values of
// attributes and texts are compared after the engine's own reading of character
// references (addresses keep their "&" as written).

#include "harvest/Harvest.h"
#include "harvest/UrlHelpers.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int kLoadTimeoutMs = 10000;

// Reads one document into the tree as the script below writes it: every node an
// object {t: tag name or "#text" (with d: its text) or "#N" for other node types,
// a: [[name, value], ...], c: [children]}.
const char kTreeScript[] = R"JS(
(function (wanted) {
    function node(n) {
        if (n.nodeType === 3)
            return {t: '#text', d: n.data, a: [], c: []};
        var out = {t: n.nodeType === 1 ? n.localName : '#' + n.nodeType, a: [], c: []};
        if (n.nodeType === 1) {
            for (var i = 0; i < n.attributes.length; ++i)
                out.a.push([n.attributes[i].name, n.attributes[i].value]);
        }
        for (var child = n.firstChild; child; child = child.nextSibling)
            out.c.push(node(child));
        return out;
    }
    // The engine's own reading of each wanted value, written with "<", ">", quotes
    // as references and "&" as it is, once inside a quoted attribute (control
    // characters other than tab and line breaks percent-encoded, as the generated
    // pages write them there) and once as text.
    function inAttribute(value) {
        return value.replace(/[\x00-\x08\x0B\x0C\x0E-\x1F]/g, function (c) {
            return '%' + c.charCodeAt(0).toString(16).toUpperCase().padStart(2, '0');
        });
    }
    var holder = document.createElement('template');
    var attributes = [], texts = [];
    for (var i = 0; i < wanted.length; ++i) {
        holder.innerHTML = "<a href='" + inAttribute(wanted[i]) + "'></a>";
        attributes.push(holder.content.firstChild.getAttribute('href'));
        holder.innerHTML = wanted[i];
        texts.push(holder.content.textContent);
    }
    var top = [];
    for (var child = document.firstChild; child; child = child.nextSibling)
        top.push(node(child));
    return JSON.stringify({charset: document.characterSet, top: top,
                           attributes: attributes, texts: texts});
})
)JS";

struct Node {
    QString tag; // "#text" for text
    QString text;
    QList<QPair<QString, QString>> attributes;
    QList<Node> children;
};

Node readNode(const QJsonObject &object)
{
    Node node;
    node.tag = object.value(QLatin1String("t")).toString();
    node.text = object.value(QLatin1String("d")).toString();
    for (const QJsonValue &pair : object.value(QLatin1String("a")).toArray()) {
        const QJsonArray both = pair.toArray();
        node.attributes.append({both.at(0).toString(), both.at(1).toString()});
    }
    for (const QJsonValue &child : object.value(QLatin1String("c")).toArray())
        node.children.append(readNode(child.toObject()));
    return node;
}

struct Document {
    QString problem; // set when the document could not be loaded or read
    QString charset;
    QList<Node> top;
    QStringList attributeValues; // the engine's reading of each wanted value
    QStringList textValues;
};

// Written as the generated pages write an address: "<", ">", '"' and "'" as
// character references, everything else as it is.
QString quoted(const QString &value)
{
    QString out;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'<':
            out += QLatin1String("&lt;");
            break;
        case u'>':
            out += QLatin1String("&gt;");
            break;
        case u'"':
            out += QLatin1String("&quot;");
            break;
        case u'\'':
            out += QLatin1String("&#39;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

// One page and profile for every load: starting the engine's renderer is what
// costs, a load of a small local file is quick.
class EngineReader {
public:
    EngineReader()
        : m_profile(std::make_unique<QWebEngineProfile>()),
          m_page(std::make_unique<QWebEnginePage>(m_profile.get()))
    {
        QWebEngineSettings *settings = m_page->settings();
        settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
        settings->setDefaultTextEncoding(QStringLiteral("UTF-8"));
        // The pictures' addresses lead nowhere here; waiting for them tells nothing.
        settings->setAttribute(QWebEngineSettings::AutoLoadImages, false);
    }

    ~EngineReader()
    {
        m_page.reset();
        m_profile.reset();
    }

    Document read(const QString &path, const QStringList &wanted)
    {
        Document document;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);

        bool loaded = false;
        bool finished = false;
        const auto connection =
            QObject::connect(m_page.get(), &QWebEnginePage::loadFinished, &loop, [&](bool ok) {
                finished = true;
                loaded = ok;
                loop.quit();
            });
        m_page->load(QUrl::fromLocalFile(path));
        timer.start(kLoadTimeoutMs);
        loop.exec();
        QObject::disconnect(connection);
        if (!finished) {
            document.problem = QStringLiteral("no load finished within %1 ms").arg(kLoadTimeoutMs);
            return document;
        }
        if (!loaded) {
            document.problem = QStringLiteral("the load failed");
            return document;
        }

        QJsonArray values;
        for (const QString &value : wanted)
            values.append(quoted(value));
        const QString script =
            QLatin1String(kTreeScript) + u'(' +
            QString::fromUtf8(QJsonDocument(values).toJson(QJsonDocument::Compact)) + u')';
        QString result;
        bool answered = false;
        m_page->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                              [&](const QVariant &value) {
                                  result = value.toString();
                                  answered = true;
                                  loop.quit();
                              });
        timer.start(kLoadTimeoutMs);
        if (!answered)
            loop.exec();
        if (!answered) {
            document.problem =
                QStringLiteral("the tree was not read within %1 ms").arg(kLoadTimeoutMs);
            return document;
        }
        const QJsonObject all = QJsonDocument::fromJson(result.toUtf8()).object();
        if (all.isEmpty()) {
            document.problem = QStringLiteral("the tree could not be read");
            return document;
        }
        document.charset = all.value(QLatin1String("charset")).toString();
        for (const QJsonValue &node : all.value(QLatin1String("top")).toArray())
            document.top.append(readNode(node.toObject()));
        for (const QJsonValue &value : all.value(QLatin1String("attributes")).toArray())
            document.attributeValues.append(value.toString());
        for (const QJsonValue &value : all.value(QLatin1String("texts")).toArray())
            document.textValues.append(value.toString());
        if (document.attributeValues.size() != wanted.size() ||
            document.textValues.size() != wanted.size())
            document.problem = QStringLiteral("the wanted values were not all read");
        return document;
    }

private:
    std::unique_ptr<QWebEngineProfile> m_profile;
    std::unique_ptr<QWebEnginePage> m_page;
};

// Text as the tree holds it, compared loosely where the engine or the page's way of
// showing control characters may differ: a control character other than tab and
// line break counts as its visible symbol U+2400 + c, and the null character (which
// the engine drops from text) and its symbol U+2400 count as nothing; CR counts as
// LF.
QString normalized(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == 0 || u == 0x2400)
            continue;
        if (u == u'\r')
            out += u'\n';
        else if (u < 0x20 && u != u'\t' && u != u'\n')
            out += QChar(char16_t(0x2400 + u));
        else
            out += c;
    }
    return out;
}

// An attribute value as the generated pages write it: control characters other than
// tab and line breaks are percent-encoded there, as the engine's address parser would
// encode them; CR counts as LF.
QString normalizedValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        const char16_t u = c.unicode();
        if (u == u'\r')
            out += u'\n';
        else if (u < 0x20 && u != u'\t' && u != u'\n')
            out += u'%' + QString::number(u, 16).rightJustified(2, u'0').toUpper();
        else
            out += c;
    }
    return out;
}

// The start of a document loses a byte-order mark, the engine skips blanks before
// the first content, and a document that ends in blanks and line breaks may show
// them or not: both ends count without them.
QString withoutOuterBlanks(const QString &text)
{
    const auto blank = [](QChar c) {
        return c == u' ' || c == u'\t' || c == u'\n' || c == QChar(0xFEFF) || c == QChar(0x240C);
    };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && blank(text.at(begin)))
        ++begin;
    while (end > begin && blank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

QString describe(const Node &node)
{
    QString out = u'<' + node.tag;
    for (const auto &attribute : node.attributes)
        out += u' ' + attribute.first + QStringLiteral("=\"") + attribute.second + u'"';
    return out + u'>';
}

// The document's frame: html, then head (empty) and body, no attributes on any of
// them, nothing beside them. Returns the body, or null with the problem set.
const Node *bodyOf(const Document &document, QStringList &problems)
{
    if (document.charset != QLatin1String("UTF-8"))
        problems << QStringLiteral("read as %1, not UTF-8").arg(document.charset);
    if (document.top.size() != 1 || document.top.at(0).tag != QLatin1String("html")) {
        problems << QStringLiteral("the document holds more than its html element");
        return nullptr;
    }
    const Node &html = document.top.at(0);
    if (!html.attributes.isEmpty())
        problems << QStringLiteral("attributes on html: ") + describe(html);
    if (html.children.size() != 2 || html.children.at(0).tag != QLatin1String("head") ||
        html.children.at(1).tag != QLatin1String("body")) {
        problems << QStringLiteral("html holds more than head and body");
        return nullptr;
    }
    const Node &head = html.children.at(0);
    if (!head.attributes.isEmpty() || !head.children.isEmpty())
        problems << QStringLiteral("the head is not empty");
    const Node &body = html.children.at(1);
    if (!body.attributes.isEmpty())
        problems << QStringLiteral("attributes on body: ") + describe(body);
    return &body;
}

// The text of a node's children, a "br" read as a line break.
QString textOf(const Node &node)
{
    QString out;
    for (const Node &child : node.children) {
        if (child.tag == QLatin1String("#text"))
            out += child.text;
        else if (child.tag == QLatin1String("br"))
            out += u'\n';
        else
            out += textOf(child);
    }
    return out;
}

void checkSourceTree(const Document &document, const QString &pageText, const ResultLists &lists,
                     QStringList &problems)
{
    const Node *body = bodyOf(document, problems);
    if (!body)
        return;
    // Each recorded address as the engine reads it from a quoted attribute, with the
    // file names that may stand in an anchor to it.
    QHash<QString, QSet<QString>> namesOf;
    qsizetype at = 0;
    for (int k = 0; k < 2; ++k) {
        for (qsizetype i = 0; i < lists.Links[k].size(); ++i, ++at) {
            const QString name = i < lists.Keys[k].size() ? lists.Keys[k].at(i) : QString();
            if (at < document.attributeValues.size())
                namesOf[normalizedValue(document.attributeValues.at(at))].insert(normalized(name));
        }
    }
    for (const Node &child : body->children) {
        if (child.tag == QLatin1String("#text"))
            continue;
        if (child.tag == QLatin1String("br")) {
            if (!child.attributes.isEmpty() || !child.children.isEmpty())
                problems << QStringLiteral("br with more than a line break: ") + describe(child);
            continue;
        }
        if (child.tag != QLatin1String("a")) {
            problems << QStringLiteral("element that no list calls for: ") + describe(child);
            continue;
        }
        if (child.attributes.size() != 1 || child.attributes.at(0).first != QLatin1String("href")) {
            problems << QStringLiteral("anchor with more than its address: ") + describe(child);
            continue;
        }
        const QString href = normalizedValue(child.attributes.at(0).second);
        if (!namesOf.contains(href)) {
            problems << QStringLiteral("anchor to an address no list holds: ") + describe(child);
            continue;
        }
        for (const Node &inner : child.children) {
            if (inner.tag != QLatin1String("#text") && inner.tag != QLatin1String("br"))
                problems << QStringLiteral("element inside an anchor: ") + describe(inner);
        }
        if (!namesOf.value(href).contains(normalized(textOf(child))))
            problems << QStringLiteral("anchor whose text is not its file name: ") +
                            describe(child) + textOf(child);
    }
    // Every CR and LF of the page text is a "br".
    QString expected = pageText;
    expected.replace(u'\r', u'\n');
    if (withoutOuterBlanks(normalized(textOf(*body))) != withoutOuterBlanks(normalized(expected)))
        problems << QStringLiteral("the text of the page differs from the page text");
}

void checkImageTree(const Document &document, const ResultLists &lists, qsizetype firstWanted,
                    QStringList &problems)
{
    const Node *body = bodyOf(document, problems);
    if (!body)
        return;
    const QList<Node> &nodes = body->children;
    qsizetype n = 0;
    const auto isBreak = [&](qsizetype i) {
        return i < nodes.size() && nodes.at(i).tag == QLatin1String("br") &&
               nodes.at(i).attributes.isEmpty() && nodes.at(i).children.isEmpty();
    };
    for (qsizetype i = 0; i < lists.Links[1].size(); ++i) {
        // The target (the address, with "http://" in front when it has no scheme)
        // and the caption were read by the engine from the values wanted for them.
        const qsizetype targetAt = firstWanted + 2 * i;
        const QString target = normalizedValue(document.attributeValues.value(targetAt));
        const QString caption = document.textValues.value(targetAt + 1);
        const QString where = QStringLiteral(" (image %1)").arg(i);
        if (n >= nodes.size() || nodes.at(n).tag != QLatin1String("a")) {
            problems << QStringLiteral("no anchor where one was due") + where;
            return;
        }
        const Node &anchor = nodes.at(n++);
        if (anchor.attributes.size() != 1 ||
            anchor.attributes.at(0).first != QLatin1String("href") ||
            normalizedValue(anchor.attributes.at(0).second) != target)
            problems << QStringLiteral("anchor other than its address: ") + describe(anchor) +
                            where;
        if (anchor.children.size() != 1 || anchor.children.at(0).tag != QLatin1String("img")) {
            problems << QStringLiteral("anchor that holds more or less than its image: ") +
                            describe(anchor) + where;
        } else {
            const Node &image = anchor.children.at(0);
            if (image.attributes.size() != 1 ||
                image.attributes.at(0).first != QLatin1String("src") ||
                normalizedValue(image.attributes.at(0).second) != target ||
                !image.children.isEmpty())
                problems << QStringLiteral("image other than its address: ") + describe(image) +
                                where;
        }
        if (!isBreak(n++)) {
            problems << QStringLiteral("no line break after the image") + where;
            return;
        }
        QString shown;
        if (n < nodes.size() && nodes.at(n).tag == QLatin1String("#text"))
            shown = nodes.at(n++).text;
        if (normalized(shown) != normalized(caption))
            problems << QStringLiteral("caption other than the address: ") + shown + where;
        for (int b = 0; b < 3; ++b) {
            if (!isBreak(n++)) {
                problems << QStringLiteral("fewer than three line breaks after the caption") +
                                where;
                return;
            }
        }
    }
    // The file's own final line break, and nothing else.
    for (; n < nodes.size(); ++n) {
        if (nodes.at(n).tag != QLatin1String("#text") || !nodes.at(n).text.trimmed().isEmpty()) {
            problems << QStringLiteral("more than the images: ") + describe(nodes.at(n));
            return;
        }
    }
}

// Runs one corpus input through the harvest and the engine; the problems found,
// none when both trees are as the lists call for.
QStringList checkInput(EngineReader &reader, const QByteArray &input, const QString &folder)
{
    const qsizetype newline = input.indexOf('\n');
    const QString url = QString::fromUtf8(newline < 0 ? input : input.left(newline));
    const QString pageText = newline < 0 ? QString() : QString::fromUtf8(input.mid(newline + 1));

    QDir().mkpath(folder);
    const WorkingFiles files(folder);
    ResultLists lists;
    RunHarvest(pageText, url, files, lists);

    // What the engine is asked to read besides the document: every recorded address
    // (for source.htm), then per image its target and its caption.
    QStringList wanted;
    for (int k = 0; k < 2; ++k)
        wanted += lists.Links[k];
    const qsizetype firstImage = wanted.size();
    for (const QString &stored : std::as_const(lists.Links[1])) {
        wanted << (harvest::SchemeOf(stored).isEmpty() ? QStringLiteral("http://") + stored
                                                       : stored)
               << stored;
    }

    QStringList problems;
    const Document source = reader.read(files.path(WorkingFiles::SourcePage), wanted);
    if (!source.problem.isEmpty())
        problems << QStringLiteral("source.htm: ") + source.problem;
    else {
        QStringList found;
        checkSourceTree(source, pageText, lists, found);
        for (const QString &problem : std::as_const(found))
            problems << QStringLiteral("source.htm: ") + problem;
    }
    const Document images = reader.read(files.path(WorkingFiles::ImagePage), wanted);
    if (!images.problem.isEmpty())
        problems << QStringLiteral("imagepage.html: ") + images.problem;
    else {
        QStringList found;
        checkImageTree(images, lists, firstImage, found);
        for (const QString &problem : std::as_const(found))
            problems << QStringLiteral("imagepage.html: ") + problem;
    }
    return problems;
}

const QString kCorpus = QStringLiteral(QUARROW_FUZZ_CORPUS_DIR);

TEST(EngineTree, EveryCorpusInputBuildsTheTreeItsListsCallFor)
{
    const QDir corpus(kCorpus);
    const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
    ASSERT_GE(names.size(), 20);
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    EngineReader reader;
    int index = 0;
    for (const QString &name : names) {
        const QStringList problems =
            checkInput(reader, testsupport::readFile(corpus.filePath(name)),
                       scratch.filePath(QString::number(index++)));
        EXPECT_TRUE(problems.isEmpty())
            << name.toStdString() << ":\n  " << problems.join(QStringLiteral("\n  ")).toStdString();
    }
}

// A page whose text holds ISO-2022-JP shift sequences: source.htm names no character
// set, so unless the file itself says UTF-8 the engine may guess ISO-2022-JP from
// them, read the generator's own "'>" as one Japanese character, and so take the
// page text after it for attributes of the anchor (here an onclick, a style that
// covers the window and a title). This fails as long as the generated pages leave
// the engine to guess their encoding.
TEST(EngineTree, ShiftSequencesInThePageCannotTurnItsTextIntoMarkup)
{
    const QByteArray input =
        testsupport::readFile(QDir(kCorpus).filePath(QStringLiteral("iso-2022-jp-shift")));
    ASSERT_FALSE(input.isEmpty());
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    EngineReader reader;
    const QStringList problems = checkInput(reader, input, scratch.path());
    EXPECT_TRUE(problems.isEmpty())
        << "the engine did not read the generated pages as UTF-8 text and markup:\n  "
        << problems.join(QStringLiteral("\n  ")).toStdString();
}

} // namespace
