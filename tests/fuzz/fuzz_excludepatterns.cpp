// Exclusion patterns as the user writes them, up to the first NUL byte, then paths to
// decide about, one per line: any bytes, any number of stars and sets.

#include "FuzzSupport.h"

#include "backupdata/ExcludePatterns.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzzInput(data, size);
    const qsizetype split = bytes.indexOf('\0');
    const ExcludePatterns patterns = ExcludePatterns::parse(split < 0 ? bytes : bytes.left(split));
    if (split < 0)
        return 0;
    const int lastLine = int(bytes.left(split).count('\n')) + 1;
    for (const QByteArray& path : bytes.sliced(split + 1).split('\n')) {
        for (const bool isFolder : {false, true}) {
            const ExclusionMatch own = patterns.match(path, isFolder);
            const ExclusionMatch inherited = patterns.matchWithAncestors(path, isFolder);
            if (own.line < 0 || own.line > lastLine || (own.line == 0 && own.leftOut))
                __builtin_trap();
            // A folder above can only leave more out, never take an entry back.
            if (own.leftOut && !inherited.leftOut)
                __builtin_trap();
        }
        // A name without wildcards matches itself.
        if (!path.contains('*') && !path.contains('?') && !path.contains('[') &&
            !path.contains('\\') && !wildMatch(path, path))
            __builtin_trap();
    }
    return 0;
}
