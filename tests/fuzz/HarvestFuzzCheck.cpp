#include "tests/fuzz/HarvestFuzzCheck.h"

#include "harvest/Harvest.h"
#include "harvest/UrlHelpers.h"
#include "tests/harvest/ReferenceHarvest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

QString scratchBase()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return (shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath()) +
           QStringLiteral("/quarrow-fuzz-XXXXXX");
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString escapeText(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c == u'&')
            out += QStringLiteral("&amp;");
        else if (c == u'<')
            out += QStringLiteral("&lt;");
        else if (c == u'\r' || c == u'\n')
            out += QStringLiteral("<BR>");
        else if (c.unicode() < 0x20 && c != u'\t')
            out += QChar(0x2400 + c.unicode());
        else
            out += c;
    }
    return out;
}

bool hasMarkupCharacter(const QString &text)
{
    return text.contains(u'<') || text.contains(u'>') || text.contains(u'\'') ||
           text.contains(u'"');
}

// The Source Code page: plain escaped text, "<BR>" and anchors whose address and
// text are a recorded pair; without the anchors it is the escaped page text.
QString checkSourcePage(const QString &page, const QString &pageText, const ResultLists &lists)
{
    if (!page.endsWith(QStringLiteral("\r\n")))
        return QStringLiteral("source page does not end with CR LF");
    const QString body = page.chopped(2);
    QString plain;
    qsizetype i = 0;
    bool inAnchor = false;
    QString anchorTarget;
    qsizetype anchorTextStart = 0;
    while (i < body.size()) {
        if (body.at(i) != u'<') {
            plain += body.at(i++);
            continue;
        }
        const QStringView rest = QStringView(body).mid(i);
        if (rest.startsWith(QStringLiteral("<BR>"))) {
            plain += QStringLiteral("<BR>");
            i += 4;
        } else if (!inAnchor && rest.startsWith(QStringLiteral("<a href='"))) {
            const qsizetype close = body.indexOf(QStringLiteral("'>"), i + 9);
            if (close < 0)
                return QStringLiteral("unterminated anchor");
            anchorTarget = body.mid(i + 9, close - i - 9);
            if (hasMarkupCharacter(anchorTarget))
                return QStringLiteral("anchor address leaves its attribute: ") + anchorTarget;
            inAnchor = true;
            i = close + 2;
            anchorTextStart = plain.size();
        } else if (inAnchor && rest.startsWith(QStringLiteral("</a>"))) {
            const QString anchorText = plain.mid(anchorTextStart);
            bool known = false;
            for (int k = 0; k < 2 && !known; ++k) {
                for (qsizetype e = 0; e < lists.Links[k].size() && !known; ++e) {
                    known = harvest::AttributeSafe(lists.Links[k].at(e)) == anchorTarget &&
                            escapeText(lists.Keys[k].at(e)) == anchorText;
                }
            }
            if (!known || anchorText.isEmpty())
                return QStringLiteral("anchor that no recorded pair calls for: ") + anchorTarget;
            inAnchor = false;
            i += 4;
        } else {
            return QStringLiteral("stray markup in the source page at ") + QString::number(i);
        }
    }
    if (inAnchor)
        return QStringLiteral("anchor left open");
    if (plain != escapeText(pageText))
        return QStringLiteral("source page text is not the escaped page text");
    return {};
}

// The Images page: one block per image, nothing else.
QString checkImagePage(const QString &page, const ResultLists &lists)
{
    QString expected;
    for (qsizetype i = 0; i < lists.Links[1].size(); ++i) {
        const QString &stored = lists.Links[1].at(i);
        const QString target = harvest::SchemeOf(stored).isEmpty()
                                   ? harvest::AttributeSafe(QStringLiteral("http://") + stored)
                                   : harvest::AttributeSafe(stored);
        const QString caption = harvest::AttributeSafe(harvest::VisibleControls(stored));
        if (hasMarkupCharacter(target) || hasMarkupCharacter(caption))
            return QStringLiteral("image address leaves its attribute: ") + target;
        expected += QStringLiteral("<a href='") + target + QStringLiteral("'><img src='") + target +
                    QStringLiteral("'></a><BR>") + caption + QStringLiteral("<BR><BR><BR>");
    }
    if (page != expected + QStringLiteral("\r\n"))
        return QStringLiteral("images page differs from its lists");
    return {};
}

} // namespace

QString CheckHarvestInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype newline = bytes.indexOf('\n');
    const QString url = QString::fromUtf8(newline < 0 ? bytes : bytes.left(newline));
    const QString pageText = newline < 0 ? QString() : QString::fromUtf8(bytes.mid(newline + 1));

    static QTemporaryDir fastDir(scratchBase());
    static QTemporaryDir slowDir(scratchBase());
    static QTemporaryDir bytesDir(scratchBase());
    const WorkingFiles files(fastDir.path());
    ResultLists lists;
    RunHarvest(pageText, url, files, lists);
    ResultLists slowLists;
    reference::RunHarvest(pageText, url, slowDir.path(), slowLists);

    for (int k = 0; k < 2; ++k) {
        if (lists.Links[k] != slowLists.Links[k] || lists.Keys[k] != slowLists.Keys[k])
            return QStringLiteral("lists differ from the reference for kind %1").arg(k);
        if (lists.Links[k].size() != lists.Keys[k].size())
            return QStringLiteral("lists of kind %1 are not in pairs").arg(k);
    }
    for (const QString &name : WorkingFiles::startupOrder()) {
        if (readAll(files.path(name)) != readAll(slowDir.path() + u'/' + name))
            return QStringLiteral("%1 differs from the reference").arg(name);
    }
    // The page's raw bytes, UTF-8 or not, give what their decoded text gives.
    const WorkingFiles bytesFiles(bytesDir.path());
    ResultLists bytesLists;
    RunHarvestUtf8(newline < 0 ? QByteArray() : bytes.mid(newline + 1), url, bytesFiles,
                   bytesLists);
    for (int k = 0; k < 2; ++k) {
        if (lists.Links[k] != bytesLists.Links[k] || lists.Keys[k] != bytesLists.Keys[k])
            return QStringLiteral("lists of the bytes differ for kind %1").arg(k);
    }
    for (const QString &name : WorkingFiles::startupOrder()) {
        if (readAll(files.path(name)) != readAll(bytesFiles.path(name)))
            return QStringLiteral("%1 differs for the page's bytes").arg(name);
    }
    const bool filePage = harvest::SchemeOf(url) == QLatin1String("file");
    for (int k = 0; k < 2; ++k) {
        for (const QString &address : std::as_const(lists.Links[k])) {
            if (!harvest::IsAllowedAddress(address, filePage))
                return QStringLiteral("address with a scheme that is not allowed: ") + address;
        }
    }
    // Both generated pages start with the byte-order mark that fixes their encoding.
    const QByteArray mark = harvest::kByteOrderMark;
    const QByteArray sourceBytes = readAll(files.path(WorkingFiles::SourcePage));
    if (!sourceBytes.startsWith(mark) ||
        !readAll(files.path(WorkingFiles::ImagePage)).startsWith(mark))
        return QStringLiteral("a generated page does not start with a byte-order mark");
    const QString source = QString::fromUtf8(sourceBytes.mid(mark.size()));
    const QString problem = checkSourcePage(source, QString::fromUtf8(pageText.toUtf8()), lists);
    if (!problem.isEmpty())
        return problem;
    const QByteArray imageBytes = readAll(files.path(WorkingFiles::ImagePage));
    for (const QByteArray &bytes : {readAll(files.path(WorkingFiles::SourcePage)), imageBytes}) {
        // No control character but tab and line breaks may reach a generated page.
        for (const char c : bytes) {
            if (uchar(c) < 0x20 && c != '\t' && c != '\r' && c != '\n')
                return QStringLiteral("control character %1 in a generated page").arg(int(c));
        }
    }
    return checkImagePage(QString::fromUtf8(imageBytes.mid(mark.size())), lists);
}
