#include "platform/SavedPage.h"

#include "platform/PageInventory.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QWebEngineSettings>

namespace {

// The page's text goes into the engine in pieces of this many characters: one
// piece is one message to the page's process, and those have a size limit.
constexpr qsizetype kPieceChars = 1024 * 1024;

// Runs in the collector's world right after document.open(), with the token as
// its argument: says the token on the console once the parser has read the
// whole document and each srcdoc frame in it (at any depth, shadow trees
// included) has loaded its document. A lazy srcdoc frame is made eager, as no
// one scrolls this page. Listeners of this world are the engine's own: the
// page's scripts neither run nor see them.
const char kWatcher[] = R"JS((function (token) {
    'use strict';
    const waiting = new Set();
    let told = false;
    function tell() {
        if (!told && waiting.size === 0 && document.readyState !== 'loading') {
            told = true;
            console.log(token);
        }
    }
    function inner(frame) {
        try {
            return frame.contentDocument;
        } catch (e) {
            return null;
        }
    }
    function watch(root) {
        for (const el of root.querySelectorAll('*')) {
            if (el.shadowRoot)
                watch(el.shadowRoot);
            if (el.localName !== 'iframe' || !el.hasAttribute('srcdoc') || waiting.has(el))
                continue;
            const doc = inner(el);
            if (doc && doc.URL === 'about:srcdoc' && doc.readyState === 'complete') {
                watch(doc);
                continue;
            }
            if (!el.contentWindow)
                continue;  // no frame was made for it
            waiting.add(el);
            const loaded = () => {
                const now = inner(el);
                if (now && now.URL !== 'about:srcdoc')
                    return;  // its first, empty document
                el.removeEventListener('load', loaded);
                waiting.delete(el);
                if (now)
                    watch(now);
                tell();
            };
            el.addEventListener('load', loaded);
            if ((el.getAttribute('loading') || '').trim().toLowerCase() === 'lazy')
                el.setAttribute('loading', 'eager');
        }
    }
    document.addEventListener('readystatechange', () => {
        if (document.readyState === 'interactive')
            watch(document);
        tell();
    });
}))JS";

// Where the pieces of `text` start: each piece ends between two characters,
// not inside a surrogate pair. There is always one piece, if empty.
QList<qsizetype> pieceStarts(const QString &text)
{
    QList<qsizetype> starts;
    qsizetype at = 0;
    do {
        starts.append(at);
        qsizetype length = qMin(kPieceChars, text.size() - at);
        if (at + length < text.size() && text.at(at + length - 1).isHighSurrogate())
            --length;
        at += length;
    } while (at < text.size());
    return starts;
}

QString quoted(const QString &text)
{
    const QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json) + QStringLiteral("[0]");
}

} // namespace

SavedPage::SavedPage(QWebEngineProfile *profile, bool scripting, QObject *parent)
    : QWebEnginePage(profile, parent),
      m_token(QStringLiteral("quarrow-inventory:%1:%2")
                  .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'))
                  .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0')))
{
    QWebEngineSettings *s = settings();
    // The engine's parser reads <noscript> as a browser with scripts on or off
    // does; the page's own scripts stay off either way (see scriptPolicy()).
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, scripting);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::AutoLoadImages, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    // The engine fetches the page's icon by itself, past the interceptor.
    s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    s->setAttribute(QWebEngineSettings::TouchIconsEnabled, false);
}

QString SavedPage::scriptPolicy()
{
    return QStringLiteral("script-src 'none'; object-src 'none'");
}

void SavedPage::open(const QString &text, const QByteArray &encoding, const QUrl &address)
{
    m_text = text;
    m_starts = pieceStarts(m_text);
    // The first document holds the policy only, in the page's character set,
    // which the document keeps when the page's text replaces it.
    const QString first =
        QStringLiteral("<meta http-equiv=\"Content-Security-Policy\" content=\"%1\">")
            .arg(scriptPolicy());
    QByteArray charset = encoding;
    QStringEncoder encoder(encoding.constData());
    if (!encoder.isValid()) {
        charset = "UTF-8";
        encoder = QStringEncoder(QStringEncoder::Utf8);
    }
    const QByteArray firstBytes = encoder(first);
    const QByteArray type = "text/html;charset=" + charset;
    // The address as the engine reads it, first: the engine gives no answer at
    // all for a document at an address it cannot read ("http://").
    connect(
        this, &QWebEnginePage::loadFinished, this,
        [this, address, firstBytes, type](bool ok) {
            if (!ok) {
                emit failed(QStringLiteral("the engine did not start"));
                return;
            }
            const QString check =
                QStringLiteral("(function () { try { return new URL(%1).href; } catch (e) { "
                               "return ''; } })()")
                    .arg(quoted(QString::fromUtf8(address.toEncoded())));
            runJavaScript(check, PageInventory::worldId,
                          [this, firstBytes, type](const QVariant &result) {
                              const QString href = result.toString();
                              if (href.isEmpty()) {
                                  emit refusedAddress();
                                  return;
                              }
                              openAt(firstBytes, type, QUrl(href));
                          });
        },
        Qt::SingleShotConnection);
    m_mayNavigate = true;
    setContent(firstBytes, type);
}

void SavedPage::openAt(const QByteArray &first, const QByteArray &type, const QUrl &address)
{
    connect(
        this, &QWebEnginePage::loadFinished, this,
        [this, address](bool ok) {
            if (ok)
                write(0);
            else
                emit failed(
                    QStringLiteral("the engine refused the address %1").arg(address.toString()));
        },
        Qt::SingleShotConnection);
    m_mayNavigate = true;
    setContent(first, type, address);
}

QString SavedPage::writingScript(qsizetype piece) const
{
    const qsizetype at = m_starts.at(piece);
    const qsizetype end = piece + 1 < m_starts.size() ? m_starts.at(piece + 1) : m_text.size();
    QString script;
    if (piece == 0) {
        // Only over the policy: were it not in force, the page's scripts would run.
        script = QStringLiteral("(function () {"
                                "const m = document.head && document.head.firstElementChild;"
                                "if (!m || m.localName !== 'meta' || "
                                "m.getAttribute('http-equiv') !== 'Content-Security-Policy' || "
                                "m.getAttribute('content') !== %1) return 'no policy';"
                                "document.open();%2(%3);")
                     .arg(quoted(scriptPolicy()), QString::fromLatin1(kWatcher), quoted(m_token));
    } else {
        script = QStringLiteral("(function () {");
    }
    script += QStringLiteral("document.write(%1);").arg(quoted(m_text.mid(at, end - at)));
    if (piece + 1 == m_starts.size())
        script += QStringLiteral("document.close();");
    script += QStringLiteral("return 'written'; })()");
    return script;
}

void SavedPage::write(qsizetype piece)
{
    const QString script = writingScript(piece);
    if (piece + 1 == m_starts.size()) {
        m_text = QString();
        m_starts = {0};
    }
    runJavaScript(script, PageInventory::worldId, [this, piece](const QVariant &result) {
        const QString answer = result.toString();
        if (answer == QLatin1String("no policy"))
            emit failed(QStringLiteral("the engine did not take the rule that keeps the page's "
                                       "scripts off"));
        else if (answer != QLatin1String("written"))
            emit failed(QStringLiteral("the engine did not read it all"));
        else if (piece + 1 < m_starts.size())
            write(piece + 1);
        // Else the parser may still be held by a style sheet: the watcher tells.
    });
}

bool SavedPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame)
{
    // Stays on the documents it was given: a refresh, a frame or a link opens nothing.
    if (!isMainFrame || !m_mayNavigate || url.scheme() != QLatin1String("data"))
        return false;
    m_mayNavigate = false;
    return true;
}

void SavedPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &message, int,
                                         const QString &)
{
    if (m_told || message != m_token)
        return;
    m_told = true;
    emit parsed();
}
