#include "app/dialogs/jpegleveldialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/dialogs/dataexchange.h"
#include "app/dialogs/dialogbuttons.h"

CJpegLevelDialog::CJpegLevelDialog(int level, QWidget* parent) : QDialog(parent), m_level(level) {
    setWindowTitle("JPEG compression");
    setObjectName("168");
    auto* top = new QVBoxLayout(this);
    top->addWidget(new QLabel("Level [0 ... 255]", this));
    m_edit = new QLineEdit(this);
    m_edit->setObjectName("1000");
    top->addWidget(m_edit);
    auto* group = new QGroupBox("Format", this);
    auto* gl = new QVBoxLayout(group);
    m_jpeg = new QRadioButton("Jpeg standard (JPG)", group);
    m_jpeg->setObjectName("1003");
    m_jpeg2000 = new QRadioButton("Jpeg 2000 (JPC, JP2)", group);
    m_jpeg2000->setObjectName("1004");
    gl->addWidget(m_jpeg);
    gl->addWidget(m_jpeg2000);
    top->addWidget(group);
    AddOkCancel(this, top);
    m_edit->setText(QString::number(m_level));
    m_jpeg->setChecked(true);
}

void CJpegLevelDialog::accept() {
    CDataExchange dx(this);
    int level = m_level;
    if (!dx.Int(m_edit, level, 0, 100)) return;
    m_level = level;
    m_format = m_jpeg->isChecked() ? 0 : 1;
    QDialog::accept();
}
