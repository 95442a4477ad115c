#include "app/capturedialog.h"

#include <QFontMetrics>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "app/dialogs/dialogbuttons.h"
#include "controls/iconbutton.h"
#include "resources/resourcetable.h"

std::vector<ListedWindow> CCaptureDialog::ListableWindows(const std::vector<ListedWindow>& windows) {
    std::vector<ListedWindow> accepted;
    for (const ListedWindow& w : windows) {
        if (static_cast<int>(accepted.size()) >= kMaxWindows) break;
        if (!w.visible || w.minimised) continue;
        if (w.client.width() <= 4 || w.client.height() <= 4) continue;
        if (w.title.isEmpty()) continue;
        ListedWindow kept = w;
        kept.title.truncate(kMaxTitle);
        accepted.push_back(kept);
    }
    if (!accepted.empty()) accepted.erase(accepted.begin());
    return accepted;
}

CCaptureDialog::CCaptureDialog(IWindowLister& lister, QWidget* parent) : QDialog(parent) {
    setObjectName("138");
    setWindowTitle("Capture");
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    auto* layout = new QVBoxLayout(this);
    m_pList = new QListWidget(this);
    m_pList->setObjectName(QString::number(kListId));
    layout->addWidget(m_pList);
    CIconButton* buttons[2] = {};
    AddOkCancel(this, layout, &buttons[0], &buttons[1]);
    // Icon and label side by side, the whole label inside the button whatever the font.
    const int icon = ResourcePixmap(155).width();
    for (CIconButton* b : buttons) {
        const QFontMetrics fm(b->font());
        b->setMinimumWidth(std::max(b->minimumWidth(), fm.horizontalAdvance(b->text()) + icon + 24));
        b->setMinimumHeight(std::max(b->sizeHint().height(), std::max(fm.height(), icon) + 8));
    }
    connect(m_pList, &QListWidget::itemDoubleClicked, this, [this] { accept(); });

    auto* desktop = new QListWidgetItem("Desktop", m_pList);
    desktop->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(lister.Desktop()));
    for (const ListedWindow& w : ListableWindows(lister.Enumerate())) {
        auto* item = new QListWidgetItem(w.title, m_pList);
        item->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(w.handle));
    }
    m_pList->setCurrentRow(0);
}

void CCaptureDialog::accept() {
    QListWidgetItem* item = m_pList->currentItem();
    if (!item) return;
    m_hWindow = static_cast<WindowHandle>(item->data(Qt::UserRole).toULongLong());
    m_strText = item->text();
    QDialog::accept();
}
