#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>

#include <functional>

class QTimer;
class QWebEnginePage;

// Loads a page's lazy pictures as a reader would: scrolls the page through to
// its end a screen at a time, waits after each step for the pictures that
// start (until nothing near the screen is loading and nothing new came for a
// moment), and at the end goes back to where the reader was.
//
// Its scripts run in a JavaScript world of its own: the page's scripts can
// neither see them nor change the built-ins they use. It is bounded against
// any page: in time (the whole run, and each step's wait), in steps, in the
// times a page may grow at its end (an endless page), and in the times a page
// may scroll back against it. A page that stops answering (a script that
// never ends) is left when the time is up; no wait is on the caller's thread.
class LazyLoader : public QObject {
    Q_OBJECT
public:
    struct Bounds {
        int timeMs = 20000;      // the whole run
        int maxSteps = 150;      // screens scrolled
        int stepWaitMs = 3000;   // the longest wait after a step
        int quietMs = 400;       // nothing new for this long: the step's pictures are in
        int pollMs = 50;         // how often the page is asked meanwhile
        int maxGrowths = 8;      // times the page may grow at its end
        int maxPushBacks = 3;    // times the page may scroll back against it
        int returnWaitMs = 2000; // the longest wait for the page to go back
    };
    enum class Outcome {
        End,       // reached the end, and the page stayed as long as it was
        TimeUp,    // the time bound
        StepsUsed, // the step bound
        Endless,   // the page kept growing at its end
        Fought,    // the page kept scrolling back
        Stopped,   // stop() was called
        PageGone,  // the page went away or went to another document
    };
    struct Result {
        Outcome outcome = Outcome::End;
        int steps = 0;
        int growths = 0;
        qint64 elapsedMs = 0;
        bool returned = false; // the page went back to where the reader was
        // "Scrolled to the end in 8 steps", "Stopped after 20 s: the page kept growing".
        QString words() const;
    };

    // A world of its own, used by nothing else.
    static constexpr quint32 worldId = 216;

    explicit LazyLoader(QWebEnginePage *page, QObject *parent = nullptr);
    ~LazyLoader() override;

    void setBounds(const Bounds &bounds) { m_bounds = bounds; }
    const Bounds &bounds() const { return m_bounds; }
    void start();
    // Ends the run: the page goes back, and finished follows.
    void stop();
    bool running() const { return m_running; }
    QWebEnginePage *page() const { return m_page; }

signals:
    // A step was taken (1, 2, ...).
    void stepped(int step);
    void finished(const LazyLoader::Result &result);

private:
    void run(const QString &script, std::function<void(const QVariantList &)> then);
    void step();
    void poll();
    void settled();
    void end(Outcome outcome);
    void done(bool returned);

    QPointer<QWebEnginePage> m_page;
    Bounds m_bounds;
    QTimer *m_poll = nullptr;
    QTimer *m_deadline = nullptr;
    QTimer *m_returnWait = nullptr;
    QElapsedTimer m_clock;
    QElapsedTimer m_stepClock;
    qint64 m_lastChange = 0;
    quint64 m_generation = 0;
    bool m_running = false;
    bool m_ending = false;
    Result m_result;
    // What the page said last.
    int m_viewport = 0;
    double m_height = 0;
    double m_heightAfterStep = 0;
    bool m_stepReachedEnd = false;
    int m_timing = -1;
    int m_pending = -1;
    int m_pushBacks = 0;
};
