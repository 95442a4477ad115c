#include "app/measuredialog.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

#include "ui/promptservice.h"
#include "outside/vekmeasure/qomeasure.h"

namespace {
const char* KindName(CQoMeasure::UnitKind k) {
    switch (k) {
    case CQoMeasure::KindLine: return "Line";
    case CQoMeasure::KindRect: return "Rectangle";
    case CQoMeasure::KindCircle: return "Circle";
    case CQoMeasure::KindPolygon: return "Polygon";
    case CQoMeasure::KindAngle: return "Angle";
    case CQoMeasure::KindCount: return "Count";
    case CQoMeasure::KindText: return "Remark";
    }
    return "";
}
// The open measurement tables, one per measurement object (UI thread only).
std::map<const CQoMeasure*, QPointer<CMeasureDialog>>& Tables() {
    static std::map<const CQoMeasure*, QPointer<CMeasureDialog>> tables;
    return tables;
}
}  // namespace

CMeasureDialog::CMeasureDialog(int code, CQoMeasure* measure, QWidget* parent)
    : QDialog(parent), m_nCode(code), m_pMeasure(measure) {
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    switch (code) {
    case CQoMeasure::DlgCalibrate: {
        setWindowTitle("Calibrate");
        m_nLine = measure->LastLineUnit();
        auto* form = new QFormLayout;
        form->addRow("Line:", new QLabel(QString("%1 pixels").arg(measure->LinePixels(m_nLine), 0, 'f', 2), this));
        m_pLength = new QDoubleSpinBox(this);
        m_pLength->setObjectName("length");
        m_pLength->setRange(0, 1e9);
        m_pLength->setDecimals(4);
        m_pLength->setValue(1.0);
        m_pUnit = new QLineEdit("mm", this);
        m_pUnit->setObjectName("unit");
        m_pName = new QLineEdit(this);
        m_pName->setObjectName("name");
        form->addRow("Known length:", m_pLength);
        form->addRow("Unit:", m_pUnit);
        form->addRow("Name:", m_pName);
        layout->addLayout(form);
        break;
    }
    case CQoMeasure::DlgCalibrateTable: {
        setWindowTitle("Calibrate Table");
        m_pTable = new QTableWidget(0, 3, this);
        m_pTable->setHorizontalHeaderLabels({"Name", "Units per pixel", "Unit"});
        m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
        m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
        layout->addWidget(m_pTable);
        auto* remove = new QPushButton("Delete", this);
        remove->setObjectName("delete");
        connect(remove, &QPushButton::clicked, this, [this] {
            if (m_pMeasure->RemoveCalibration(m_pTable->currentRow())) FillCalibrations();
        });
        layout->addWidget(remove);
        FillCalibrations();
        break;
    }
    case CQoMeasure::DlgMeasureTable: {
        setWindowTitle("Measure Table");
        m_pTable = new QTableWidget(0, 3, this);
        m_pTable->setHorizontalHeaderLabels({"No.", "Kind", "Value"});
        m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
        m_pTable->horizontalHeader()->setStretchLastSection(true);
        m_pTable->verticalHeader()->hide();
        layout->addWidget(m_pTable);
        buttons->setStandardButtons(QDialogButtonBox::Close);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
        FillUnits();
        break;
    }
    case CQoMeasure::DlgPrecision: {
        setWindowTitle("Precision");
        auto* form = new QFormLayout;
        m_pPrecision = new QSpinBox(this);
        m_pPrecision->setObjectName("precision");
        m_pPrecision->setRange(0, 6);
        m_pPrecision->setValue(measure->Precision());
        form->addRow("Decimals:", m_pPrecision);
        layout->addLayout(form);
        break;
    }
    default: break;
    }
    layout->addWidget(buttons);
}

void CMeasureDialog::FillCalibrations() {
    m_pTable->setRowCount(m_pMeasure->CalibrationCount());
    for (int i = 0; i < m_pMeasure->CalibrationCount(); i++) {
        const CQoCalibration& c = m_pMeasure->CalibrationAt(i);
        m_pTable->setItem(i, 0, new QTableWidgetItem(c.name));
        m_pTable->setItem(i, 1, new QTableWidgetItem(QString::number(c.unitsPerPixel, 'g', 6)));
        m_pTable->setItem(i, 2, new QTableWidgetItem(c.unit));
    }
    m_pTable->setCurrentCell(m_pMeasure->ActiveCalibration(), 0);
}

void CMeasureDialog::FillUnits() {
    m_pTable->setRowCount(m_pMeasure->UnitCount());
    for (int i = 0; i < m_pMeasure->UnitCount(); i++) {
        m_pTable->setItem(i, 0, new QTableWidgetItem(QString::number(i + 1)));
        m_pTable->setItem(i, 1, new QTableWidgetItem(KindName(m_pMeasure->UnitAt(i).type)));
        m_pTable->setItem(i, 2, new QTableWidgetItem(m_pMeasure->UnitLabel(i)));
    }
    m_pTable->resizeColumnsToContents();
    // Wide enough for a long calibrated area without a scroll bar; the value column takes
    // what the window gives it beyond that.
    const QFontMetrics fm(m_pTable->font());
    const int value = std::max(m_pTable->columnWidth(2), fm.horizontalAdvance("0000000.000000 mm\u00B2") + 16);
    const int width = m_pTable->columnWidth(0) + m_pTable->columnWidth(1) + value + 2 * m_pTable->frameWidth() +
                      m_pTable->verticalScrollBar()->sizeHint().width();
    m_pTable->setMinimumWidth(std::min(width, 900));
}

CMeasureDialog* CMeasureDialog::OpenTable(const CQoMeasure* measure) {
    auto it = Tables().find(measure);
    return it == Tables().end() ? nullptr : it->second.data();
}

void CMeasureDialog::RefreshTable(const CQoMeasure* measure) {
    if (CMeasureDialog* t = OpenTable(measure)) t->FillUnits();
}

void CMeasureDialog::CloseTable(const CQoMeasure* measure) {
    auto it = Tables().find(measure);
    if (it == Tables().end()) return;
    CMeasureDialog* table = it->second.data();
    Tables().erase(it);
    delete table;
}

void CMeasureDialog::Apply() {
    switch (m_nCode) {
    case CQoMeasure::DlgCalibrate:
        m_pMeasure->CalibrateFromLine(m_nLine, m_pLength->value(), m_pUnit->text().trimmed(), m_pName->text().trimmed());
        break;
    case CQoMeasure::DlgCalibrateTable:
        if (m_pTable->currentRow() >= 0) m_pMeasure->SetActiveCalibrateList(m_pTable->currentRow());
        break;
    case CQoMeasure::DlgPrecision: m_pMeasure->SetPrecision(m_pPrecision->value()); break;
    default: break;
    }
}

int CMeasureDialog::Run(int code, CQoMeasure* measure) {
    if (!measure) return 0;
    if (code == CQoMeasure::DlgCalibrate && measure->LastLineUnit() < 0) {
        AfxMessageBox("Draw a line of known length first.");
        return 0;
    }
    if (code == CQoMeasure::DlgMeasureTable) {
        CMeasureDialog* table = OpenTable(measure);
        if (!table) {
            table = new CMeasureDialog(code, measure, measure->View() ? measure->View()->window() : nullptr);
            table->setAttribute(Qt::WA_DeleteOnClose);
            table->setModal(false);
            Tables()[measure] = table;
            QObject::connect(table, &QObject::destroyed, [measure] {
                Tables().erase(measure);
            });
            table->adjustSize();
        } else {
            table->FillUnits();
        }
        table->show();
        table->raise();
        table->activateWindow();
        return 1;
    }
    CMeasureDialog dlg(code, measure);
    if (CPromptService::Instance().DoModal(&dlg) != QDialog::Accepted) return 0;
    if (code == CQoMeasure::DlgCalibrate && !(dlg.m_pLength->value() > 0)) return 0;
    dlg.Apply();
    return 1;
}
