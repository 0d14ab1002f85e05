#pragma once

#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace benchwait {

// Runs a real event loop until `done` holds or the time is up, as the program
// itself runs. Polling with sleeps in between (QTest::qWait, qWaitFor) holds up
// every message between the window and the web engine and adds about a second
// to each page load on the development machine: a benchmark must not measure that.
inline bool until(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    QTimer limit;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(1);
    limit.setSingleShot(true);
    limit.start(timeoutMs);
    loop.exec();
    return done();
}

} // namespace benchwait
