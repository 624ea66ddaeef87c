#pragma once

#include <QString>
#include <QStringList>

namespace quillbox {

// What the command line asks for: files to open once the window has loaded, or a text to print
// and an exit status (--help, --version, a wrong option).
struct CommandLine {
    QStringList files; // absolute paths, in the order given
    bool exit = false;
    int exitCode = 0;
    QString output; // printed before exiting: to stdout for status 0, to stderr otherwise
};

// `arguments` as QCoreApplication::arguments() gives them, the program's name first. Relative paths
// are taken from `workingDirectory`.
CommandLine ParseCommandLine(const QStringList& arguments, const QString& workingDirectory);

// The arguments after the program's name as text. A file name whose bytes are not valid text (it
// would be decoded into the name of another file) is left out, and why is added to `refused`.
QStringList TextArguments(int argc, const char* const* argv, QStringList& refused);

// The program's start: the command line, the splash, then the main window with the files named on
// the command line opened; returns when the main window has closed.
int Main(int& argc, char** argv);

} // namespace quillbox
