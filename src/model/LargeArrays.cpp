#include "LargeArrays.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quillbox {

void AdviseHugePages(const void* data, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t Huge = uintptr_t{2} << 20;
    if (bytes < Huge)
        return;
    // Only the whole huge pages inside the array: the advice never reaches memory that is not its own.
    const uintptr_t start = (reinterpret_cast<uintptr_t>(data) + Huge - 1) & ~(Huge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(Huge - 1);
    if (end > start)
        ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

void KeepFreedMemory() {
#if defined(__GLIBC__)
    // A block above 32 MiB (the finder's texts of a million patches) would otherwise be mapped
    // afresh for each read and given back when freed; the allocator still maps one that its heaps
    // cannot hold.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
#endif
}

} // namespace quillbox
