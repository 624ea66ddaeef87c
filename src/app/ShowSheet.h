#pragma once

#include "ShowCheck.h"
#include "ShowRecord.h"

class QPagedPaintDevice;

namespace quillbox {

// The show's stage sheet on the pages of `device` (a PDF writer or a printer), in large print: the
// show's title, then each song's title, its cues (label, patch name, slot in the device file the
// show builds) and its notes. A song's title stays on the page of its first cue; a sheet that runs a
// few rows onto another page is set a little smaller when that saves the page.
void PrintShow(QPagedPaintDevice& device, const ShowRecord& show, const ShowSlots& slots);

// Writes the stage sheet as a PDF file through a temporary file beside `path`; a failure throws
// FileError and leaves an existing file as it was.
void WriteShowPdf(const QString& path, const ShowRecord& show, const ShowSlots& slots);

} // namespace quillbox
