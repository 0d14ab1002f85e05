#include "platform/AddressRules.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("AddressRules", text);
}

bool isWeb(const QUrl &url)
{
    const QString scheme = url.scheme();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

// The scheme a text names, if it starts like an address with one ("name:"),
// lower-cased; empty for paths and plain words.
QString namedScheme(const QString &text)
{
    static const QRegularExpression scheme(QStringLiteral("^\\s*([A-Za-z][A-Za-z0-9+.-]*):"));
    const QRegularExpressionMatch match = scheme.match(text);
    if (!match.hasMatch())
        return {};
    const QString name = match.captured(1).toLower();
    // "localhost:8080" and "example.com:80/x" are a host and a port.
    const QString rest = text.mid(match.capturedEnd());
    static const QRegularExpression port(QStringLiteral("^\\d+(/|$)"));
    if (port.match(rest).hasMatch())
        return {};
    return name;
}

QString schemeRefusal(const QString &scheme, const char *text)
{
    return tr(text).arg(scheme + QLatin1Char(':'));
}

} // namespace

AddressVerdict AddressFromOutside(const QString &text, const QString &folder)
{
    AddressVerdict verdict;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return verdict;

    // A path that names a file, as the desktop hands over what it opens.
    const QString path = QDir::isAbsolutePath(trimmed) || folder.isEmpty()
                             ? trimmed
                             : QDir(folder).absoluteFilePath(trimmed);
    const QString scheme = namedScheme(trimmed);
    if (scheme.isEmpty() && QFileInfo::exists(path)) {
        verdict.url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        return verdict;
    }
    if (scheme == QLatin1String("file")) {
        const QUrl url(trimmed);
        if (url.isValid() && url.isLocalFile() && !url.toLocalFile().isEmpty())
            verdict.url = url;
        else
            verdict.refusal = tr("Quarrow cannot open \"%1\": not a local file").arg(trimmed);
        return verdict;
    }
    if (!scheme.isEmpty() && scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        verdict.refusal = schemeRefusal(
            scheme,
            QT_TRANSLATE_NOOP("AddressRules",
                              "Quarrow does not open %1 addresses given to it from outside"));
        return verdict;
    }
    // An http(s) address, or plain words for the address box.
    const QUrl url = QUrl::fromUserInput(trimmed);
    if (isWeb(url))
        verdict.url = url;
    else
        verdict.refusal = tr("Quarrow cannot open \"%1\": not a web address or file").arg(trimmed);
    return verdict;
}

bool PageMayLeadTo(const QUrl &page, const QUrl &target)
{
    return !target.isLocalFile() || page.isLocalFile();
}

QString LocalFileRefusal(const QUrl &target)
{
    return tr("Not opened: a web page may not lead to the local file %1")
        .arg(target.toString(QUrl::RemoveQuery | QUrl::RemoveFragment));
}

AddressVerdict AddressForPage(const QUrl &target, const QUrl &page)
{
    AddressVerdict verdict;
    if (!target.isValid() || target.isEmpty())
        return verdict;
    const QString scheme = target.scheme().toLower();
    if (isWeb(target)) {
        verdict.url = target;
    } else if (target.isLocalFile()) {
        if (PageMayLeadTo(page, target))
            verdict.url = target;
        else
            verdict.refusal = LocalFileRefusal(target);
    } else if (scheme == QLatin1String("data") &&
               target.path().startsWith(QLatin1String("image/"), Qt::CaseInsensitive) &&
               !target.path().startsWith(QLatin1String("image/svg"), Qt::CaseInsensitive)) {
        // A picture the page carries in its own markup; not a document that
        // could run script.
        verdict.url = target;
    } else {
        verdict.refusal = schemeRefusal(
            scheme.isEmpty() ? target.toString().left(40) : scheme,
            QT_TRANSLATE_NOOP("AddressRules",
                              "Quarrow does not open %1 addresses on a page's behalf"));
    }
    return verdict;
}
