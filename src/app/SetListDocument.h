#pragma once

#include "SetList.h"

#include <QDate>
#include <vector>

class QPagedPaintDevice;

namespace quillbox {

// Lays the set list out on the pages of `device` (a PDF writer or a printer): the library's name and
// the date above a table whose header row repeats on every page, long descriptions wrapped inside
// their column (a word longer than its column broken inside), and the page number at the foot of
// each page.
void PrintSetList(QPagedPaintDevice& device, const QString& title, QDate date,
                  const std::vector<SetListRow>& rows, SetListPrint print = SetListPrint::Table);

// Writes the set list as a PDF file through a temporary file beside `path`; a failure throws
// FileError and leaves an existing file as it was.
void WriteSetListPdf(const QString& path, const QString& title, QDate date,
                     const std::vector<SetListRow>& rows, SetListPrint print = SetListPrint::Table);

} // namespace quillbox
