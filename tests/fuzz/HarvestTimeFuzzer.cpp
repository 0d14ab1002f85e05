// libFuzzer entry point that checks the harvest's time per byte: each input is the
// piece of a long page (see HarvestTimeCheck.h); built and run by scripts/fuzz --time.
#include "tests/fuzz/HarvestTimeCheck.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString problem = harvestcheck::CheckHarvestTime(data, size);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "harvest time check failed: %s\n", problem.toUtf8().constData());
        std::abort();
    }
    return 0;
}
