#include "tests/fuzz/FuzzTargets.h"

// One libFuzzer executable per target: HOLLVAN_FUZZ_TARGET names its function.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return HOLLVAN_FUZZ_TARGET(data, size);
}
