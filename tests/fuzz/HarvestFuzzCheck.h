#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// One fuzz input: its first line (up to the first LF) is the page address, the rest
// the page text in UTF-8. Runs the harvest and the literal reference harvest on it in
// scratch folders and checks that nothing differs, that both generated pages hold
// exactly the markup the lists call for and nothing else, and that every recorded
// address has an allowed scheme. Returns an empty text when all holds, else what
// went wrong.
QString CheckHarvestInput(const uint8_t *data, size_t size);
