#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

class FindBar;
class QWebEngineProfile;
class QWebEngineView;

// The page source window: the web engine's own source view of a page (the
// page's address behind "view-source:"), shown by a view of the profile that
// showed the page, so that the source can come from that profile's cache.
// Its caption is "Source of " and the address. It opens centred over its
// owner, belongs to it and stays above it (the window system keeps it over
// its owner's window); Esc and Ctrl+W close it, and it is deleted then.
// Ctrl+F, F3 and Shift+F3 find in the source with the find bar. Given a
// product name, it keeps its size for the next opening and the next run.
// Its page belongs to the profile's engine: an owner that deletes the
// profile deletes its source windows first.
class PageSourceWindow : public QWidget {
    Q_OBJECT
public:
    PageSourceWindow(const QUrl &address, QWebEngineProfile *profile, QWidget *owner = nullptr,
                     const QString &productName = QString());
    ~PageSourceWindow() override;

    // The page whose source is shown.
    QUrl address() const { return m_address; }
    QWebEngineView *view() const { return m_view; }
    FindBar *findBar() const { return m_findBar; }

    // The address the engine shows the source of `address` at.
    static QUrl sourceAddress(const QUrl &address);
    // "Source of " and the address as a user reads it.
    static QString captionFor(const QUrl &address);

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void keepSize() const;

    QUrl m_address;
    QString m_product;
    QWebEngineView *m_view = nullptr;
    FindBar *m_findBar = nullptr;
};

// "Page Source": opens a new source window of the page at `address` over
// `owner` and shows it. Nothing opens for an empty or invalid address, nor
// for one whose source the engine does not show; null then.
PageSourceWindow *ShowPageSource(const QUrl &address, QWebEngineProfile *profile, QWidget *owner,
                                 const QString &productName = QString());
