#pragma once

#include "CommandBase.h"
#include "LibraryDocument.h"
#include "LibraryLists.h"
#include "StepRunner.h"

namespace quillbox {

// The Patch menu: carrying patches from the patches list into the library, each command one step.
// It shows nothing of its own: the lists show the library, the step runner the status line.
class TransferCommands : private CommandBase {
public:
    TransferCommands(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps);

    // The selected patches of the patches list go in after the selected library entry, or at the
    // end without one; one selected patch goes in exactly as a single copy always has.
    void CopySelectedPatch();      // mnuPatch_Copy
    void ReplaceSelectedPatch();   // mnuPatch_Replace
    void AppendDifferentPatches(); // mnuPatch_AppendNew
    void AppendAllPatches();       // mnuPatch_AppentAll
    void UpdateLibWithSelected();  // mnuPatch_UpdateLib
    void UpdateAllPatchesInLib();  // mnuPatch_UpdateLibAll
    void PatchesDoubleClicked();   // same copy as the menu command, of the one patch clicked

private:
    // The patches after the selected library entry (at the end without one), their descriptions
    // with them, as one step: from the menu the selected patches, from a double click the one
    // clicked. One patch goes in exactly as a single copy always has.
    void CopyPatches(bool menu);
    // The selected library entry takes the selected patch's bytes, and with `withDescription` its
    // description too ("Replace"; without: "Update"), as one step.
    void ReplaceLibPatch(bool withDescription);
};

} // namespace quillbox
