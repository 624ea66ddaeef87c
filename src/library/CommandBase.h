#pragma once

#include "LibraryDocument.h"
#include "LibraryLists.h"
#include "StepRunner.h"

namespace quillbox {

// What every command class works on: the document (read through its record, changed only through its
// operations), the lists as they show it, and the step runner that records each change.
class CommandBase {
protected:
    CommandBase(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps)
        : doc_(doc), lists_(lists), steps_(steps) {}

    LibraryDocument& doc_;
    const LibraryState& state_ = doc_.State();
    SessionRecord& session_ = doc_.Session();
    LibraryLists& lists_;
    StepRunner& steps_;
};

} // namespace quillbox
