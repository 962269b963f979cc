#include "StartupHeap.h"

#include <cstdint>
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14; an older kernel answers EINVAL
#endif
#endif

namespace StartupHeap {

std::size_t prepare(std::size_t bytes)
{
#if defined(__GLIBC__)
    if constexpr (!glibcHeap)
        return 0;
    // Setting the thresholds also stops glibc from raising them on its own,
    // so they stay where they are put: blocks under twice the reserve come
    // from the heap, and up to four times it may stay mapped when freed.
    if (mallopt(M_MMAP_THRESHOLD, int(2 * bytes)) == 0 || mallopt(M_TRIM_THRESHOLD, int(4 * bytes)) == 0)
        return 0;
    void *block = std::malloc(bytes);
    if (!block)
        return 0;
    const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    const auto first = (reinterpret_cast<std::uintptr_t>(block) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(page - 1);
    // One call maps the pages without writing to them, for a fraction of
    // what as many faults cost; freed, the block joins the heap's top, which
    // stays under the trim threshold. (Mapping them on a thread of its own
    // measured no faster: it competes with the font list's thread.)
    const bool mapped = ::madvise(reinterpret_cast<void *>(first), end - first, MADV_POPULATE_WRITE) == 0;
    std::free(block);
    return mapped ? std::size_t(end - first) : 0;
#else
    (void)bytes;
    return 0;
#endif
}

} // namespace StartupHeap
