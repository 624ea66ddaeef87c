#pragma once

#include <QByteArray>
#include <algorithm>
#include <cstddef>
#include <iterator>
#include <vector>

namespace quillbox {

// A large array is backed by the kernel a page at a time as it is first written. Where a page fault
// is dear (a virtual machine traps on each one) the faults of a million patches' arrays cost more than
// the work done in them; transparent huge pages make it one fault per 2 MiB. This is advice only:
// the kernel may decline it, and small arrays are left alone.
void AdviseHugePages(const void* data, size_t bytes);

// Keeps memory a program frees for its next large arrays instead of handing it back and having it
// faulted in and zeroed again (every block comes from the allocator's heaps, none is mapped on its
// own; up to 512 MiB freed at a heap's top stay). Called once, first thing in main; a window that is
// done with a large collection gives its memory back itself (malloc_trim).
void KeepFreedMemory();

// Reserves room for `count` elements, advised for huge pages before anything is written (what the
// array holds is copied into the new room after the advice).
template <typename T> void ReserveLarge(std::vector<T>& array, size_t count) {
    if (array.capacity() >= count)
        return;
    std::vector<T> room;
    room.reserve(count);
    AdviseHugePages(room.data(), room.capacity() * sizeof(T));
    room.insert(room.end(), std::make_move_iterator(array.begin()), std::make_move_iterator(array.end()));
    array.swap(room);
}
inline void ReserveLarge(QByteArray& array, qsizetype count) {
    if (array.capacity() >= count)
        return;
    QByteArray room;
    room.reserve(count);
    AdviseHugePages(room.constData(), size_t(room.capacity()));
    room.append(QByteArrayView(array));
    array.swap(room);
}

// The same for arrays that grow by appending: room for half as much again, so that appends stay
// linear.
template <typename T> void GrowLarge(std::vector<T>& array, size_t count) {
    if (array.capacity() < count)
        ReserveLarge(array, std::max(count, array.capacity() + array.capacity() / 2));
}
inline void GrowLarge(QByteArray& array, qsizetype count) {
    if (array.capacity() < count)
        ReserveLarge(array, std::max(count, array.capacity() + array.capacity() / 2));
}

} // namespace quillbox
