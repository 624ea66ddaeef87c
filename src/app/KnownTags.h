#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace quillbox {

class LibraryController;

// The tags offered while one is typed (the description box, "Tags…"): the library's own and those the
// collection's cache knows, read without building it and kept until a scan renews them (Forget).
class KnownTags {
public:
    KnownTags(const LibraryController& controller, QString collectionCache)
        : controller_(controller), collectionCache_(std::move(collectionCache)) {}

    QStringList All();
    void Forget() { collection_.reset(); }

private:
    const LibraryController& controller_;
    QString collectionCache_;
    std::optional<QStringList> collection_;
};

} // namespace quillbox
