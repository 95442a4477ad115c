#include "app/dialogs/fftdialog.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>

#include "app/dialogs/adjustwidgets.h"
#include "app/dialogs/documentlist.h"

CFftDialog::CFftDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("FFT");
    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    top->addLayout(grid);
    grid->addWidget(new QLabel("Real", this), 0, 0);
    grid->addWidget(new QLabel("Imaginary", this), 1, 0);
    m_realList = Named(new QComboBox(this), kRealId);
    m_imagList = Named(new QComboBox(this), kImagId);
    for (QComboBox* list : {m_realList, m_imagList}) {
        CDocumentList::Fill(list, true);
        list->setCurrentIndex(0);
        list->setMinimumWidth(160);
    }
    grid->addWidget(m_realList, 0, 1);
    grid->addWidget(m_imagList, 1, 1);
    m_inverse = Named(new QCheckBox("Inverse", this), kInverseId);
    m_magnitudeBox = Named(new QCheckBox("Compute magnitude", this), kMagnitudeId);
    m_forceBox = Named(new QCheckBox("Force FFT", this), kForceId);
    m_forceBox->setChecked(true);
    top->addWidget(m_inverse);
    top->addWidget(m_magnitudeBox);
    top->addWidget(m_forceBox);
    auto* buttons = new QHBoxLayout;
    top->addLayout(buttons);
    AddOkCancel(this, buttons);
}

void CFftDialog::accept() {
    CPelidorDoc* real = CDocumentList::Selected(m_realList);
    CPelidorDoc* imag = CDocumentList::Selected(m_imagList);
    if (!real && !imag) return;
    m_real = real;
    m_imag = imag;
    m_direction = m_inverse->isChecked() ? -1 : 1;
    m_magnitude = m_magnitudeBox->isChecked();
    m_force = m_forceBox->isChecked();
    QDialog::accept();
}
