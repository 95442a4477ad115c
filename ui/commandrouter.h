// Commands keep their numeric ids. A command target maps ids to handlers and to update
// handlers that enable and check them; the router walks the active chain (active view,
// its document, the child frame, the main frame, the application) and builds every QAction of
// the menus, toolbars and accelerators from one table.
#pragma once

#include <QAction>
#include <QHash>
#include <QIcon>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <vector>

#include "platform/wintypes.h"

class QMenu;
class QMenuBar;
class QToolBar;

// What an update handler may change on a command's user interface.
class CCmdUI {
public:
    explicit CCmdUI(UINT id) : m_nID(id) {}
    void Enable(bool on = true) { m_bEnabled = on; }
    void SetCheck(int check = 1) { m_nCheck = check; }
    void SetText(const QString& text) {
        m_strText = text;
        m_bTextSet = true;
    }
    UINT m_nID;
    bool m_bEnabled = true;
    int m_nCheck = -1;  // -1: the handler said nothing about the check mark
    bool m_bTextSet = false;
    QString m_strText;
};

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    // True when this target has a handler for the id (and ran it).
    virtual bool OnCmdMsg(UINT id);
    // True when this target has a handler or an update handler for the id; fills ui.
    virtual bool OnUpdateCmdUI(CCmdUI* ui);
    bool HasHandler(UINT id) const { return m_handlers.contains(id); }

protected:
    void OnCommand(UINT id, std::function<void()> handler);
    void OnUpdateUI(UINT id, std::function<void(CCmdUI*)> update);

private:
    QHash<UINT, std::function<void()>> m_handlers;
    QHash<UINT, std::function<void(CCmdUI*)>> m_updates;
};

// One row of the command table.
struct CommandInfo {
    UINT id;
    const char* text;     // menu text with '&' mnemonics
    const char* tip;      // tooltip / status prompt
    int iconId;           // resource id of the toolbar icon, 0 none
    bool checkable;
};

class CCommandRouter : public QObject {
public:
    using Chain = std::function<std::vector<CCmdTarget*>()>;
    explicit CCommandRouter(QObject* parent = nullptr);

    void SetChain(Chain chain) { m_chain = std::move(chain); }
    // The program's command table and its toolbar icons: the router itself knows no command.
    using InfoLookup = const CommandInfo* (*)(UINT id);
    using IconLookup = QIcon (*)(int resourceId);
    void SetCommandTable(InfoLookup info, IconLookup icon) {
        m_info = info;
        m_icon = icon;
    }
    // Runs the command through the chain; false when nobody handles it.
    bool Execute(UINT id);
    // Asks the chain how the command looks now (enabled, checked, text).
    CCmdUI Query(UINT id);
    // Brings every action in line with its update handlers.
    void UpdateAll();

    // The one action of an id, made from the command table on first use.
    QAction* Action(UINT id);
    void AddShortcut(UINT id, const QKeySequence& key);
    // Builds menus from "Menu/Sub/Item" paths; id 0 is a separator in the path's menu.
    struct MenuItem {
        const char* path;
        UINT id;
    };
    void BuildMenus(QMenuBar* bar, const std::vector<MenuItem>& items, QList<QMenu*>* topMenus = nullptr);
    void BuildMenu(QMenu* menu, const std::vector<MenuItem>& items);
    void BuildToolBar(QToolBar* bar, const std::vector<UINT>& ids);

private:
    QMenu* menuFor(QWidget* root, QMenuBar* bar, const QStringList& path, QHash<QString, QMenu*>& made);
    const CommandInfo* Info(UINT id) const { return m_info ? m_info(id) : nullptr; }
    Chain m_chain;
    InfoLookup m_info = nullptr;
    IconLookup m_icon = nullptr;
    QHash<UINT, QAction*> m_actions;
    QHash<UINT, QString> m_baseText;
};
