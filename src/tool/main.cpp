#include "ToolCommands.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char* argv[]) {
    const QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return quillbox::tool::RunTool(QCoreApplication::arguments().mid(1), out, err);
}
