#include "capture/toolbarcommands.h"

#include <QAction>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

#include "resources/resourcetable.h"

QAction* MakeCommandAction(QObject* owner, UINT id, const QString& text) {
    const QString caption = text.section('\n', 1, 1).trimmed();
    auto* action = new QAction(caption.isEmpty() ? text.section('\n', 0, 0) : caption, owner);
    action->setObjectName(QString::number(id));
    action->setToolTip(text.section('\n', 0, 0));
    action->setIcon(ResourceCommandIcon(static_cast<int>(id)));
    return action;
}

QToolButton* AddSplitToolButton(QToolBar* bar, UINT id, QAction* main, const QList<QAction*>& items) {
    auto* button = new QToolButton(bar);
    button->setObjectName(QString("button%1").arg(id));
    button->setDefaultAction(main);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setPopupMode(QToolButton::MenuButtonPopup);
    auto* menu = new QMenu(button);
    menu->setObjectName(QString::number(id));
    for (QAction* item : items)
        if (item) menu->addAction(item);
    button->setMenu(menu);
    QAction* holder = bar->addWidget(button);
    if (main)
        QObject::connect(main, &QAction::visibleChanged, holder, [holder, main] { holder->setVisible(main->isVisible()); });
    return button;
}
