#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace quillbox::tool {

// Exit status of quillbox-tool.
enum ExitCode : int {
    ExitSuccess = 0,
    ExitBadFile = 1,  // a file that cannot be read or written, is not what it should be, or exists
    ExitBadUsage = 2, // a wrong command line
    // diff only, as diff(1) has it:
    ExitDiffers = 1,     // the two patches differ
    ExitDiffTrouble = 2, // a file could not be read or a position is wrong
};

// Runs one command line (without the program name). Results go to `out`, errors and warnings
// to `err`; returns the exit status.
int RunTool(const QStringList& arguments, QTextStream& out, QTextStream& err);

// The text of `--version` and `--help`, each ending in a line break.
QString VersionText();
QString HelpText();

// What `list --details` shows for a description: line breaks as the two characters "\n" and tabs as
// "\t", so that every patch stays on one tab-separated line.
QString EscapeDescription(const QString& description);

} // namespace quillbox::tool
