#include "KnownTags.h"

#include "CollectionIndex.h"
#include "LibraryController.h"
#include "Tags.h"

namespace quillbox {

QStringList KnownTags::All() {
    if (!collection_)
        collection_ = CollectionIndex::CachedTags(collectionCache_);
    QStringList tags = TagsIn(controller_.State().DescArray) + *collection_;
    tags.sort();
    tags.removeDuplicates();
    return tags;
}

} // namespace quillbox
