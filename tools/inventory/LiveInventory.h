#pragma once

#include "platform/PageInventory.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSize>
#include <QUrl>

#include <memory>

class LazyLoader;
class MediaModel;
class PictureFetcher;
class QTimer;
class QWebEngineLoadingInfo;
class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;
class ServedMarkup;

// The pictures of a page on the network, as Page Info tells them: the page is
// loaded in the engine with its scripts (in a window nobody sees, of
// windowSize), and once it has loaded (and, when asked, its lazy pictures
// have been scrolled into sight) its live inventory goes into a MediaModel,
// the markup its server sent tells where each picture came from, and, for the
// audit, each picture's bytes are fetched through the profile to estimate
// what smaller files would save.
//
// Every wait is bounded: the load by loadTimeoutMs, the scrolling by
// LazyLoader's own bounds, the served markup by ServedMarkup's, and the
// pictures' bytes and estimates by loadTimeoutMs again. `finished` comes
// once; what could not be had in time is told by `note` first.
class LiveInventory : public QObject {
    Q_OBJECT
public:
    struct Options {
        bool scripts = true;
        bool scroll = false;
        bool audit = false;
        bool statuses = false; // why the failed pictures failed (fetched again)
        int loadTimeoutMs = 60000;
    };
    static constexpr QSize windowSize{1280, 800};

    LiveInventory(QWebEngineProfile *profile, MediaModel *media, const Options &options,
                  QObject *parent = nullptr);
    ~LiveInventory() override;

    void start(const QUrl &address);

signals:
    // The page could not be loaded or listed, and why: "404 Not Found".
    void failed(const QString &why);
    // What could not be done, in one line ("no estimate for ADDRESS: ...").
    void note(const QString &line);
    // The model holds the page's pictures with their sources, states and findings.
    void finished();

private:
    void loadingChanged(const QWebEngineLoadingInfo &info);
    void loaded();
    void collect();
    void collected(const Inventory &inventory);
    void fetchPictures();
    void pictureDone(const QString &address);
    void checkDone();
    void end();
    void fail(const QString &why);

    QPointer<QWebEngineProfile> m_profile;
    MediaModel *m_media = nullptr;
    Options m_options;
    std::unique_ptr<QWebEngineView> m_view;
    QWebEnginePage *m_page = nullptr;
    ServedMarkup *m_served = nullptr;
    PictureFetcher *m_fetcher = nullptr;
    LazyLoader *m_lazy = nullptr;
    QTimer *m_deadline = nullptr;
    QUrl m_address;
    QSet<QString> m_fetching;            // pictures whose bytes are asked for and not in yet
    QHash<QString, QString> m_estimated; // address -> why its estimate was not made, or empty
    bool m_loaded = false;
    bool m_listed = false;
    bool m_servedIn = false;
    bool m_fetched = false;
    bool m_over = false;
};
