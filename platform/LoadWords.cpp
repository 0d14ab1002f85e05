#include "platform/LoadWords.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("LoadWords", text);
}

struct Words {
    int code;
    const char *text;
};

// The engine's network errors as a user would put them. The numbers are the
// engine's own (Chromium's net_error_list.h).
const Words NetworkErrors[] = {
    {-2, QT_TRANSLATE_NOOP("LoadWords", "The page could not be loaded")},
    {-6, QT_TRANSLATE_NOOP("LoadWords", "No such file")},
    {-7, QT_TRANSLATE_NOOP("LoadWords", "The server took too long to answer")},
    {-10, QT_TRANSLATE_NOOP("LoadWords", "Access to the file was denied")},
    {-20, QT_TRANSLATE_NOOP("LoadWords", "The page was blocked")},
    {-21, QT_TRANSLATE_NOOP("LoadWords", "The network changed while the page was loading")},
    {-22, QT_TRANSLATE_NOOP("LoadWords", "The page was blocked by the administrator")},
    {-27, QT_TRANSLATE_NOOP("LoadWords", "The site does not let itself be shown here")},
    {-100, QT_TRANSLATE_NOOP("LoadWords", "The server closed the connection")},
    {-101, QT_TRANSLATE_NOOP("LoadWords", "The connection was reset")},
    {-102, QT_TRANSLATE_NOOP("LoadWords", "The server refused the connection")},
    {-103, QT_TRANSLATE_NOOP("LoadWords", "The connection was aborted")},
    {-104, QT_TRANSLATE_NOOP("LoadWords", "The connection failed")},
    {-105, QT_TRANSLATE_NOOP("LoadWords", "No such host")},
    {-106, QT_TRANSLATE_NOOP("LoadWords", "This computer is not connected to the network")},
    {-107, QT_TRANSLATE_NOOP("LoadWords", "The secure connection failed")},
    {-108, QT_TRANSLATE_NOOP("LoadWords", "The address is not valid")},
    {-109, QT_TRANSLATE_NOOP("LoadWords", "The address cannot be reached")},
    {-113,
     QT_TRANSLATE_NOOP("LoadWords", "The server's secure connection uses no method in common")},
    {-118, QT_TRANSLATE_NOOP("LoadWords", "The connection timed out")},
    {-130, QT_TRANSLATE_NOOP("LoadWords", "The proxy server refused the connection")},
    {-137, QT_TRANSLATE_NOOP("LoadWords", "The host name could not be looked up")},
    {-300, QT_TRANSLATE_NOOP("LoadWords", "The address is not valid")},
    {-301, QT_TRANSLATE_NOOP("LoadWords", "This kind of address cannot be opened")},
    {-310, QT_TRANSLATE_NOOP("LoadWords", "The page redirects in a loop")},
    {-312, QT_TRANSLATE_NOOP("LoadWords", "Web pages may not use this port")},
    {-320, QT_TRANSLATE_NOOP("LoadWords", "The server's answer could not be read")},
    {-324, QT_TRANSLATE_NOOP("LoadWords", "The server closed the connection without an answer")},
    {-150, QT_TRANSLATE_NOOP("LoadWords", "The certificate is not the one this site must use")},
    {-200, QT_TRANSLATE_NOOP("LoadWords", "The certificate is for another site")},
    {-201, QT_TRANSLATE_NOOP("LoadWords", "The certificate has expired or is not yet valid")},
    {-202, QT_TRANSLATE_NOOP("LoadWords", "The certificate is not trusted")},
    {-203, QT_TRANSLATE_NOOP("LoadWords", "The certificate contains errors")},
    {-204, QT_TRANSLATE_NOOP("LoadWords", "The certificate cannot be checked for revocation")},
    {-205, QT_TRANSLATE_NOOP("LoadWords", "The certificate cannot be checked for revocation")},
    {-206, QT_TRANSLATE_NOOP("LoadWords", "The certificate has been revoked")},
    {-207, QT_TRANSLATE_NOOP("LoadWords", "The certificate is not valid")},
    {-208, QT_TRANSLATE_NOOP("LoadWords", "The certificate is signed with a weak method")},
    {-210, QT_TRANSLATE_NOOP("LoadWords", "The certificate names a host that is not unique")},
    {-211, QT_TRANSLATE_NOOP("LoadWords", "The certificate has a weak key")},
    {-212, QT_TRANSLATE_NOOP("LoadWords", "The certificate names a host it may not name")},
    {-213, QT_TRANSLATE_NOOP("LoadWords", "The certificate is valid for too long")},
    {-214, QT_TRANSLATE_NOOP("LoadWords", "The certificate was not made public as it must be")},
    {-215, QT_TRANSLATE_NOOP("LoadWords", "The certificate's authority is no longer trusted")},
    {-217, QT_TRANSLATE_NOOP("LoadWords", "The certificate belongs to software that intercepts "
                                          "connections")},
    {-218, QT_TRANSLATE_NOOP("LoadWords", "The server uses an outdated secure connection")},
};

const Words HttpStatuses[] = {
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {402, "Payment Required"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {412, "Precondition Failed"},
    {413, "Content Too Large"},
    {414, "URI Too Long"},
    {415, "Unsupported Media Type"},
    {416, "Range Not Satisfiable"},
    {417, "Expectation Failed"},
    {418, "I'm a teapot"},
    {421, "Misdirected Request"},
    {422, "Unprocessable Content"},
    {423, "Locked"},
    {424, "Failed Dependency"},
    {425, "Too Early"},
    {426, "Upgrade Required"},
    {428, "Precondition Required"},
    {429, "Too Many Requests"},
    {431, "Request Header Fields Too Large"},
    {451, "Unavailable For Legal Reasons"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
    {505, "HTTP Version Not Supported"},
    {506, "Variant Also Negotiates"},
    {507, "Insufficient Storage"},
    {508, "Loop Detected"},
    {510, "Not Extended"},
    {511, "Network Authentication Required"},
};

template <size_t N> const char *lookUp(const Words (&table)[N], int code)
{
    for (const Words &words : table) {
        if (words.code == code)
            return words.text;
    }
    return nullptr;
}

// What names a page in a short text: its host, or a file's name.
QString shortName(const QUrl &url)
{
    if (url.isLocalFile())
        return QFileInfo(url.toLocalFile()).fileName();
    if (!url.host().isEmpty())
        return url.host();
    return url.toDisplayString();
}

} // namespace

namespace LoadWords {

QString opening(const QUrl &url)
{
    return tr("Opening %1\u2026").arg(shortName(url));
}

QString done()
{
    return tr("Done");
}

QString doneWithStatus(int httpStatus)
{
    return tr("Done: %1").arg(LoadWords::httpStatus(httpStatus));
}

QString stopped()
{
    return tr("Stopped");
}

QString couldNotOpen(const QUrl &url, const QString &reason)
{
    return tr("Could not open %1: %2").arg(url.toDisplayString(), reason);
}

QString engineName(const QString &engineText)
{
    QString name = engineText.trimmed();
    if (name.startsWith(QLatin1String("net::")))
        name = name.mid(5);
    return name.startsWith(QLatin1String("ERR_")) ? name : QString();
}

QString networkError(int code, const QString &engineText)
{
    if (const char *text = lookUp(NetworkErrors, code))
        return tr(text);
    const QString name = engineName(engineText);
    return name.isEmpty() ? tr("The page could not be loaded (error %1)").arg(code)
                          : tr("The page could not be loaded (%1)").arg(name);
}

bool isCertificateError(int code)
{
    return code == -150 || (code <= -200 && code > -300);
}

QString httpStatus(int code)
{
    if (const char *text = lookUp(HttpStatuses, code))
        return QStringLiteral("%1 %2").arg(code).arg(QLatin1String(text));
    return QStringLiteral("HTTP %1").arg(code);
}

} // namespace LoadWords
