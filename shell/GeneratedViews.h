#pragma once

#include "harvest/Harvest.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <array>
#include <map>

class QuarrowScheme;
class QWebEngineProfile;
class WebBrowser;

// The pages that a harvest makes for the Source Code and Images views, as the
// views show them.
struct ViewPages {
    // The page that was harvested.
    QUrl page;
    QByteArray source;
    QByteArray images;
    // The body's markup that the harvest read, as the page held it then.
    QString markup;
};

// The Source Code and Images views, fed from memory: each harvest's pages are
// served as quarrow://source/N and quarrow://images/N, N the harvest's number, and
// the views open them. A page of an earlier harvest is served while a view
// still shows it; after that its address says that it is out of date.
class GeneratedViews : public QObject {
    Q_OBJECT
public:
    GeneratedViews(QWebEngineProfile *profile, WebBrowser *source, WebBrowser *images,
                   QObject *parent = nullptr);
    ~GeneratedViews() override;

    // What the harvest of `page` writes into the heads of the views' pages.
    static HarvestViews headsFor(const QUrl &page);
    // The views' pages of a harvest made with them (taken out of it); made off
    // the window's thread.
    static ViewPages pagesFor(HarvestResult &result, const QUrl &page);

    // Whether the Source Code view wraps long lines (it does at first).
    void setWrapLongLines(bool wrap);
    bool wrapsLongLines() const { return m_wrap; }

    // Shows a harvest's pages in the two views.
    void show(ViewPages pages);
    // Says in both views that a new page is coming.
    void markOutOfDate();
    // Says in both views that the new page could not be opened (`text`): they
    // keep the current harvest, with this line on top, until the next one.
    void showFailure(const QString &text);
    // The line the views show, empty when the last page opened.
    QString failure() const { return m_failure; }

    // True for an address of a page of ours.
    static bool isGenerated(const QUrl &url);
    // The page whose harvest a page of ours shows (empty when none is known).
    QUrl harvestedPageOf(const QUrl &url) const;
    // The page whose harvest the views show now.
    QUrl harvestedPage() const;
    // The number of the views' current harvest (0 before the first).
    quint64 generation() const { return m_generation; }
    // The body's markup that a kept harvest read (empty when it is not kept).
    QString markupOf(quint64 generation) const;
    // The address of a harvest's page for the Source Code view.
    static QUrl sourceAddress(quint64 generation);

    // What serves the pages.
    QuarrowScheme *scheme() const { return m_scheme; }

    // The page at a path of ours: a kind and a harvest's number.
    QByteArray pageAt(const QString &path) const;

    // The view that shows (any other: neither of the two).
    void setShownView(WebBrowser *view);

    // A page of ours that the live view shows stays served while it does.
    void setLiveView(WebBrowser *live);

    // The page served for a harvest that is no longer kept.
    static QByteArray outOfDatePage(bool source);

signals:
    // A harvest's pages are handed to the views, which now load them.
    void pagesOpened(quint64 generation);

private:
    struct Kept {
        ViewPages pages;
    };
    // The harvest that a path of ours names ("source/3"), or 0; *kind, when
    // given, receives the kind of page.
    static quint64 numberAt(const QString &path, QString *kind = nullptr);
    // The harvest that an address of ours names, or 0.
    static quint64 generationOf(const QUrl &url);
    // Lets go of harvests that no view shows.
    void forget();
    // The address of the current harvest's page for one of the two views.
    QUrl currentAddress(const WebBrowser *view) const;
    void openCurrent(WebBrowser *view);
    // Sends a view to a page of ours.
    void openOurs(WebBrowser *view, const QUrl &address);
    void loadStarted(WebBrowser *view, const QUrl &address);
    void loadEnded(WebBrowser *view, const QUrl &address);
    // Opens the current harvest's page in the view that waits for it.
    void catchUp();

    QuarrowScheme *m_scheme;
    WebBrowser *m_source;
    WebBrowser *m_images;
    WebBrowser *m_live = nullptr;
    WebBrowser *m_shown = nullptr;
    // The view still to open the current harvest's page, after the one that shows.
    WebBrowser *m_behind = nullptr;
    std::map<quint64, Kept> m_kept;
    quint64 m_generation = 0;
    QString m_failure;
    bool m_wrap = true;
    // The harvest each view was last sent to (0: it went elsewhere since),
    // how often it was asked again, and the pages it was sent to whose loads
    // have not started yet (a load of ours may start after the next is asked).
    struct Asked {
        quint64 generation = 0;
        int retries = 0;
        QList<QUrl> unstarted;
    };
    std::array<Asked, 2> m_asked{};
    Asked &askedOf(const WebBrowser *view);
};
