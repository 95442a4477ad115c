// The start-up picture over the main frame while it is built; any click or key removes it,
// and it removes itself after a short timer.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class CStartupSplash : public QWidget {
public:
    static void EnableSplashScreen(bool enable);
    static void ShowSplashScreen(QWidget* parent);
    // Offered every input event of the application first; true when it took it.
    static bool PreTranslateAppMessage(QEvent* e);
    static CStartupSplash* Current();
    static void HideSplashScreen();

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    explicit CStartupSplash(QWidget* parent);
    static bool s_bEnabled;
    static QPointer<CStartupSplash> s_pSplash;
};

// Application-wide filter that hands input to the splash window first.
class CSplashFilter : public QObject {
protected:
    bool eventFilter(QObject* o, QEvent* e) override;
};
