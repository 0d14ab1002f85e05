#include "windows/PageSnapshot.h"

#include "windows/FileUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <memory>

namespace {

// The header lines of a MIME entity up to its empty line, unfolded.
QList<QByteArray> readHeaders(QFile &file)
{
    QList<QByteArray> lines;
    while (!file.atEnd()) {
        QByteArray line = file.readLine(64 * 1024);
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            break;
        if (!lines.isEmpty() && (line.startsWith(' ') || line.startsWith('\t')))
            lines.last() += ' ' + line.trimmed();
        else
            lines.append(line);
        if (lines.size() > 200)
            break;
    }
    return lines;
}

QByteArray headerValue(const QList<QByteArray> &headers, const QByteArray &name)
{
    for (const QByteArray &line : headers) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

QByteArray boundaryOf(const QByteArray &contentType)
{
    const qsizetype at = contentType.toLower().indexOf("boundary=");
    if (at < 0)
        return {};
    QByteArray value = contentType.mid(at + 9);
    if (value.startsWith('"'))
        value = value.mid(1, value.indexOf('"', 1) - 1);
    else
        value = value.left(value.indexOf(';') < 0 ? value.size() : value.indexOf(';')).trimmed();
    return value;
}

// One part being written: its bytes decoded as they come.
struct Writer {
    QFile out;
    bool base64 = true;
    QByteArray pending; // base64 characters not decoded yet
    qint64 written = 0;
    bool tooLarge = false;

    bool write(const QByteArray &bytes, qint64 limit)
    {
        if (written + bytes.size() > limit) {
            tooLarge = true;
            return false;
        }
        written += bytes.size();
        return out.write(bytes) == bytes.size();
    }
    bool line(QByteArray text, qint64 limit)
    {
        if (base64) {
            pending += text.trimmed();
            const qsizetype whole = pending.size() - pending.size() % 4;
            const bool ok = write(QByteArray::fromBase64(pending.left(whole)), limit);
            pending.remove(0, whole);
            return ok;
        }
        // Quoted-printable: "=XX" escapes, and "=" at a line's end joins lines.
        while (text.endsWith('\n') || text.endsWith('\r'))
            text.chop(1);
        const bool soft = text.endsWith('=');
        if (soft)
            text.chop(1);
        QByteArray decoded;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i) == '=' && i + 2 < text.size()) {
                bool ok = false;
                const int value = text.mid(i + 1, 2).toInt(&ok, 16);
                if (ok) {
                    decoded.append(char(value));
                    i += 2;
                    continue;
                }
            }
            decoded.append(text.at(i));
        }
        if (!soft)
            decoded.append("\r\n");
        return write(decoded, limit);
    }
    bool finish(qint64 limit)
    {
        if (!base64) {
            // The line end before the boundary belongs to the boundary.
            if (written >= 2) {
                out.flush();
                written -= 2;
                out.resize(written);
            }
            return true;
        }
        return pending.isEmpty() || write(QByteArray::fromBase64(pending), limit);
    }
};

} // namespace

QString PageSnapshot::key(const QString &address)
{
    return QUrl(address).adjusted(QUrl::RemoveFragment).toString(QUrl::FullyEncoded);
}

QHash<QString, PageSnapshot::Part> PageSnapshot::extract(const QString &path,
                                                         const QSet<QString> &wanted,
                                                         const QString &folder, qint64 maxBytes,
                                                         const std::atomic_bool *stop)
{
    QHash<QString, QString> byKey;
    for (const QString &address : wanted)
        byKey.insert(key(address), address);
    QHash<QString, Part> found;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return found;
    const QByteArray boundary = boundaryOf(headerValue(readHeaders(file), "content-type"));
    if (boundary.isEmpty())
        return found;
    const QByteArray next = "--" + boundary;
    const QByteArray last = next + "--";
    const QDir dir(folder);

    std::unique_ptr<Writer> writer;
    QString address;
    QString type;
    auto close = [&](bool keep) {
        if (!writer)
            return;
        const QString name = QFileInfo(writer->out.fileName()).fileName();
        keep = keep && !writer->tooLarge && writer->finish(maxBytes) && !writer->tooLarge;
        writer->out.close();
        if (keep && !found.contains(address))
            found.insert(address, {name, type, writer->written});
        else
            QFile::remove(dir.filePath(name));
        writer.reset();
    };
    bool inPart = false;
    while (!file.atEnd()) {
        if (stop && *stop)
            break;
        const QByteArray line = file.readLine(1024 * 1024);
        const QByteArray bare = line.trimmed();
        if (bare == next || bare == last) {
            close(true);
            inPart = bare == next;
            if (!inPart)
                break;
            const QList<QByteArray> headers = readHeaders(file);
            const QString location = QString::fromUtf8(headerValue(headers, "content-location"));
            const QByteArray encoding = headerValue(headers, "content-transfer-encoding").toLower();
            const auto match = byKey.constFind(key(location));
            if (match == byKey.cend() || found.contains(*match) ||
                (encoding != "base64" && encoding != "quoted-printable"))
                continue;
            address = *match;
            type = QString::fromLatin1(headerValue(headers, "content-type"))
                       .section(QLatin1Char(';'), 0, 0)
                       .trimmed()
                       .toLower();
            writer = std::make_unique<Writer>();
            writer->base64 = encoding == "base64";
            writer->out.setFileName(dir.filePath(NewPartFileName()));
            if (!writer->out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
                writer.reset();
            continue;
        }
        if (writer && !writer->line(line, maxBytes))
            close(false);
    }
    close(false); // a part cut off by the end of the file is not kept
    return found;
}
