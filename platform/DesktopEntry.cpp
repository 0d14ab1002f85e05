#include "platform/DesktopEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

namespace DesktopEntry {

namespace {

// The template the build compiles in (resources/quarrow.desktop).
const QString TemplateResource = QStringLiteral(":/quarrow.desktop");

// The types and schemes Quarrow opens.
const QString MimeTypes =
    QStringLiteral("text/html;application/xhtml+xml;x-scheme-handler/http;x-scheme-handler/https;");

// Escapes text for a value of type string: backslashes and the control
// characters a line cannot hold.
QString escapedString(const QString &text)
{
    QString out;
    for (const QChar ch : text) {
        switch (ch.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        default:
            out += ch;
        }
    }
    return out;
}

// One argument of an Exec line: quoted when it holds a character the format
// reserves, with ", `, $ and \ escaped inside the quotes; a percent sign is
// doubled so that it is not read as a field code.
QString execArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = argument.isEmpty();
    for (const QChar ch : argument)
        needsQuotes = needsQuotes || reserved.contains(ch);
    QString out;
    for (const QChar ch : argument) {
        if (ch == QLatin1Char('%'))
            out += QStringLiteral("%%");
        else if (needsQuotes && QStringLiteral("\"`$\\").contains(ch))
            out += QLatin1Char('\\') + ch;
        else
            out += ch;
    }
    return needsQuotes ? QLatin1Char('"') + out + QLatin1Char('"') : out;
}

// The template's lines; a short entry of its own when the template is not
// compiled in.
QStringList templateLines()
{
    QFile file(TemplateResource);
    if (file.open(QIODevice::ReadOnly))
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    return {QStringLiteral("[Desktop Entry]"), QStringLiteral("Type=Application"),
            QStringLiteral("Name=Quarrow"),    QStringLiteral("Exec=quarrow %u"),
            QStringLiteral("Terminal=false"),  QStringLiteral("Categories=Network;WebBrowser;")};
}

// Rebuilds the folder's MIME cache so that the desktop offers the entry for
// web pages at once. Without update-desktop-database the desktop reads the
// folder itself later; a failure of the tool leaves the entry as it is.
void refreshDatabase(const QString &folder)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (tool.isEmpty())
        return;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(tool, {folder});
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished(1000);
    }
}

} // namespace

QString fileName()
{
    return QStringLiteral("quarrow.desktop");
}

QString applicationsFolder()
{
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    const QString base = !dataHome.isEmpty() && QDir::isAbsolutePath(dataHome)
                             ? dataHome
                             : QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/applications"));
}

QString filePath()
{
    return applicationsFolder() + QLatin1Char('/') + fileName();
}

QString execValue(const QString &program)
{
    return escapedString(execArgument(program) + QStringLiteral(" %u"));
}

QString entryText(const QString &program)
{
    // The keys that name the program and what it opens take the template's
    // places for them (or close the group when the template has none); every
    // other line stays as the template has it.
    QList<QPair<QString, QString>> written = {
        {QStringLiteral("Exec"), execValue(program)},
        {QStringLiteral("TryExec"), escapedString(program)},
        {QStringLiteral("MimeType"), MimeTypes},
    };
    QStringList lines;
    bool inEntry = false;
    const auto writeRest = [&] {
        for (const auto &key : std::as_const(written))
            lines.append(key.first + QLatin1Char('=') + key.second);
        written.clear();
    };
    for (const QString &line : templateLines()) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('['))) {
            if (inEntry)
                writeRest();
            inEntry = trimmed == QLatin1String("[Desktop Entry]");
            lines.append(line);
            continue;
        }
        const QString key = trimmed.section(QLatin1Char('='), 0, 0).trimmed();
        qsizetype index = -1;
        for (qsizetype i = 0; inEntry && trimmed.contains(QLatin1Char('=')) && i < written.size();
             ++i) {
            if (written[i].first == key)
                index = i;
        }
        if (index >= 0) {
            lines.append(key + QLatin1Char('=') + written[index].second);
            written.removeAt(index);
        } else {
            lines.append(line);
        }
    }
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    if (inEntry)
        writeRest();
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool installed()
{
    return QFileInfo(filePath()).isFile();
}

bool install()
{
    const QString folder = applicationsFolder();
    if (!QDir().mkpath(folder))
        return false;
    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = entryText(QCoreApplication::applicationFilePath()).toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit())
        return false;
    refreshDatabase(folder);
    return true;
}

bool remove()
{
    const QString path = filePath();
    if (!QFileInfo::exists(path))
        return true;
    if (!QFile::remove(path) && QFileInfo::exists(path))
        return false;
    refreshDatabase(applicationsFolder());
    return true;
}

} // namespace DesktopEntry
