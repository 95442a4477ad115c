// Fixture of the palette, options and place-text tests: a document over an image of the test's
// choosing, and the program's commands and dialog controls.
#pragma once

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMouseEvent>

#include "app/cmdids.h"
#include "app/mainframe.h"
#include "app/pelidordoc.h"
#include "apptest.h"
#include "ui/messages.h"

class PaletteAppTest : public AppTest {
protected:
    bool Run(UINT id) { return app->MainFrame()->Router()->Execute(id); }
    template <typename T = QAbstractButton>
    static T* Control(QDialog* dlg, int id) {
        T* w = dlg->findChild<T*>(QString::number(id));
        EXPECT_NE(w, nullptr) << "control " << id;
        return w;
    }
    static void Click(QDialog* dlg, int id) {
        if (QAbstractButton* b = Control(dlg, id)) b->click();
    }
    static void SendMouse(QWidget* w, QEvent::Type type, const QPoint& pos) {
        QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &e);
    }
};
