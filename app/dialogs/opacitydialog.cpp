#include "app/dialogs/opacitydialog.h"

#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "app/dialogs/adjustwidgets.h"
#include "app/dialogs/dataexchange.h"

COpacityDialog::COpacityDialog(BYTE level, QWidget* parent) : QDialog(parent), m_level(level) {
    setWindowTitle("Opacity");
    auto* top = new QVBoxLayout(this);
    top->addWidget(new QLabel("Level [0 ... 255]", this));
    m_edit = Named(new QLineEdit(QString::number(level), this), kLevelId);
    top->addWidget(m_edit);
    auto* buttons = new QHBoxLayout;
    top->addLayout(buttons);
    AddOkCancel(this, buttons);
}

void COpacityDialog::accept() {
    CDataExchange dx(this);
    BYTE v = m_level;
    if (!dx.Byte(m_edit, v)) return;
    m_level = v;
    QDialog::accept();
}
