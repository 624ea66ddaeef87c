#pragma once

// Shared by the fuzz targets: a failed property stops the run with a message, as a crash would.

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <cstdlib>

namespace quillbox::fuzz {

[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            ::quillbox::fuzz::Fail(#condition);                                                              \
    } while (false)

inline QByteArray Bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Takes input apart: a few bytes to steer choices, then strings, then the rest as one block.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return size_ == 0; }
    quint8 Byte() {
        if (size_ == 0)
            return 0;
        --size_;
        return *data_++;
    }
    // Up to `maxLength` bytes, ended early by a NUL byte (which is consumed).
    QByteArray Piece(qsizetype maxLength) {
        QByteArray piece;
        while (size_ > 0 && piece.size() < maxLength) {
            const char c = char(Byte());
            if (c == '\0')
                break;
            piece.append(c);
        }
        return piece;
    }
    QByteArray Rest() {
        QByteArray rest = Bytes(data_, size_);
        data_ += size_;
        size_ = 0;
        return rest;
    }

private:
    const uint8_t* data_;
    size_t size_;
};

} // namespace quillbox::fuzz
