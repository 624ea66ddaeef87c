// "Tags…": a tag added to or taken from the descriptions of the selected library entries.
#include "LibraryController.h"
#include "Tags.h"

namespace quillbox {

bool LibraryController::TagSelected(const QString& tag, bool add) {
    doc_.EndTypingRun();
    if (!IsTag(tag)) {
        shell_.ShowMessage(QStringLiteral("\"") + tag +
                               QStringLiteral("\" is not a tag: a tag is # followed by letters, digits, - or _"),
                           MessageStyle::Plain);
        return false;
    }
    const QList<qsizetype> selected = Selection(ListId::Library);
    const QString what = Patches(selected.size());
    bool applied = false;
    AsStep([&] {
        if (selected.isEmpty())
            return StepOutcome{{}, {}, QStringLiteral("Nothing tagged: no library patch is selected")};
        const LibraryDocument::TagResult result =
            add ? doc_.Tag(selected, {tag}, {}) : doc_.Tag(selected, {}, {tag});
        if (!result.tooLong.isEmpty()) {
            shell_.ShowMessage(tag + QStringLiteral(" does not fit within %1 characters in the description of ")
                                         .arg(LibraryDocument::DescriptionLimit) +
                                   NamedLines(result.tooLong) + QStringLiteral("; nothing was changed"),
                               MessageStyle::Plain);
            return StepOutcome{};
        }
        applied = true;
        // The box shows the description as it now stands.
        if (selected.contains(session_.PatchIndex))
            RefreshPanelIfShowing(session_.PatchIndex, true);
        const QString step = (add ? QStringLiteral("Add ") : QStringLiteral("Remove ")) + tag;
        return StepOutcome{
            step + (add ? QStringLiteral(" to ") : QStringLiteral(" from ")) + what,
            add ? QStringLiteral("Added ") + tag + QStringLiteral(" to ") + Patches(result.changed)
                : QStringLiteral("Removed ") + tag + QStringLiteral(" from ") + Patches(result.changed),
            QStringLiteral("Nothing changed: ") +
                (selected.size() == 1 ? LibLine(selected.first()) : QStringLiteral("every selected patch")) +
                (add ? QStringLiteral(" already has ") : QStringLiteral(" has no ")) + tag};
    });
    return applied;
}

} // namespace quillbox
