#include "platform/OwnPages.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QVariantList>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("OwnPages", text);
}

// A reserved name (RFC 2606) that no server can ever answer for.
const QString ButtonHost = QStringLiteral("quarrow.invalid");

const struct {
    OwnPages::Button button;
    const char *path;
} ButtonPaths[] = {
    {OwnPages::Button::TryAgain, "/try-again"},
    {OwnPages::Button::GoBack, "/go-back"},
    {OwnPages::Button::Continue, "/continue"},
};

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString literal(const QString &text)
{
    const QByteArray json =
        QJsonDocument::fromVariant(QVariantList{text}).toJson(QJsonDocument::Compact);
    // A JSON string is a JavaScript string literal; "</" is split so that the
    // text can never close a script element it is written into.
    return QString::fromUtf8(json.sliced(1, json.size() - 2))
        .replace(QStringLiteral("</"), QStringLiteral("<\\/"));
}

const char *const Style =
    "html{background:#f4f4f2}"
    "body{font:14px/1.5 \"DejaVu Sans\",Verdana,sans-serif;color:#222;margin:0;padding:48px 24px}"
    "main{max-width:620px;margin:0 auto}"
    ".sign{width:44px;height:44px;border-radius:50%;background:#77767b;color:#fff;"
    "font:bold 30px/44px \"DejaVu Sans\",sans-serif;text-align:center;margin-bottom:16px}"
    ".warning .sign{background:#c01c28}"
    "h1{font-size:22px;font-weight:bold;margin:0 0 14px}"
    ".warning h1{color:#a51d2d}"
    ".address{font-family:\"DejaVu Sans Mono\",monospace;font-size:13px;word-break:break-all;"
    "background:#fff;border:1px solid #d6d6d2;border-radius:4px;padding:6px 10px;margin:0 0 14px}"
    ".reason{font-size:16px;font-weight:bold;margin:0 0 8px}"
    ".advice{color:#444;margin:0 0 8px}"
    ".code{color:#77767b;font-size:12px;margin:0 0 22px}"
    "a.button{display:inline-block;background:#1a5fb4;color:#fff;text-decoration:none;"
    "padding:8px 20px;border-radius:4px;font-weight:bold;margin-top:8px}"
    "a.button:hover{background:#1c71d8}"
    "a.button:focus{outline:2px solid #f5c211;outline-offset:2px}"
    "details{margin-top:28px;border-top:1px solid #d6d6d2;padding-top:12px}"
    "summary{cursor:pointer;color:#1a5fb4;font-weight:bold}"
    "table{border-collapse:collapse;margin:12px 0;font-size:13px}"
    "th{text-align:left;font-weight:normal;color:#5e5c64;padding:3px 16px 3px 0;"
    "vertical-align:top;white-space:nowrap}"
    "td{padding:3px 0;word-break:break-all}"
    "a.unsafe{color:#a51d2d;font-weight:bold}";

QString pageStart(const QString &title, const QString &token, bool warning)
{
    return QStringLiteral("<!DOCTYPE html><html data-quarrow-page=\"%1\"><head>"
                          "<meta charset=\"utf-8\">"
                          "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src "
                          "'none'; style-src 'unsafe-inline'\">"
                          "<meta name=\"referrer\" content=\"no-referrer\">"
                          "<title>%2</title><style>%3</style></head><body><main class=\"%4\">")
        .arg(escaped(token), escaped(title), QLatin1String(Style),
             warning ? QStringLiteral("warning") : QStringLiteral("error"));
}

const QString PageEnd = QStringLiteral("</main></body></html>");

// A word of advice for a kind of failure.
QString adviceFor(int code)
{
    switch (code) {
    case -105:
    case -137:
        return tr("Check the spelling of the address. If it is right, the site may no longer "
                  "exist, or this computer cannot look up names right now.");
    case -102:
    case -104:
    case -109:
        return tr("The site may be down, or something between here and there blocks it. Check "
                  "the address, then try again.");
    case -7:
    case -118:
        return tr("The server may be busy or far away. Try again in a moment.");
    case -100:
    case -101:
    case -103:
    case -324:
        return tr("The connection broke off. Trying again often helps.");
    case -106:
    case -21:
        return tr("Check this computer's network connection, then try again.");
    default:
        return tr("Check the address and the network connection, then try again.");
    }
}

QString row(const QString &name, const QString &value)
{
    return QStringLiteral("<tr><th>%1</th><td>%2</td></tr>").arg(escaped(name), escaped(value));
}

QString distinguishedName(const QSslCertificate &certificate, bool issuer)
{
    const QList<QByteArray> attributes =
        issuer ? certificate.issuerInfoAttributes() : certificate.subjectInfoAttributes();
    QStringList parts;
    for (const QByteArray &attribute : attributes) {
        const QStringList values =
            issuer ? certificate.issuerInfo(attribute) : certificate.subjectInfo(attribute);
        for (const QString &value : values)
            parts << QString::fromLatin1(attribute) + QLatin1Char('=') + value;
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace

namespace OwnPages {

QUrl buttonUrl(Button button, const QString &token)
{
    for (const auto &path : ButtonPaths) {
        if (path.button == button) {
            QUrl url;
            url.setScheme(QStringLiteral("http"));
            url.setHost(ButtonHost);
            url.setPath(QLatin1String(path.path));
            url.setQuery(token);
            return url;
        }
    }
    return {};
}

bool isButtonAddress(const QUrl &url)
{
    return url.host().compare(ButtonHost, Qt::CaseInsensitive) == 0;
}

Button buttonOf(const QUrl &url, QString *token)
{
    if (!isButtonAddress(url) || url.scheme() != QLatin1String("http"))
        return Button::None;
    for (const auto &path : ButtonPaths) {
        if (url.path() == QLatin1String(path.path)) {
            if (token)
                *token = url.query();
            return path.button;
        }
    }
    return Button::None;
}

QString newToken()
{
    QByteArray bytes(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                          bytes.size() / int(sizeof(quint32)));
    return QString::fromLatin1(bytes.toHex());
}

QString subjectText(const QSslCertificate &certificate)
{
    return distinguishedName(certificate, false);
}

QString issuerText(const QSslCertificate &certificate)
{
    return distinguishedName(certificate, true);
}

QString dateText(const QDateTime &when)
{
    return when.isValid() ? when.toUTC().toString(QStringLiteral("d MMM yyyy, HH:mm 'UTC'"))
                          : tr("unknown");
}

QString errorPage(const QUrl &address, int code, const QString &reason, const QString &engineName,
                  const QString &token)
{
    const QString host = address.host().isEmpty() ? address.toDisplayString() : address.host();
    QString page = pageStart(tr("Could not open %1").arg(host), token, false);
    page += QStringLiteral("<div class=\"sign\">!</div><h1>%1</h1>")
                .arg(escaped(tr("Could not open this page")));
    page += QStringLiteral("<p class=\"address\">%1</p>").arg(escaped(address.toDisplayString()));
    page += QStringLiteral("<p class=\"reason\">%1.</p>").arg(escaped(reason));
    page += QStringLiteral("<p class=\"advice\">%1</p>").arg(escaped(adviceFor(code)));
    if (!engineName.isEmpty())
        page += QStringLiteral("<p class=\"code\">%1</p>").arg(escaped(engineName));
    page += QStringLiteral("<a id=\"try-again\" class=\"button\" href=\"%1\" autofocus>%2</a>")
                .arg(escaped(buttonUrl(Button::TryAgain, token).toString(QUrl::FullyEncoded)),
                     escaped(tr("Try Again")));
    return page + PageEnd;
}

QString certificatePage(const QUrl &address, const QString &reason,
                        const CertificateProblem &problem, const QString &token)
{
    const QString host = address.host();
    QString page = pageStart(tr("Certificate warning: %1").arg(host), token, true);
    page += QStringLiteral("<div class=\"sign\">!</div><h1>%1</h1>")
                .arg(escaped(tr("This site's certificate cannot be trusted")));
    page += QStringLiteral("<p class=\"address\">%1</p>").arg(escaped(address.toDisplayString()));
    page += QStringLiteral("<p class=\"reason\">%1.</p>").arg(escaped(reason));
    page += QStringLiteral("<p class=\"advice\">%1</p>")
                .arg(escaped(tr("%1 could not prove that it is the site it claims to be. Someone "
                                "may be trying to read or change what you send and receive. "
                                "Unless you know why this happens, go back.")
                                 .arg(host)));
    page += QStringLiteral("<a id=\"go-back\" class=\"button\" href=\"%1\" autofocus>%2</a>")
                .arg(escaped(buttonUrl(Button::GoBack, token).toString(QUrl::FullyEncoded)),
                     escaped(tr("Go Back")));
    page += QStringLiteral("<details><summary>%1</summary>").arg(escaped(tr("Details")));
    if (!problem.chain.isEmpty()) {
        const QSslCertificate &site = problem.chain.first();
        page += QStringLiteral("<table>");
        page += row(tr("Subject"), subjectText(site));
        page += row(tr("Issuer"), issuerText(site));
        page += row(tr("Valid from"), dateText(site.effectiveDate()));
        page += row(tr("Valid until"), dateText(site.expiryDate()));
        page += row(tr("SHA-256"),
                    QString::fromLatin1(site.digest(QCryptographicHash::Sha256).toHex(':')));
        if (problem.chain.size() > 1)
            page +=
                row(tr("Chain"), QCoreApplication::translate("OwnPages", "%n certificates", nullptr,
                                                             int(problem.chain.size())));
        page += QStringLiteral("</table>");
    }
    if (!problem.description.isEmpty())
        page += QStringLiteral("<p class=\"code\">%1</p>").arg(escaped(problem.description));
    if (problem.overridable) {
        page += QStringLiteral("<p><a id=\"continue\" class=\"unsafe\" href=\"%1\">%2</a></p>")
                    .arg(escaped(buttonUrl(Button::Continue, token).toString(QUrl::FullyEncoded)),
                         escaped(tr("Continue to %1 (unsafe)").arg(host)));
        page +=
            QStringLiteral("<p class=\"advice\">%1</p>")
                .arg(escaped(
                    tr("Until Quarrow ends, it then opens %1 without this warning.").arg(host)));
    } else {
        page += QStringLiteral("<p class=\"advice\">%1</p>")
                    .arg(escaped(tr("This problem cannot be passed: the site must fix it.")));
    }
    page += QStringLiteral("</details>");
    return page + PageEnd;
}

QString hideEngineErrorPage()
{
    return QStringLiteral(
        "(function(){if(location.protocol!=='chrome-error:')return;"
        "var s=document.createElement('style');s.textContent='html{visibility:hidden!important}';"
        "(document.documentElement||document).appendChild(s);})()");
}

QString writeOverErrorPage(const QString &html, const QString &token)
{
    return QStringLiteral(
               "(function(html,token){if(location.protocol!=='chrome-error:')return false;"
               "document.open();document.write(html);document.close();"
               "var first=document.querySelector('[autofocus]');if(first)first.focus();"
               "var root=document.documentElement;"
               "return !!root&&root.getAttribute('data-quarrow-page')===token;})(%1,%2)")
        .arg(literal(html), literal(token));
}

QString tokenOfShownPage()
{
    return QStringLiteral("(function(){var root=document.documentElement;"
                          "return location.protocol==='chrome-error:'&&root?"
                          "root.getAttribute('data-quarrow-page'):null;})()");
}

} // namespace OwnPages
