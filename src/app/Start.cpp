#include "Start.h"

#include "AppInfo.h"
#include "FileAccess.h"
#include "LargeArrays.h"
#include "MainWindow.h"
#include "SplashWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <QWindow>
#include <cstdio>

namespace quillbox {

namespace {
// Lets the window system map the splash so that it can be painted before the load step blocks.
void WaitUntilExposed(QWidget* window) {
    QElapsedTimer timer;
    timer.start();
    while (window && window->windowHandle() && !window->windowHandle()->isExposed() && timer.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

const char* const HelpText =
    "Usage: quillbox [FILE...]\n"
    "Quillbox, a librarian for the effect patches of the PS02 device.\n"
    "\n"
    "FILE is opened once the window has loaded: a name ending in \".pslib\" (exactly so, in lower\n"
    "case) is loaded as the library, as \"Load (Library) \" loads it; any other file is imported into\n"
    "the patches list, as \"Import PS02\" imports it. Of several files the first library is loaded\n"
    "and the first other file imported; the rest are not opened.\n"
    "\n"
    "Options:\n"
    "  -h, --help     Show this help.\n"
    "  -v, --version  Show the version.\n";

int Finish(const CommandLine& line) {
    std::fputs(line.output.toLocal8Bit().constData(), line.exitCode == 0 ? stdout : stderr);
    return line.exitCode;
}
} // namespace

CommandLine ParseCommandLine(const QStringList& arguments, const QString& workingDirectory) {
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({help, version});
    parser.addPositionalArgument(QStringLiteral("file"), QString());

    CommandLine line;
    if (!parser.parse(arguments)) {
        line.exit = true;
        line.exitCode = 2;
        line.output =
            QStringLiteral("quillbox: ") + parser.errorText() + QStringLiteral("\nTry 'quillbox --help'.\n");
    } else if (parser.isSet(help)) {
        line.exit = true;
        line.output = QString::fromUtf8(HelpText);
    } else if (parser.isSet(version)) {
        line.exit = true;
        line.output = QStringLiteral("quillbox ") + AppInfo::FullVersion() + QLatin1Char('\n');
    } else {
        const QDir base(workingDirectory);
        for (const QString& file : parser.positionalArguments())
            line.files.append(QDir::cleanPath(base.absoluteFilePath(file)));
    }
    return line;
}

QStringList TextArguments(int argc, const char* const* argv, QStringList& refused) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (const std::optional<QString> text = FileNameFromBytes(argument))
            arguments.append(*text);
        else
            refused.append(FileNameNotTextMessage(argument));
    }
    return arguments;
}

int Main(int& argc, char** argv) {
    // A collection of a million patches is read into large arrays, and read again when it changes
    // widely: memory freed is kept for the next read.
    KeepFreedMemory();
    // --help and --version are answered before the window system is opened, so that they work
    // without a display. Qt's own options (-platform ...) are known only once QApplication has
    // taken them out, so anything the first look does not understand is parsed again after that.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    CommandLine line = ParseCommandLine(arguments, QDir::currentPath());
    if (line.exit && line.exitCode == 0)
        return Finish(line);

    QApplication app(argc, argv);
    QApplication::setApplicationName(AppInfo::ProductName());
    QApplication::setApplicationVersion(AppInfo::FullVersion());
    QStringList refused;
    line = ParseCommandLine(QStringList{QCoreApplication::applicationFilePath()} +
                                TextArguments(argc, argv, refused),
                            QDir::currentPath());
    if (line.exit)
        return Finish(line);

    // A step that fails is skipped: the program still starts.
    QPointer<SplashWindow> splash;
    try {
        splash = new SplashWindow;
        splash->ShowNow();
        WaitUntilExposed(splash);
        if (splash)
            splash->repaint();
    } catch (...) {
    }

    MainWindowOptions options;
    options.splash = splash;
    MainWindow window(options);
    window.show();
    QCoreApplication::processEvents();
    // Unsaved work a killed run left is offered first, over the main window, then the files are
    // opened (with the save question first when the work was restored).
    QTimer::singleShot(0, &window, [&window] { window.RecoverUnsavedWork(); });
    // The files are opened from the event loop, after the start-up step, so that what they show
    // (a message, the save question) appears over the main window.
    if (!line.files.isEmpty() || !refused.isEmpty()) {
        QTimer::singleShot(0, &window, [&window, files = line.files, refused] {
            for (const QString& message : refused) {
                std::fprintf(stderr, "quillbox: %s\n", message.toLocal8Bit().constData());
                window.ShowMessage(message, MessageStyle::Plain);
            }
            for (const QString& path : window.OpenFiles(files)) {
                const QByteArray note = (QStringLiteral("quillbox: not opened: ") + path).toLocal8Bit();
                std::fprintf(stderr, "%s\n", note.constData());
            }
        });
    }
    return app.exec();
}

} // namespace quillbox
