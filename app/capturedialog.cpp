#include "app/capturedialog.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QVBoxLayout>

#include "controls/iconbutton.h"

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
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new CIconButton(this);
    ok->setObjectName("1");
    ok->setText("OK");
    ok->SetIcon(155);
    ok->setDefault(true);
    auto* cancel = new CIconButton(this);
    cancel->setObjectName("2");
    cancel->setText("Cancel");
    cancel->SetIcon(154);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] { accept(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
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
