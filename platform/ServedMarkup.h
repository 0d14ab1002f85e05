#pragma once

#include "platform/PageInventory.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <memory>

class FetchNothing;
class QTimer;
class QWebEnginePage;
class QWebEngineProfile;
class SavedPage;

// The markup a page's server sent and its inventory, read as a browser
// without scripts reads it.
//
// The markup is the page's source as the page source window shows it, from
// the engine's cache, and fetched again only when it is not there:
//   - a local file is read again (a regular file, at most maxFileBytes);
//   - given the live page at that address, its own world asks the engine's
//     cache for it (fetch with cache "only-if-cached": never the network),
//     and decodes it in the document's character set;
//   - otherwise, or when the cache has it not, the engine's own source view of
//     the address, in a page of the profile that showed the page, which takes
//     it from that profile's cache or fetches it again.
// Its text is then written into an
// off-screen page of a profile of its own (off the record, nothing shared)
// at the page's address, with scripts off: no script of the page runs and
// nothing it names is fetched (FetchNothing refuses every request but the
// first empty document). The collector takes its inventory there.
//
// Everything is answered by the engine; a time bound ends what does not
// answer (a hostile or huge page), and a new start drops what was under way.
class ServedMarkup : public QObject {
    Q_OBJECT
public:
    explicit ServedMarkup(QWebEngineProfile *profile, QObject *parent = nullptr);
    ~ServedMarkup() override;

    static constexpr int defaultTimeoutMs = 60000;
    void setTimeout(int ms) { m_timeoutMs = ms; }

    // True for the addresses whose source the engine shows: http, https and file.
    static bool readable(const QUrl &address);
    static constexpr qint64 maxFileBytes = 64 * 1024 * 1024;

    // Starts over for `address`; `finished` follows once, unless started again.
    // `live`, when given and at that address, is asked for it first.
    void start(const QUrl &address, QWebEnginePage *live = nullptr);
    void cancel();
    QUrl address() const { return m_address; }
    bool busy() const { return m_busy; }
    // The requests the off-screen page wanted and did not make, in this run.
    int refusedRequests() const;
    // Where the last markup came from: "file", "cache" or "source view".
    QString markupFrom() const { return m_from; }

signals:
    // The markup as it was read, and the character set it was read in.
    void markupRead(const QString &text, const QByteArray &characterSet);
    // The served markup's inventory; not valid, and why, when it could not be taken.
    void finished(const Inventory &served);

private:
    void readFile(quint64 generation);
    void askLivePage(quint64 generation);
    void pollLivePage(quint64 generation, int polls);
    void openSourceView(quint64 generation);
    void sourceLoaded(bool ok, quint64 generation);
    void readText(const QString &text, const QByteArray &characterSet, quint64 generation);
    void finish(const Inventory &served);
    void fail(const QString &why);
    void dropPages();

    QPointer<QWebEngineProfile> m_profile;
    std::unique_ptr<FetchNothing> m_interceptor;
    QWebEngineProfile *m_private = nullptr;
    QWebEnginePage *m_source = nullptr;
    SavedPage *m_saved = nullptr;
    QTimer *m_timeout = nullptr;
    QUrl m_address;
    QPointer<QWebEnginePage> m_live;
    QString m_from;
    quint64 m_generation = 0;
    bool m_busy = false;
    int m_timeoutMs = defaultTimeoutMs;
};
