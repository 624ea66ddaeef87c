#include "FileAccess.h"
#include "LargeArrays.h"
#include "ToolCommands.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char* argv[]) {
    // One command reads whole libraries, and their texts, one after another (a fifth of a merge of
    // three libraries of 100,000 entries went into page faults).
    quillbox::KeepFreedMemory();
    const QCoreApplication app(argc, argv);
    // The same name as the window's, so that both keep earlier versions in the same place.
    QCoreApplication::setApplicationName(QStringLiteral("Quillbox"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    // A name that is not valid text would be decoded into the name of another file: refused before
    // anything is read or written.
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (!quillbox::FileNameFromBytes(argument)) {
            err << "quillbox-tool: " << quillbox::FileNameNotTextMessage(argument) << '\n';
            return quillbox::tool::ExitBadFile;
        }
    }
    return quillbox::tool::RunTool(QCoreApplication::arguments().mid(1), out, err);
}
