// What both camera windows build their toolbars from: a command's action from its prompt text
// ("Tooltip\nCaption") and a split button whose arrow opens a menu of further commands.
#pragma once

#include <QList>
#include <QString>

#include "platform/wintypes.h"

class QAction;
class QObject;
class QToolBar;
class QToolButton;

// The action of command `id`: its caption is the prompt's second line (the first when there is
// none), its tool-tip the first, its icon the command's; the object name is the id.
QAction* MakeCommandAction(QObject* owner, UINT id, const QString& text);
// A split button on `bar` whose main part runs `main` and whose menu holds `items`; hiding the
// main command hides the button too.
QToolButton* AddSplitToolButton(QToolBar* bar, UINT id, QAction* main, const QList<QAction*>& items);
