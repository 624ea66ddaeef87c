#include "ToolCommands.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char* argv[]) {
    const QCoreApplication app(argc, argv);
    // The same name as the window's, so that both keep earlier versions in the same place.
    QCoreApplication::setApplicationName(QStringLiteral("Quillbox"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return quillbox::tool::RunTool(QCoreApplication::arguments().mid(1), out, err);
}
