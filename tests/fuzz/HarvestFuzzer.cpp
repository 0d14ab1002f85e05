// libFuzzer entry point over the page harvest; built by scripts/fuzz.
#include "tests/fuzz/HarvestFuzzCheck.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The literal reference is quadratic; keep inputs small enough for it.
    if (size > 16384)
        return 0;
    const QString problem = CheckHarvestInput(data, size);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "harvest check failed: %s\n", problem.toUtf8().constData());
        std::abort();
    }
    return 0;
}
