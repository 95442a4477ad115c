#include <QApplication>

#include "app/pelidorapp.h"
#include "app/startupsplash.h"

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("Quillory");
    CSplashFilter splashFilter;
    qapp.installEventFilter(&splashFilter);
    CPelidorApp app;
    QStringList args = QApplication::arguments();
    args.removeFirst();
    if (!app.InitInstance(args)) return 1;
    const int rc = QApplication::exec();
    app.ExitInstance();
    return rc;
}
