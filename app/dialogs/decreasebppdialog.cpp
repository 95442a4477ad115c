#include "app/dialogs/decreasebppdialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/dialogs/dataexchange.h"
#include "app/dialogs/decreasebpplogic.h"
#include "app/dialogs/dialogbuttons.h"

namespace {
QRadioButton* Radio(const QString& text, int id, QWidget* parent) {
    auto* r = new QRadioButton(text, parent);
    r->setObjectName(QString::number(id));
    return r;
}
}  // namespace

CDecreaseBppDialog::CDecreaseBppDialog(int bits, int maxColors, QWidget* parent)
    : QDialog(parent), m_bits(bits), m_maxColors(maxColors) {
    setWindowTitle("Decrease Bpp");
    setObjectName("143");
    auto* top = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* palette = new QGroupBox("Palette", this);
    auto* pl = new QVBoxLayout(palette);
    m_standard = Radio("Standard", 1006, palette);
    m_optimized = Radio("Optimized", 1007, palette);
    pl->addWidget(m_standard);
    pl->addWidget(m_optimized);
    auto* bpp = new QGroupBox("Bpp", this);
    auto* bl = new QVBoxLayout(bpp);
    m_bits1 = Radio("1", 1003, bpp);
    m_bits4 = Radio("4", 1004, bpp);
    m_bits8 = Radio("8", 1005, bpp);
    bl->addWidget(m_bits1);
    bl->addWidget(m_bits4);
    bl->addWidget(m_bits8);
    row->addWidget(palette);
    row->addWidget(bpp);
    top->addLayout(row);
    m_diffusion = new QCheckBox(" Error Diffusion", this);
    m_diffusion->setObjectName("1002");
    top->addWidget(m_diffusion);
    auto* limitRow = new QHBoxLayout;
    m_limit = new QCheckBox("Limit max colors:", this);
    m_limit->setObjectName("1008");
    m_colors = new QLineEdit(this);
    m_colors->setObjectName("1000");
    limitRow->addWidget(m_limit);
    limitRow->addWidget(m_colors);
    top->addLayout(limitRow);
    AddOkCancel(this, top);

    (m_bits == 8 ? m_bits8 : m_bits == 4 ? m_bits4 : m_bits1)->setChecked(true);
    m_optimized->setChecked(true);
    m_paletteKind = 0;
    m_diffusion->setChecked(m_errorDiffusion);
    m_colors->setText(QString::number(m_maxColors));
}

void CDecreaseBppDialog::accept() {
    m_bits = m_bits8->isChecked() ? 8 : m_bits4->isChecked() ? 4 : 1;
    m_paletteKind = m_optimized->isChecked() ? 1 : 0;
    m_errorDiffusion = m_diffusion->isChecked();
    // The first read may complain about the range, yet what it read is capped and shown; the
    // final read decides whether the dialog closes.
    int typed = m_maxColors;
    CDataExchange first(this);
    first.Int(m_colors, typed, 2, 256);
    m_maxColors = CDecreaseBppLogic::MaxColors(m_bits, m_limit->isChecked(), typed);
    m_colors->setText(QString::number(m_maxColors));
    CDataExchange last(this);
    if (!last.Int(m_colors, m_maxColors, 2, 256)) return;
    QDialog::accept();
}
