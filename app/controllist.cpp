#include "app/controllist.h"

#include <QMenu>
#include <QToolButton>

#include "app/cmdids.h"
#include "app/pelidordoc.h"
#include "outside/vekmeasure/qomeasure.h"

QMenu* CControlList::Attach(QToolButton* button, DocumentSource source, Route route) {
    auto* menu = new QMenu(button);
    menu->setObjectName(QString::number(ID_MEASURE_CALIBRATETABLE));
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, source, route] { Rebuild(menu, source ? source() : nullptr, route); });
    button->setMenu(menu);
    button->setPopupMode(QToolButton::MenuButtonPopup);
    return menu;
}

void CControlList::Rebuild(QMenu* menu, CPelidorDoc* doc, const Route& route) {
    menu->clear();
    if (!doc || !doc->GetImage() || !doc->m_pMeasure) return;
    const QStringList* names = doc->m_pMeasure->GetActiveCalibrateList();
    if (!names) return;
    for (int i = 0; i < names->size() && i < kMaxEntries; i++) {
        const unsigned id = ID_MEASURE_CALIBRATION_FIRST + i;
        QAction* a = menu->addAction(names->at(i));
        a->setObjectName(QString("cmd%1").arg(id));
        QObject::connect(a, &QAction::triggered, menu, [route, id] {
            if (route) route(id);
        });
    }
}
