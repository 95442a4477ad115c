#include "app/dialogs/ditherdialog.h"

#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/dialogs/dialogbuttons.h"

CDitherDialog::CDitherDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Dither");
    setObjectName("147");
    auto* top = new QVBoxLayout(this);
    const char* names[] = {"Floyd-Steinberg", "Ordered dither",  "Burkes",         "Stucki",
                           "Jarvis-Judice-Ninke", "Sierra", "Stevenson-Arce", "Bayer matrix (4x4 ordered dither)"};
    for (int i = 0; i < 8; i++) {
        auto* r = new QRadioButton(names[i], this);
        r->setObjectName(QString::number(1003 + i));
        top->addWidget(r);
        m_radios.push_back(r);
    }
    AddOkCancel(this, top);
    m_radios[0]->setChecked(true);
}

void CDitherDialog::accept() {
    m_method = 0;
    for (size_t i = 0; i < m_radios.size(); i++)
        if (m_radios[i]->isChecked()) m_method = static_cast<int>(i);
    QDialog::accept();
}
