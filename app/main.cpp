#include <QApplication>

#include "app/mainframe.h"
#include "app/pelidorapp.h"
#include "ui/promptservice.h"
#include "app/startupsplash.h"
#include "app/terminationwatch.h"
#include "ui/msgbridge.h"

#include <QThread>

#include <fontconfig/fontconfig.h>

#include <thread>

// The camera hub shows its message boxes (writer failures and the like) through the program.
// From a camera thread the box is queued to the UI thread: the UI thread may be waiting for that
// thread, so the caller never waits for the box.
extern "C" __attribute__((visibility("default"))) void VekHostMessageBox(const char* text, const char* caption) {
    const QString t = QString::fromUtf8(text ? text : ""), c = QString::fromUtf8(caption ? caption : "Quillory");
    auto show = [t, c] { CPromptService::Instance().MessageBox(AfxGetMainFrame(), t, c, MB_OK); };
    if (QThread::currentThread() == qApp->thread()) show();
    else QMetaObject::invokeMethod(qApp, show, Qt::QueuedConnection);
}

int main(int argc, char** argv) {
    // The font configuration (a few dozen XML files and the font caches) is read on the first
    // text drawn, right before the first window shows; reading it here runs beside the
    // connection to the display instead. Qt later finds the configuration loaded.
    std::thread fonts([] { FcInit(); });
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("Quillory");
    CSplashFilter splashFilter;
    qapp.installEventFilter(&splashFilter);
    fonts.join();
    CPelidorApp app;
    QStringList args = QApplication::arguments();
    args.removeFirst();
    if (!app.InitInstance(args)) return 1;
    CTerminationWatch termination;
    const int rc = QApplication::exec();
    app.ExitInstance();
    return rc;
}
