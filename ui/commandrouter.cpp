#include "ui/commandrouter.h"

#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

bool CCmdTarget::OnCmdMsg(UINT id) {
    auto it = m_handlers.find(id);
    if (it == m_handlers.end()) return false;
    it.value()();
    return true;
}

bool CCmdTarget::OnUpdateCmdUI(CCmdUI* ui) {
    auto u = m_updates.find(ui->m_nID);
    if (u != m_updates.end()) {
        u.value()(ui);
        return true;
    }
    return m_handlers.contains(ui->m_nID);
}

void CCmdTarget::OnCommand(UINT id, std::function<void()> handler) { m_handlers.insert(id, std::move(handler)); }
void CCmdTarget::OnUpdateUI(UINT id, std::function<void(CCmdUI*)> update) { m_updates.insert(id, std::move(update)); }

CCommandRouter::CCommandRouter(QObject* parent) : QObject(parent) {}

bool CCommandRouter::Execute(UINT id) {
    if (!m_chain) return false;
    // Only enabled commands run, as a disabled menu item or key cannot be chosen.
    if (!Query(id).m_bEnabled) return false;
    for (CCmdTarget* t : m_chain())
        if (t && t->OnCmdMsg(id)) return true;
    return false;
}

CCmdUI CCommandRouter::Query(UINT id) {
    CCmdUI ui(id);
    ui.m_bEnabled = false;  // a command that nobody handles is disabled
    if (!m_chain) return ui;
    for (CCmdTarget* t : m_chain()) {
        if (!t) continue;
        CCmdUI probe(id);
        if (t->OnUpdateCmdUI(&probe)) return probe;
    }
    return ui;
}

void CCommandRouter::UpdateAll() {
    for (auto it = m_actions.begin(); it != m_actions.end(); ++it) {
        CCmdUI ui = Query(it.key());
        QAction* a = it.value();
        a->setEnabled(ui.m_bEnabled);
        if (ui.m_nCheck >= 0) {
            a->setCheckable(true);
            a->setChecked(ui.m_nCheck != 0);
        } else if (a->isCheckable()) {
            a->setChecked(false);
        }
        QString text = ui.m_bTextSet ? ui.m_strText : m_baseText.value(it.key());
        // The text's tab part is the key hint; the action shows its shortcut itself.
        a->setText(text.section('\t', 0, 0));
    }
}

QAction* CCommandRouter::Action(UINT id) {
    auto it = m_actions.find(id);
    if (it != m_actions.end()) return it.value();
    auto* a = new QAction(this);
    const CommandInfo* info = Info(id);
    QString text = info ? QString::fromUtf8(info->text) : QString::number(id);
    m_baseText.insert(id, text);
    a->setText(text.section('\t', 0, 0));
    a->setObjectName(QString("cmd%1").arg(id));
    a->setData(id);
    if (info) {
        if (info->tip && *info->tip) a->setToolTip(QString::fromUtf8(info->tip));
        a->setCheckable(info->checkable);
    }
    // The table's bitmap id, else the command's own id when the resources draw it.
    const QIcon icon = m_icon ? m_icon(info && info->iconId ? info->iconId : static_cast<int>(id)) : QIcon();
    if (!icon.isNull()) a->setIcon(icon);
    connect(a, &QAction::triggered, this, [this, id] {
        Execute(id);
        UpdateAll();
    });
    m_actions.insert(id, a);
    return a;
}

void CCommandRouter::AddShortcut(UINT id, const QKeySequence& key) {
    QAction* a = Action(id);
    QList<QKeySequence> keys = a->shortcuts();
    keys.append(key);
    a->setShortcuts(keys);
    a->setShortcutContext(Qt::ApplicationShortcut);
}

QMenu* CCommandRouter::menuFor(QWidget* root, QMenuBar* bar, const QStringList& path, QHash<QString, QMenu*>& made) {
    QString key;
    QMenu* parent = qobject_cast<QMenu*>(root);
    for (const QString& part : path) {
        key += "/" + part;
        auto it = made.find(key);
        if (it != made.end()) {
            parent = it.value();
            continue;
        }
        QMenu* m = nullptr;
        // A top-level menu built by an earlier call is extended, not repeated.
        if (!parent && bar)
            for (QAction* a : bar->actions())
                if (a->menu() && a->text() == part) m = a->menu();
        if (m) {
            made.insert(key, m);
            parent = m;
            continue;
        }
        if (parent)
            m = parent->addMenu(part);
        else
            m = bar->addMenu(part);
        connect(m, &QMenu::aboutToShow, this, &CCommandRouter::UpdateAll);
        made.insert(key, m);
        parent = m;
    }
    return parent;
}

void CCommandRouter::BuildMenus(QMenuBar* bar, const std::vector<MenuItem>& items, QList<QMenu*>* topMenus) {
    QHash<QString, QMenu*> made;
    for (const MenuItem& item : items) {
        QStringList parts = QString::fromUtf8(item.path).split('/');
        QString leaf = item.id ? parts.takeLast() : QString();
        if (!item.id && !parts.isEmpty() && parts.last().isEmpty()) parts.removeLast();
        QMenu* m = menuFor(nullptr, bar, parts, made);
        if (topMenus && parts.size() >= 1) {
            QMenu* top = made.value("/" + parts.first());
            if (top && !topMenus->contains(top)) topMenus->append(top);
        }
        if (!item.id) {
            m->addSeparator();
            continue;
        }
        QAction* a = Action(item.id);
        if (!m_baseText.contains(item.id) || !Info(item.id)) m_baseText.insert(item.id, leaf);
        m->addAction(a);
    }
}

void CCommandRouter::BuildMenu(QMenu* menu, const std::vector<MenuItem>& items) {
    QHash<QString, QMenu*> made;
    connect(menu, &QMenu::aboutToShow, this, &CCommandRouter::UpdateAll);
    for (const MenuItem& item : items) {
        QStringList parts = QString::fromUtf8(item.path).split('/');
        if (item.id) parts.removeLast();
        QMenu* m = parts.isEmpty() || (parts.size() == 1 && parts[0].isEmpty()) ? menu : menuFor(menu, nullptr, parts, made);
        if (!item.id)
            m->addSeparator();
        else
            m->addAction(Action(item.id));
    }
}

void CCommandRouter::BuildToolBar(QToolBar* bar, const std::vector<UINT>& ids) {
    for (UINT id : ids) {
        if (!id)
            bar->addSeparator();
        else
            bar->addAction(Action(id));
    }
}
