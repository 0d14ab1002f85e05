#include "InventoryPrinter.h"

#include "windows/MediaModels.h"

#include <QJsonDocument>
#include <QJsonObject>

QString InventoryPrinter::escaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case 0:
            out += QLatin1String("\\0");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QList<PictureAudit::Issue> InventoryPrinter::issuesOf(int row) const
{
    return m_options.audit && !m_media.notPicture(row) ? m_media.issues(row)
                                                       : QList<PictureAudit::Issue>();
}

QByteArray InventoryPrinter::plainLine(int entryIndex, int row) const
{
    const InventoryEntry &e = m_media.inventory().pictures.at(entryIndex);
    QByteArray line =
        "picture\t" + escaped(e.address).toUtf8() + '\t' + e.kinds.join(QLatin1Char(',')).toUtf8();
    if (m_options.audit) {
        QStringList names;
        if (row >= 0) {
            for (const PictureAudit::Issue &issue : issuesOf(row))
                names.append(PictureAudit::name(issue.kind));
        }
        line += '\t' + names.join(QLatin1Char(',')).toUtf8();
    }
    return line + '\n';
}

QByteArray InventoryPrinter::jsonLine(int row) const
{
    PictureReport report;
    if (m_options.nothingLoaded) {
        report.source = PictureSource::name(PictureSource::Markup);
    } else {
        if (m_media.sourcesKnown())
            report.source = PictureSource::name(m_media.source(row));
        report.state = m_media.state(row);
    }
    report.issues = issuesOf(row);
    QJsonObject object = MediaJsonObject(m_media.entry(row), m_media.answer(row), &report);
    if (!m_options.audit)
        object.remove(QStringLiteral("issues"));
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

bool InventoryPrinter::write(std::FILE *out)
{
    m_found.clear();
    const int rows = m_media.rowCount();
    for (int row = 0; row < rows; ++row) {
        for (const PictureAudit::Issue &issue : issuesOf(row))
            ++m_found[issue.kind];
    }
    QByteArray block;
    bool written = true;
    const auto put = [&](const QByteArray &line, bool last) {
        block += line;
        if (written && (last || block.size() >= 1024 * 1024)) {
            written = std::fwrite(block.constData(), 1, size_t(block.size()), out) ==
                      size_t(block.size());
            block.clear();
        }
    };
    if (m_options.json) {
        for (int row = 0; row < rows; ++row)
            put(jsonLine(row), row + 1 == rows);
    } else {
        const qsizetype count = m_media.inventory().pictures.size();
        QList<int> rowOf(count, -1);
        for (int row = 0; row < rows; ++row)
            rowOf[m_media.entryIndex(row)] = row;
        for (qsizetype i = 0; i < count; ++i)
            put(plainLine(int(i), rowOf.at(i)), i + 1 == count);
    }
    return std::fflush(out) == 0 && written && !std::ferror(out);
}
