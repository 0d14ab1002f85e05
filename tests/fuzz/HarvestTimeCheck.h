#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// One fuzz input read as the piece of a long page: its first line (up to the first
// LF) is the page address, the rest a piece of page text, repeated into pages of
// kSmallPage and kLargePage bytes.
namespace harvestcheck {

inline constexpr qsizetype kSmallPage = qsizetype(32) << 10;
inline constexpr qsizetype kLargePage = qsizetype(512) << 10;

// Checks that reading the tags of both pages passes over at most a few times their
// bytes (counted, not timed). Returns an empty text when it holds, else what went
// wrong.
QString CheckHarvestWork(const uint8_t *data, size_t size);

// The same, and then both pages go through the harvest of their bytes, as
// quarrow-harvest runs it, into a scratch folder: the check fails when the large
// page costs clearly more time per byte than the small one, as a harvest whose time
// grows faster than the page does. Only for the fuzzer: it measures time.
QString CheckHarvestTime(const uint8_t *data, size_t size);

} // namespace harvestcheck
