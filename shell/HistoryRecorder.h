#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

class History;
class QWebEngineView;

// Keeps each page that a view shows in the history: a visit once its load has
// ended well, with the title it has by then, and the titles that come later
// while the view still shows it. What the load of an address that fails, is
// stopped or turns into a download leaves in the view is no visit; neither
// are the pages that `ignored` names.
class HistoryRecorder : public QObject {
    Q_OBJECT
public:
    HistoryRecorder(QWebEngineView *view, History *history,
                    std::function<bool(const QUrl &)> ignored, QObject *parent = nullptr);

    // The page whose visit was kept last, while the view shows it.
    QUrl visit() const { return m_visit; }

private:
    void loadStarted();
    void loadFinished(bool ok);
    void titleChanged(const QString &title);
    // The view's title, or nothing when it is only the engine's stand-in
    // made of the address.
    QString titleOf(const QString &title) const;

    QPointer<QWebEngineView> m_view;
    QPointer<History> m_history;
    std::function<bool(const QUrl &)> m_ignored;
    QUrl m_visit;
    // True between a load's start and its end.
    bool m_loading = false;
};
