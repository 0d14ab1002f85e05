#include "platform/LazyLoader.h"

#include <QTimer>
#include <QVariant>
#include <QWebEnginePage>

namespace {

// Remembers where the reader is. Its state lives in this world's own global
// object, which the page cannot reach.
const char kStart[] = R"JS((function () {
    'use strict';
    const root = document.scrollingElement || document.documentElement;
    window.__quarrowLazy = {x: window.scrollX, y: window.scrollY, target: window.scrollY};
    return [window.innerHeight, root ? root.scrollHeight : 0];
})())JS";

// One screen further, from where the page is or from where the last step
// went, whichever is further: a page that scrolls back gains nothing.
const char kStep[] = R"JS((function () {
    'use strict';
    const s = window.__quarrowLazy;
    if (!s)
        return null;
    const root = document.scrollingElement || document.documentElement;
    const height = root ? root.scrollHeight : 0;
    const screen = window.innerHeight;
    const now = window.scrollY;
    const pushedBack = now < s.target - 2;
    const from = Math.max(now, s.target);
    const last = Math.max(0, height - screen);
    s.target = Math.min(from + Math.max(1, Math.floor(screen * 0.8)), last);
    window.scrollTo({left: window.scrollX, top: s.target, behavior: 'instant'});
    return [window.scrollY, height, screen, pushedBack, s.target >= last];
})())JS";

// What is loading near the screen, and how far the page is: the pictures not
// yet complete within a screen of it (at most so many looked at), the
// engine's timing entries, the page's height and where it is.
const char kPoll[] = R"JS((function () {
    'use strict';
    const screen = window.innerHeight;
    let pending = 0;
    const images = document.images;
    const n = Math.min(images.length, 50000);
    for (let i = 0; i < n; ++i) {
        const img = images[i];
        if (img.complete)
            continue;
        const r = img.getBoundingClientRect();
        if (r.bottom > -screen && r.top < 2 * screen && (r.width > 0 || r.height > 0))
            ++pending;
    }
    let timing = 0;
    try {
        timing = performance.getEntriesByType('resource').length;
    } catch (e) {
    }
    const root = document.scrollingElement || document.documentElement;
    return [pending, timing, root ? root.scrollHeight : 0, window.scrollY];
})())JS";

// Back to where the reader was.
const char kReturn[] = R"JS((function () {
    'use strict';
    const s = window.__quarrowLazy;
    if (!s)
        return false;
    window.scrollTo({left: s.x, top: s.y, behavior: 'instant'});
    delete window.__quarrowLazy;
    return true;
})())JS";

} // namespace

QString LazyLoader::Result::words() const
{
    const QString stepsText =
        steps == 1 ? QStringLiteral("1 step") : QStringLiteral("%1 steps").arg(steps);
    switch (outcome) {
    case Outcome::End:
        return QStringLiteral("Scrolled to the end in %1").arg(stepsText);
    case Outcome::TimeUp:
        return QStringLiteral("Stopped after %1 s, %2 down")
            .arg(qRound(elapsedMs / 1000.0))
            .arg(stepsText);
    case Outcome::StepsUsed:
        return QStringLiteral("Stopped after %1, before the end").arg(stepsText);
    case Outcome::Endless:
        return QStringLiteral("Stopped after %1: the page keeps growing").arg(stepsText);
    case Outcome::Fought:
        return QStringLiteral("Stopped after %1: the page keeps scrolling back").arg(stepsText);
    case Outcome::Stopped:
        return QStringLiteral("Stopped after %1").arg(stepsText);
    case Outcome::PageGone:
        return QStringLiteral("Stopped: the page went to another address");
    }
    return {};
}

LazyLoader::LazyLoader(QWebEnginePage *page, QObject *parent)
    : QObject(parent), m_page(page), m_poll(new QTimer(this)), m_deadline(new QTimer(this)),
      m_returnWait(new QTimer(this))
{
    m_poll->setSingleShot(true);
    connect(m_poll, &QTimer::timeout, this, &LazyLoader::poll);
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this] { end(Outcome::TimeUp); });
    m_returnWait->setSingleShot(true);
    connect(m_returnWait, &QTimer::timeout, this, [this] { done(false); });
    if (page) {
        // Another document: nothing of this run holds there.
        connect(page, &QWebEnginePage::loadStarted, this, [this] {
            if (m_running && !m_ending) {
                m_result.outcome = Outcome::PageGone;
                done(false);
            }
        });
    }
}

LazyLoader::~LazyLoader() = default;

void LazyLoader::run(const QString &script, std::function<void(const QVariantList &)> then)
{
    if (!m_page) {
        m_result.outcome = Outcome::PageGone;
        done(false);
        return;
    }
    const quint64 generation = m_generation;
    QPointer<LazyLoader> guard(this);
    m_page->runJavaScript(script, worldId, [guard, generation, then](const QVariant &result) {
        if (!guard || guard->m_generation != generation)
            return;
        then(result.toList());
    });
}

void LazyLoader::start()
{
    if (m_running)
        return;
    ++m_generation;
    m_running = true;
    m_ending = false;
    m_result = Result();
    m_pushBacks = 0;
    m_clock.start();
    m_deadline->start(m_bounds.timeMs);
    run(QString::fromLatin1(kStart), [this](const QVariantList &answer) {
        if (answer.size() != 2) {
            end(Outcome::PageGone);
            return;
        }
        m_viewport = answer.at(0).toInt();
        m_height = answer.at(1).toDouble();
        step();
    });
}

void LazyLoader::stop()
{
    if (m_running && !m_ending)
        end(Outcome::Stopped);
}

void LazyLoader::step()
{
    if (m_result.steps >= m_bounds.maxSteps) {
        end(Outcome::StepsUsed);
        return;
    }
    run(QString::fromLatin1(kStep), [this](const QVariantList &answer) {
        if (answer.size() != 5) {
            end(Outcome::PageGone);
            return;
        }
        ++m_result.steps;
        m_height = answer.at(1).toDouble();
        m_viewport = answer.at(2).toInt();
        m_heightAfterStep = m_height;
        m_stepReachedEnd = answer.at(4).toBool();
        if (answer.at(3).toBool() && ++m_pushBacks > m_bounds.maxPushBacks) {
            end(Outcome::Fought);
            return;
        }
        emit stepped(m_result.steps);
        m_stepClock.start();
        m_lastChange = 0;
        m_pending = -1;
        m_timing = -1;
        m_poll->start(m_bounds.pollMs);
    });
}

void LazyLoader::poll()
{
    run(QString::fromLatin1(kPoll), [this](const QVariantList &answer) {
        if (answer.size() != 4) {
            end(Outcome::PageGone);
            return;
        }
        const int pending = answer.at(0).toInt();
        const int timing = answer.at(1).toInt();
        const double height = answer.at(2).toDouble();
        const qint64 now = m_stepClock.elapsed();
        if (pending != m_pending || timing != m_timing || height != m_height) {
            m_lastChange = now;
            m_pending = pending;
            m_timing = timing;
            m_height = height;
        }
        const bool quiet = pending == 0 && now - m_lastChange >= m_bounds.quietMs;
        if (quiet || now >= m_bounds.stepWaitMs)
            settled();
        else
            m_poll->start(m_bounds.pollMs);
    });
}

void LazyLoader::settled()
{
    if (m_stepReachedEnd) {
        if (m_height <= m_heightAfterStep + 1) {
            end(Outcome::End);
            return;
        }
        // More came at the end: an endless page, or one that loads its next part.
        if (++m_result.growths > m_bounds.maxGrowths) {
            end(Outcome::Endless);
            return;
        }
    }
    step();
}

void LazyLoader::end(Outcome outcome)
{
    if (!m_running || m_ending)
        return;
    m_ending = true;
    m_result.outcome = outcome;
    m_poll->stop();
    m_deadline->stop();
    // An answer still awaited (a page that does not answer) is not waited for.
    ++m_generation;
    m_returnWait->start(m_bounds.returnWaitMs);
    run(QString::fromLatin1(kReturn), [this](const QVariantList &) { done(true); });
}

void LazyLoader::done(bool returned)
{
    if (!m_running)
        return;
    m_running = false;
    m_ending = false;
    ++m_generation;
    m_poll->stop();
    m_deadline->stop();
    m_returnWait->stop();
    m_result.returned = returned;
    m_result.elapsedMs = m_clock.elapsed();
    emit finished(m_result);
}
