// The show window's commands that hand the show to the stage view and to the printed sheet.
#include "PrintDialog.h"
#include "ShowSheet.h"
#include "ShowWindow.h"
#include "StageView.h"

#include <QListView>
#include <QPrinter>

namespace quillbox {

void ShowWindow::StageViewCommand() {
    if (slots_.count == 0) {
        ShowStatus(QStringLiteral("No stage view: the show has no cues"));
        return;
    }
    ShowPlace start{CurrentSong(), cues_->currentIndex().row()};
    auto* stage = new StageView(doc_.Show(), slots_, start, this);
    stage->ShowStage();
}

void ShowWindow::PrintCommand() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(doc_.Show().title);
    if (!PrintDialog::Ask(this, printer))
        return;
    PrintShow(printer, doc_.Show(), slots_);
    ShowStatus(QStringLiteral("Printed the show of %1 songs").arg(doc_.Show().songs.size()));
}

} // namespace quillbox
