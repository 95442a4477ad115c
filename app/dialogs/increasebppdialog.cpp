#include "app/dialogs/increasebppdialog.h"

#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/dialogs/dialogbuttons.h"

CIncreaseBppDialog::CIncreaseBppDialog(int bits, QWidget* parent) : QDialog(parent), m_bits(bits) {
    setWindowTitle("Increase Bpp");
    setObjectName("144");
    auto* top = new QVBoxLayout(this);
    auto* group = new QGroupBox("Bpp", this);
    auto* gl = new QVBoxLayout(group);
    m_bits4 = new QRadioButton("4", group);
    m_bits4->setObjectName("1003");
    m_bits8 = new QRadioButton("8", group);
    m_bits8->setObjectName("1004");
    m_bits24 = new QRadioButton("24", group);
    m_bits24->setObjectName("1005");
    gl->addWidget(m_bits4);
    gl->addWidget(m_bits8);
    gl->addWidget(m_bits24);
    top->addWidget(group);
    AddOkCancel(this, top);
    (m_bits == 4 ? m_bits4 : m_bits == 8 ? m_bits8 : m_bits24)->setChecked(true);
}

void CIncreaseBppDialog::accept() {
    m_bits = m_bits4->isChecked() ? 4 : m_bits8->isChecked() ? 8 : 24;
    QDialog::accept();
}
