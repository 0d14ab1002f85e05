#include "platform/ServedMarkup.h"

#include "platform/FetchNothing.h"
#include "platform/SavedPage.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

namespace {

// Reads the engine's source view: one table row a line of the source, its
// text in the row's content cell. Answers the document's character set (the
// one the source was read in) and the text; an empty list when the document
// is no source view.
const char kReadSource[] = R"JS((function () {
    'use strict';
    const cells = document.querySelectorAll('td.line-content');
    if (cells.length === 0)
        return [];
    const lines = new Array(cells.length);
    for (let i = 0; i < cells.length; ++i)
        lines[i] = cells[i].textContent;
    return [document.characterSet || 'UTF-8', lines.join('\n')];
})())JS";

// In the live page's collector world: asks the engine's cache (never the
// network) for the document's own address, and keeps the answer, decoded in
// the document's character set, in this world's own global object, where the
// page cannot reach it.
const char kAskCache[] = R"JS((function () {
    'use strict';
    const slot = {done: false};
    window.__quarrowServed = slot;
    const charset = document.characterSet || 'UTF-8';
    const address = document.URL.replace(/#.*$/, '');
    fetch(address, {cache: 'only-if-cached', mode: 'same-origin', credentials: 'same-origin'})
        .then(function (answer) {
            if (answer.type !== 'basic')
                throw new Error('not the page\'s own answer');
            return answer.arrayBuffer();
        })
        .then(function (bytes) {
            slot.text = new TextDecoder(charset).decode(bytes);
            slot.charset = charset;
            slot.done = true;
        })
        .catch(function (e) {
            slot.failed = String(e);
            slot.done = true;
        });
    return true;
})())JS";

const char kTakeCache[] = R"JS((function () {
    'use strict';
    const slot = window.__quarrowServed;
    if (!slot)
        return ['gone'];
    if (!slot.done)
        return [];
    delete window.__quarrowServed;
    return slot.failed === undefined ? ['text', slot.charset, slot.text] : ['failed', slot.failed];
})())JS";

void quiet(QWebEnginePage *page)
{
    QWebEngineSettings *s = page->settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::AutoLoadImages, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    s->setAttribute(QWebEngineSettings::TouchIconsEnabled, false);
}

} // namespace

ServedMarkup::ServedMarkup(QWebEngineProfile *profile, QObject *parent)
    : QObject(parent), m_profile(profile), m_timeout(new QTimer(this))
{
    m_timeout->setSingleShot(true);
    connect(m_timeout, &QTimer::timeout, this, [this] {
        fail(QStringLiteral("no answer from the web engine within %1 s").arg(m_timeoutMs / 1000));
    });
}

ServedMarkup::~ServedMarkup()
{
    // The pages (those going later too) go before their profile, the profile
    // before its interceptor. What they answer as they go is not heard.
    ++m_generation;
    m_busy = false;
    dropPages();
    qDeleteAll(findChildren<QWebEnginePage *>(Qt::FindDirectChildrenOnly));
    delete m_private;
    m_private = nullptr;
}

bool ServedMarkup::readable(const QUrl &address)
{
    const QString scheme = address.scheme().toLower();
    return address.isValid() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
            scheme == QLatin1String("file"));
}

int ServedMarkup::refusedRequests() const
{
    return m_interceptor ? m_interceptor->refused() : 0;
}

void ServedMarkup::dropPages()
{
    delete m_source;
    m_source = nullptr;
    delete m_saved;
    m_saved = nullptr;
}

void ServedMarkup::cancel()
{
    ++m_generation;
    m_timeout->stop();
    m_busy = false;
    dropPages();
}

void ServedMarkup::start(const QUrl &address, QWebEnginePage *live)
{
    cancel();
    m_address = address;
    m_live = live;
    m_from.clear();
    if (!m_profile || !readable(address)) {
        m_busy = true;
        fail(m_profile ? QStringLiteral("the engine shows no source of this address")
                       : QStringLiteral("no profile"));
        return;
    }
    m_busy = true;
    const quint64 generation = m_generation;
    m_timeout->start(m_timeoutMs);
    if (address.isLocalFile())
        readFile(generation);
    else if (live &&
             live->url().adjusted(QUrl::RemoveFragment) == address.adjusted(QUrl::RemoveFragment))
        askLivePage(generation);
    else
        openSourceView(generation);
}

void ServedMarkup::readFile(quint64 generation)
{
    // On a thread of its own: a large file, or a slow disk, holds up no window.
    const QString path = m_address.toLocalFile();
    auto text = std::make_shared<QString>();
    auto charset = std::make_shared<QByteArray>();
    auto problem = std::make_shared<QString>();
    QThread *reader = QThread::create([path, text, charset, problem] {
        const QFileInfo info(path);
        QFile file(path);
        if (!info.isFile() || info.size() > maxFileBytes || !file.open(QIODevice::ReadOnly)) {
            *problem = info.isFile() && info.size() > maxFileBytes
                           ? QStringLiteral("the page's file is larger than %1")
                                 .arg(PageInventory::byteText(maxFileBytes))
                           : QStringLiteral("the page's file cannot be read");
            return;
        }
        const QByteArray bytes = file.read(maxFileBytes);
        // Decoded as the engine decodes a page: by its byte order mark or
        // its markup, else as UTF-8.
        QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
        if (!decoder.isValid())
            decoder = QStringDecoder(QStringDecoder::Utf8);
        *charset = decoder.name();
        *text = decoder(bytes);
    });
    QPointer<ServedMarkup> guard(this);
    connect(reader, &QThread::finished, this, [guard, reader, text, charset, problem, generation] {
        reader->deleteLater();
        if (!guard || generation != guard->m_generation)
            return;
        if (!problem->isEmpty()) {
            guard->fail(*problem);
            return;
        }
        guard->m_from = QStringLiteral("file");
        guard->readText(*text, *charset, generation);
    });
    reader->start();
}

void ServedMarkup::askLivePage(quint64 generation)
{
    QPointer<ServedMarkup> guard(this);
    m_live->runJavaScript(QString::fromLatin1(kAskCache), PageInventory::worldId,
                          [guard, generation](const QVariant &asked) {
                              if (!guard || generation != guard->m_generation)
                                  return;
                              if (!asked.toBool())
                                  guard->openSourceView(generation);
                              else
                                  guard->pollLivePage(generation, 0);
                          });
}

void ServedMarkup::pollLivePage(quint64 generation, int polls)
{
    if (!m_live) {
        openSourceView(generation);
        return;
    }
    QPointer<ServedMarkup> guard(this);
    m_live->runJavaScript(
        QString::fromLatin1(kTakeCache), PageInventory::worldId,
        [guard, generation, polls](const QVariant &result) {
            if (!guard || generation != guard->m_generation)
                return;
            const QVariantList answer = result.toList();
            if (answer.isEmpty()) {
                // Not yet: asked again soon, the sooner the first times.
                QTimer::singleShot(polls < 10 ? 5 : 25, guard, [guard, generation, polls] {
                    if (guard && generation == guard->m_generation)
                        guard->pollLivePage(generation, polls + 1);
                });
                return;
            }
            if (answer.size() == 3 && answer.at(0).toString() == QLatin1String("text")) {
                guard->m_from = QStringLiteral("cache");
                guard->readText(answer.at(2).toString(), answer.at(1).toString().toLatin1(),
                                generation);
                return;
            }
            // Not in the cache (or the page went on): the source view fetches it.
            guard->openSourceView(generation);
        });
}

void ServedMarkup::openSourceView(quint64 generation)
{
    if (generation != m_generation)
        return;
    m_source = new QWebEnginePage(m_profile, this);
    quiet(m_source);
    connect(m_source, &QWebEnginePage::loadFinished, this,
            [this, generation](bool ok) { sourceLoaded(ok, generation); });
    m_source->load(QUrl(QStringLiteral("view-source:") + m_address.toString(QUrl::FullyEncoded)));
}

void ServedMarkup::sourceLoaded(bool ok, quint64 generation)
{
    if (generation != m_generation || !m_source)
        return;
    if (!ok) {
        fail(QStringLiteral("the engine could not read the page's source"));
        return;
    }
    QPointer<ServedMarkup> guard(this);
    m_source->runJavaScript(QString::fromLatin1(kReadSource), PageInventory::worldId,
                            [guard, generation](const QVariant &result) {
                                if (!guard || generation != guard->m_generation)
                                    return;
                                const QVariantList answer = result.toList();
                                if (answer.size() != 2) {
                                    guard->fail(QStringLiteral("the engine showed no source"));
                                    return;
                                }
                                guard->m_from = QStringLiteral("source view");
                                guard->readText(answer.at(1).toString(),
                                                answer.at(0).toString().toLatin1(), generation);
                            });
}

void ServedMarkup::readText(const QString &text, const QByteArray &characterSet, quint64 generation)
{
    // The source view has done its part.
    if (m_source) {
        m_source->deleteLater();
        m_source = nullptr;
    }
    emit markupRead(text, characterSet);
    if (generation != m_generation)
        return;
    if (!m_private) {
        m_interceptor = std::make_unique<FetchNothing>();
        m_private = new QWebEngineProfile(); // off the record
        m_private->setUrlRequestInterceptor(m_interceptor.get());
        m_private->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    }
    m_saved = new SavedPage(m_private, false, this);
    connect(m_saved, &SavedPage::parsed, this, [this, generation] {
        if (generation != m_generation || !m_saved)
            return;
        PageInventory::collectMarkup(m_saved, [this, generation](const Inventory &served) {
            if (generation == m_generation)
                finish(served);
        });
    });
    connect(m_saved, &SavedPage::failed, this, [this, generation](const QString &why) {
        if (generation == m_generation)
            fail(why);
    });
    connect(m_saved, &SavedPage::refusedAddress, this, [this, generation] {
        if (generation == m_generation)
            fail(QStringLiteral("the engine cannot read the address"));
    });
    connect(m_saved, &QWebEnginePage::renderProcessTerminated, this, [this, generation] {
        if (generation == m_generation)
            fail(QStringLiteral("the engine's page process ended"));
    });
    m_saved->open(text, characterSet, m_address);
}

void ServedMarkup::fail(const QString &why)
{
    Inventory none;
    none.pageAddress = m_address.toString();
    none.error = why;
    finish(none);
}

void ServedMarkup::finish(const Inventory &served)
{
    if (!m_busy)
        return;
    m_busy = false;
    ++m_generation;
    m_timeout->stop();
    // Not from inside the page's own callbacks.
    if (m_saved) {
        m_saved->deleteLater();
        m_saved = nullptr;
    }
    if (m_source) {
        m_source->deleteLater();
        m_source = nullptr;
    }
    emit finished(served);
}
