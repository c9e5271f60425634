// The last bytes of an archive as a partial fetch brings them.

#include "FuzzSupport.h"

#include "restore/ZipDirectoryTail.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (const auto tail = ZipDirectoryTail::read(fuzzInput(data, size))) {
        if (tail->size < 0)
            __builtin_trap();
        (void)tail->modified.toString();
    }
    return 0;
}
