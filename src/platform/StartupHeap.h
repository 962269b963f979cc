#pragma once

#include <cstddef>

// The first window asks the C library for a few megabytes within
// milliseconds: its backing store, copies of font tables, glyph caches.
// Under glibc every fresh page of that is a page fault at its first write,
// and blocks from 128 KiB up are mapped and unmapped one by one, so the same
// pages fault again the next time. Before the first paint that was some
// 1,700 faults on the main thread, which a virtual machine makes expensive
// (several microseconds each): about a tenth of the start-up.
//
// prepare() keeps blocks of up to a few megabytes on the heap, where freed
// memory is used again, and grows the heap once by `bytes` with all of its
// pages mapped in a single call. Called at the start of main, before the
// application object.
namespace StartupHeap {

// Whether the allocator is glibc's own: AddressSanitizer brings its own.
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
inline constexpr bool glibcHeap = true;
#else
inline constexpr bool glibcHeap = false;
#endif

// Enough for a window of the default size (1100 × 720 points, its backing
// store alone 3 MiB) and the fonts of its first screen.
inline constexpr std::size_t windowBytes = std::size_t(6) << 20;

// Returns how many bytes it mapped ahead: 0 without glibcHeap (macOS's
// allocator keeps its own cache of large blocks), or where the kernel
// cannot map ahead (before Linux 5.14); there the heap is still kept, and
// its pages fault in as they are first written, as they did before.
std::size_t prepare(std::size_t bytes = windowBytes);

} // namespace StartupHeap
