#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QWebEnginePage>

#include <functional>

class PermissionBar;
class ViewSwitcher;
class WebBrowser;

// What pages ask to use (the location, notifications, the camera and
// microphone, the screen, the mouse pointer): the permission bar over the
// page asks the user, one question at a time, the others waiting in turn.
// The user's answer (Allow, or Deny by its button, the close button or Esc)
// holds for that site and feature for the rest of the run, so the same
// question never comes twice. A question from a page that is not shown (or
// no longer: the user switched views, or the page went elsewhere) is denied
// at once, and that refusal is not remembered.
class Permissions : public QObject {
    Q_OBJECT
public:
    Permissions(ViewSwitcher *switcher, PermissionBar *bar, QObject *parent = nullptr);

    // "HOST wants to use your location", and so on for each feature.
    static QString question(const QUrl &origin, QWebEnginePage::Feature feature);
    // How many questions a page may have waiting; later ones are denied.
    static constexpr int mostWaiting = 16;

    // Questions not answered yet, the one the bar shows first.
    int waiting() const { return int(m_queue.size()); }

private:
    struct Request {
        QPointer<QWebEnginePage> page;
        QUrl origin;
        QWebEnginePage::Feature feature;
    };

    void watch(WebBrowser *view, QWebEnginePage *page);
    void requested(QWebEnginePage *page, const QUrl &origin, QWebEnginePage::Feature feature);
    void canceled(QWebEnginePage *page, const QUrl &origin, QWebEnginePage::Feature feature);
    // The user's answer to the question the bar shows.
    void answered(bool allow);
    // Denies, unremembered, what pages that are not shown asked.
    void denyUnseen();
    // Denies, unremembered, what `page` asked.
    void denyFrom(const QWebEnginePage *page);
    // Answers, and takes out of the queue, the questions `which` picks.
    void settle(const std::function<bool(const Request &)> &which, bool allow);
    // The bar shows the first question, or goes.
    void showFirst();
    bool shown(const QWebEnginePage *page) const;
    static QString key(const QUrl &origin, QWebEnginePage::Feature feature);
    static void tell(const Request &request, bool allow);

    ViewSwitcher *m_switcher;
    PermissionBar *m_bar;
    QList<Request> m_queue;
    // The user's answers of this run, by site and feature: true for Allow.
    QHash<QString, bool> m_answers;
};
