#include "Start.h"

#include "AppInfo.h"
#include "MainWindow.h"
#include "SplashWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>

namespace quillbox {

namespace {
// Lets the window system map the splash so that it can be painted before the load step blocks.
void WaitUntilExposed(QWidget* window) {
    QElapsedTimer timer;
    timer.start();
    while (window && window->windowHandle() && !window->windowHandle()->isExposed() && timer.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}
} // namespace

int Main(QApplication& app) {
    QApplication::setApplicationName(AppInfo::ProductName());
    QApplication::setApplicationVersion(AppInfo::FullVersion());

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
    return app.exec();
}

} // namespace quillbox
