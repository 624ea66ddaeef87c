#include "Commands.h"

#include "EarlierVersionsDialog.h"
#include "MainWindow.h"
#include "MainWindowShows.h"

namespace quillbox {

void RunWindowCommand(MainWindow& w, WindowCommand command) {
    switch (command) {
    case WindowCommand::None:
        break;
    case WindowCommand::EarlierVersions:
        EarlierVersionsDialog(w.Controller(), &w).exec();
        break;
    case WindowCommand::PrintSetList:
        w.PrintSetListCommand();
        break;
    case WindowCommand::Exit:
        w.close();
        break;
    case WindowCommand::Compare:
        w.CompareCommand();
        break;
    case WindowCommand::Rename:
        w.RenameCommand();
        break;
    case WindowCommand::SelectDuplicates:
        w.SelectDuplicatesCommand();
        break;
    case WindowCommand::Tags:
        w.TagsCommand();
        break;
    case WindowCommand::Top:
        w.TopCommand();
        break;
    case WindowCommand::Collection:
        w.CollectionCommand();
        break;
    case WindowCommand::Help:
        w.HelpCommand();
        break;
    case WindowCommand::About:
        w.AboutCommand();
        break;
    case WindowCommand::Find:
        w.FindCommand();
        break;
    case WindowCommand::MenuBar:
        w.MenuBarCommand();
        break;
    case WindowCommand::Shows:
        w.Shows().Open();
        break;
    case WindowCommand::NewShow:
        w.Shows().NewShow();
        break;
    case WindowCommand::OpenShow:
        w.Shows().OpenShow();
        break;
    case WindowCommand::AddPatchesToShow:
        w.Shows().AddSelected(ListId::Patches);
        break;
    case WindowCommand::AddLibraryToShow:
        w.Shows().AddSelected(ListId::Library);
        break;
    }
}

} // namespace quillbox
