#pragma once

#include "platform/PageOutline.h"
#include "shell/ViewSwitcher.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QTimer>
#include <QUrl>

class GeneratedViews;
struct Inventory;
class PageInfoWindow;
class QMenu;
class WebBrowser;

// Where a picture of the live page is, three ways round: from a row of Page
// Info to its element in the Browser view (scrolled into the middle and
// outlined for a moment) or to its element's line in the Source Code view
// (marked and scrolled into the middle), and from a picture in the Browser
// view (its context menu's Show in Page Info) to its row of Page Info.
//
// The page is searched by a script in the program's own world, which changes
// nothing in its document; the outline is a widget over the view, not part of
// the page, so that the page's scripts can neither see nor remove it.
class PictureLinks : public QObject {
    Q_OBJECT
public:
    // How long the outline shows.
    static constexpr int outlineMilliseconds = 2000;
    // How often the outline follows its element while it shows.
    static constexpr int followMilliseconds = 100;

    PictureLinks(WebBrowser *live, WebBrowser *source, GeneratedViews *generated,
                 QObject *parent = nullptr);
    ~PictureLinks() override;

    void setOutlineDuration(int milliseconds) { m_outlineEnd.setInterval(milliseconds); }
    int outlineDuration() const { return m_outlineEnd.interval(); }
    // The ring over the Browser view; hidden when it outlines nothing.
    PageOutline *outline() const { return m_outline; }

    // From Page Info, which shows `inventory`: the element of the picture of
    // `addresses` (a row's) in the Browser view, or its line in the Source
    // Code view.
    void showInPage(const QStringList &addresses, const Inventory &inventory);
    void showInSource(const QStringList &addresses, const Inventory &inventory);
    // Selects the row of the first of the addresses that the window lists and
    // brings it into sight; the status bar says when none is listed or shown.
    void selectInPageInfo(PageInfoWindow *window, const QStringList &addresses);

    // The Browser view's context menu: the engine's own, and Show in Page Info
    // on a picture.
    void contextMenu(const QPoint &at);

signals:
    // A view is to show, with the keys.
    void viewWanted(View which);
    // Page Info is to open (or come to the front) with these pictures' row selected.
    void pageInfoWanted(const QStringList &addresses);
    // What the status bar says of a request.
    void said(const QString &text);
    // The outline shows around `box` (the Browser view's coordinates), and has gone.
    void outlined(const QRect &box);
    void outlineEnded();
    // A line of the Source Code view is marked.
    void lineMarked(int line);
    // The Browser view's context menu shows, with Show in Page Info when the
    // page has told that the point shows a picture.
    void contextMenuShown(QMenu *menu);

private:
    void say(const QString &text);
    bool showsPage(const QUrl &page);
    // Whether the inventory found one of the addresses used by a style.
    static bool styled(const QStringList &addresses, const Inventory &inventory);
    void outlineAt(const QRectF &cssBox);
    void follow();
    void endOutline();
    // Marks `line` in the Source Code view once it shows harvest `generation`.
    void markLine(quint64 generation, int line, const QString &what);
    void stopWaitingForSource();

    QPointer<WebBrowser> m_live;
    QPointer<WebBrowser> m_source;
    GeneratedViews *m_generated;
    QPointer<PageOutline> m_outline;
    QTimer m_outlineEnd;
    QTimer m_follow;
    QMetaObject::Connection m_scrolled;
    QMetaObject::Connection m_sourceLoaded;
};
