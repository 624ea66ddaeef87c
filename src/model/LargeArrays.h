#pragma once

#include <QByteArray>
#include <cstddef>
#include <vector>

namespace quillbox {

// A large array is backed by the kernel a page at a time as it is first written. Where a page fault
// is dear (a virtual machine traps on each one) the faults of a million patches' arrays cost more than
// the work done in them; transparent huge pages make it one fault per 2 MiB. This is advice only:
// the kernel may decline it, and small arrays are left alone.
void AdviseHugePages(const void* data, size_t bytes);

// Keeps memory a program frees for its next large arrays instead of handing it back and having it
// faulted in again page by page (blocks up to 32 MiB, the most the allocator allows, come from its
// heap; up to 512 MiB freed at its top stay). Called once, first thing in main; a window that is done
// with a large collection gives its memory back itself (malloc_trim).
void KeepFreedMemory();

// Reserves room for `count` elements and advises huge pages for it, before anything is written.
template <typename T> void ReserveLarge(std::vector<T>& array, size_t count) {
    array.reserve(count);
    AdviseHugePages(array.data(), array.capacity() * sizeof(T));
}
inline void ReserveLarge(QByteArray& array, qsizetype count) {
    array.reserve(count);
    AdviseHugePages(array.constData(), size_t(array.capacity()));
}

} // namespace quillbox
