#pragma once

#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

// Waits, running the event loop, until a condition holds or the time is up;
// then checks it as GoogleTest does. (Qt's QTRY_* macros report to QtTest's
// own log, which a GoogleTest run never reads: their failures would pass.)
#define QUARROW_WAIT_UNTIL(condition, timeoutMs)                                                   \
    do {                                                                                           \
        QElapsedTimer quarrowWaited;                                                               \
        quarrowWaited.start();                                                                     \
        while (!(condition) && quarrowWaited.elapsed() < (timeoutMs))                              \
            QTest::qWait(20);                                                                      \
    } while (false)

#define EXPECT_EVENTUALLY(condition, timeoutMs)                                                    \
    do {                                                                                           \
        QUARROW_WAIT_UNTIL(condition, timeoutMs);                                                  \
        EXPECT_TRUE(condition) << "not within " << (timeoutMs) << " ms: " #condition;              \
    } while (false)

#define EXPECT_EVENTUALLY_EQ(actual, expected, timeoutMs)                                          \
    do {                                                                                           \
        QUARROW_WAIT_UNTIL((actual) == (expected), timeoutMs);                                     \
        EXPECT_EQ(actual, expected) << "not within " << (timeoutMs) << " ms";                      \
    } while (false)
