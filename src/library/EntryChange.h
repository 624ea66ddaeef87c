#pragma once

#include <QList>

namespace quillbox {

// What an entry operation did to the library's entries, so that lists and counts update only that.
struct EntryChange {
    enum class Kind {
        None,       // nothing changed
        Rearranged, // the same entries in another order
        Removed,    // `positions`: the entries taken out, as they were numbered before
        Inserted,   // `positions`: the entries put in, as they are numbered now
    };
    Kind kind = Kind::None;
    QList<qsizetype> positions;
};

} // namespace quillbox
