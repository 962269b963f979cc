#include "StartupHeap.h"

#include <cstdint>
#include <cstdlib>
#include <thread>

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace StartupHeap {

std::size_t prepare(std::size_t bytes)
{
#if defined(MADV_POPULATE_WRITE)
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
    // Freed, the block joins the heap's top, which stays under the trim
    // threshold. Its pages are mapped from a thread of their own, in
    // parallel with the application object: mapping does not write to
    // them, so the main thread may already use some.
    std::free(block);
    std::thread([first, end] { ::madvise(reinterpret_cast<void *>(first), end - first, MADV_POPULATE_WRITE); }).detach();
    return std::size_t(end - first);
#else
    (void)bytes;
    return 0;
#endif
}

} // namespace StartupHeap
