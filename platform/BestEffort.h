#pragma once

#include <exception>

// Runs one step of a best-effort sequence: whatever goes wrong inside the
// step is dropped, and the caller goes on with its next step.
template <typename Step> bool BestEffort(Step &&step) noexcept
{
    try {
        step();
        return true;
    } catch (...) {
        return false;
    }
}
