#include "capture/selectdscameradlg.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QVBoxLayout>

#include "qodirectx.h"

namespace {

// The library fills the combo through this interface behind the handle it is given.
class ComboAdapter final : public IDSComboBox {
public:
    explicit ComboAdapter(QComboBox* box) : m_box(box) {}
    int AddString(const char* text) override {
        m_box->addItem(QString::fromUtf8(text ? text : ""));
        return m_box->count() - 1;
    }

private:
    QComboBox* m_box;
};

}  // namespace

CSelectDSCameraDlg::CSelectDSCameraDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Select DSCamera");
    setObjectName(QString::number(IDD));
    auto* layout = new QVBoxLayout(this);
    m_combo = new QComboBox(this);
    m_combo->setObjectName(QString::number(IDC_DEVICE));
    m_combo->setMinimumWidth(220);
    layout->addWidget(m_combo);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { accept(); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { reject(); });
    connect(m_combo->view(), &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        m_combo->setCurrentIndex(index.row());
        m_combo->hidePopup();
        accept();
    });
    m_combo->clear();
    ComboAdapter adapter(m_combo);
    DSCameraRegisterpixel(DSComboBoxHandle(&adapter));
    m_combo->setCurrentIndex(-1);
}

void CSelectDSCameraDlg::accept() {
    m_nDevice = m_combo->currentIndex();
    QDialog::accept();
}
