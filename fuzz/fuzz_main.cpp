// One libFuzzer program: QUILLON_FUZZ_ENTRY names its entry point.

#include "Fuzz_Targets.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try {
        return QUILLON_FUZZ_ENTRY(data, size);
    } catch (const EFuzz_Finding &finding) {
        std::fprintf(stderr, "finding: %s\n", finding.what());
        std::abort();
    }
}
