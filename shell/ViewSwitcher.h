#pragma once

#include <QObject>
#include <QString>

#include <array>

class WebBrowser;

// The three views of the current page, in the order of their tabs.
enum class View { Live = 0, Source = 1, Images = 2 };

// Owns which of the three views shows. Only the view that shows speaks for
// the window: its status text, progress, title and the state of Back, Forward
// and Stop come out of the switcher's signals, and a switch says the state of
// the view that now shows at once. The other views go on quietly.
class ViewSwitcher : public QObject {
    Q_OBJECT
public:
    // The views stay the caller's; they must outlive the switcher's use.
    ViewSwitcher(const std::array<WebBrowser *, 3> &views, QObject *parent = nullptr);

    View current() const { return m_current; }
    WebBrowser *currentView() const { return view(m_current); }
    WebBrowser *view(View which) const { return m_views[size_t(which)]; }
    const std::array<WebBrowser *, 3> &views() const { return m_views; }

    // Shows `which` and hides the others.
    void show(View which);

signals:
    void currentChanged(View now);
    void statusTextChanged(const QString &text);
    void progressChanged(int progress, int progressMax);
    void titleChanged(const QString &title);
    // Back, Forward and Stop of the view that shows.
    void navigationChanged(bool canGoBack, bool canGoForward, bool busy);

private:
    struct State {
        QString status;
        int progress = 0;
        int progressMax = 0;
    };
    void watch(View which);
    void sayNavigation();
    void replay();

    std::array<WebBrowser *, 3> m_views;
    std::array<State, 3> m_state;
    View m_current = View::Live;
};
