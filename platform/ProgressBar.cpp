#include "platform/ProgressBar.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int Steps = 10000;
}

ProgressBar::ProgressBar(QWidget *parent) : QProgressBar(parent)
{
    setObjectName(QStringLiteral("pb1"));
    setRange(0, Steps);
    setTextVisible(false);
}

void ProgressBar::setMax(float max)
{
    m_max = max;
    show_();
}

void ProgressBar::setValueSingle(float value)
{
    m_value = value;
    show_();
}

void ProgressBar::show_()
{
    const double ratio = m_max > 0 ? double(m_value) / double(m_max) : 0.0;
    setValue(static_cast<int>(std::lround(std::clamp(ratio, 0.0, 1.0) * Steps)));
}
