#pragma once

#include <QCoreApplication>
#include <QtGlobal>

#include <algorithm>
#include <unistd.h>
#include <vector>

namespace benchsupport {

// The smallest of a benchmark's repetitions, reported beside the median.
inline double smallest(const std::vector<double> &values)
{
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

// What a benchmark of the web engine sets before its application object is
// made: no window on screen unless a platform is asked for, the engine's
// sandbox off when run as root (it refuses to start otherwise), and the
// shared GL contexts the engine wants.
inline void prepareEngineProcess()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

} // namespace benchsupport
