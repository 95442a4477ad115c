#include "app/dialogs/resampledialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/dialogs/dataexchange.h"
#include "app/dialogs/dialogbuttons.h"

CResampleDialog::CResampleDialog(int imageWidth, int imageHeight, QWidget* parent)
    : QDialog(parent), m_logic(imageWidth, imageHeight) {
    setWindowTitle("Resample");
    setObjectName("139");
    m_factor = m_logic.factor;
    m_width = m_logic.width;
    m_height = m_logic.height;
    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    m_byFactor = new QRadioButton("Size factor", this);
    m_byFactor->setObjectName("1003");
    m_factorEdit = new QLineEdit(this);
    m_factorEdit->setObjectName("1000");
    m_byPixels = new QRadioButton("Pixel Width x Height", this);
    m_byPixels->setObjectName("1004");
    m_widthEdit = new QLineEdit(this);
    m_widthEdit->setObjectName("1001");
    m_heightEdit = new QLineEdit(this);
    m_heightEdit->setObjectName("1002");
    grid->addWidget(m_byFactor, 0, 0, 1, 3);
    grid->addWidget(m_factorEdit, 1, 0);
    grid->addWidget(m_byPixels, 2, 0, 1, 3);
    grid->addWidget(m_widthEdit, 3, 0);
    grid->addWidget(new QLabel("x", this), 3, 1);
    grid->addWidget(m_heightEdit, 3, 2);
    top->addLayout(grid);
    m_aspect = new QCheckBox("Maintain original aspect ratio", this);
    m_aspect->setObjectName("1008");
    top->addWidget(m_aspect);
    top->addWidget(new QLabel("Interpolation:", this));
    m_list = new QComboBox(this);
    m_list->setObjectName("1019");
    // In the order of the command's quality index.
    m_list->addItems({"Nearest neighbour (fast)", "Bilinear (fast)", "Bilinear", "Bicubic (hard)", "Bicubic 2 (soft)",
                      "BSpline (blur)", "Lanczos (sharp)", "Hermite"});
    top->addWidget(m_list);
    AddOkCancel(this, top);

    m_byFactor->setChecked(true);
    m_list->setCurrentIndex(2);
    m_aspect->setChecked(true);
    m_factorEdit->setText(QString::number(m_factor));
    ShowSize();

    connect(m_aspect, &QCheckBox::toggled, this, [this](bool on) { m_logic.keepAspect = on; });
    connect(m_widthEdit, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (m_logic.WidthTyped(t)) m_heightEdit->setText(QString::number(m_logic.height));
        ShowMode();
    });
    connect(m_heightEdit, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (m_logic.HeightTyped(t)) m_widthEdit->setText(QString::number(m_logic.width));
        ShowMode();
    });
    connect(m_factorEdit, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (m_logic.FactorTyped(t)) ShowSize();
        ShowMode();
    });
}

void CResampleDialog::ShowSize() {
    m_widthEdit->setText(QString::number(m_logic.width));
    m_heightEdit->setText(QString::number(m_logic.height));
}

void CResampleDialog::ShowMode() {
    m_byFactor->setChecked(m_logic.factorMode);
    m_byPixels->setChecked(!m_logic.factorMode);
}

void CResampleDialog::accept() {
    CDataExchange dx(this);
    float factor = m_factor;
    uint32_t width = static_cast<uint32_t>(m_width), height = static_cast<uint32_t>(m_height);
    // Only the edits of the chosen way are read: the other way's fields play no part.
    if (m_byFactor->isChecked()) {
        if (!dx.Float(m_factorEdit, factor, -100.0f, 100.0f)) return;
    } else {
        if (!dx.UInt(m_widthEdit, width, 1, 65535) || !dx.UInt(m_heightEdit, height, 1, 65535)) return;
    }
    m_factor = factor;
    m_width = static_cast<int>(width);
    m_height = static_cast<int>(height);
    m_interpolation = m_list->currentIndex();
    m_mode = m_byFactor->isChecked() ? 1 : 0;
    QDialog::accept();
}
