#include "capture/selectcameradlg.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "capture/cameramodeltraits.h"
#include "resources/resourcetable.h"

CSelectCameraDlg::CSelectCameraDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Select Camera");
    setObjectName(QString::number(IDD));
    auto* layout = new QVBoxLayout(this);
    m_combo = new QComboBox(this);
    m_combo->setObjectName(QString::number(IDC_CAMERA));
    layout->addWidget(m_combo);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { accept(); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { reject(); });
    // A double-click on an entry of the open list confirms it, like OK.
    connect(m_combo->view(), &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        m_combo->setCurrentIndex(index.row());
        m_combo->hidePopup();
        accept();
    });
}

bool CSelectCameraDlg::HasVariants(int id) { return CameraModelTraits::Of(id).colorVariant != 0; }

bool CSelectCameraDlg::HasVariants() const { return HasVariants(m_nCameraId); }

void CSelectCameraDlg::SetCameraId(int id) {
    m_nCameraId = id;
    m_combo->clear();
    if (HasVariants(id)) {
        m_combo->addItem(ResourceString(61458));
        m_combo->addItem(ResourceString(61457));
    } else if (CameraModelTraits::Of(id).colorAndChsEntries) {
        m_combo->addItem(ResourceString(61461));
        m_combo->addItem(ResourceString(61462));
    }
    m_combo->setCurrentIndex(m_combo->count() ? 0 : -1);
}

int CSelectCameraDlg::MapSelection(int id, int item) {
    const CameraModelTraits& traits = CameraModelTraits::Of(id);
    if (!traits.colorVariant) return id;
    return item == 1 ? traits.colorVariant : traits.monoVariant;
}

void CSelectCameraDlg::accept() {
    m_nCameraId = MapSelection(m_nCameraId, m_combo->currentIndex());
    QDialog::accept();
}
