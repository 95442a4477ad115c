#include "app/dialogs/skewdialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/dialogs/dataexchange.h"
#include "app/dialogs/dialogbuttons.h"

#include <algorithm>

namespace {
QLineEdit* Edit(QWidget* parent, int id, bool readOnly = false) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::number(id));
    if (readOnly) {
        e->setReadOnly(true);
        e->setFrame(false);
        e->setFocusPolicy(Qt::NoFocus);
    }
    return e;
}
}  // namespace

CSkewDialog::CSkewDialog(int imageWidth, int imageHeight, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Skew");
    setObjectName("167");
    m_logic.imageWidth = imageWidth;
    m_logic.imageHeight = imageHeight;
    auto* top = new QVBoxLayout(this);
    auto* pivot = new QGroupBox("Pivot", this);
    auto* pg = new QGridLayout(pivot);
    m_pivotXEdit = Edit(pivot, 1000);
    m_pivotYEdit = Edit(pivot, 1001);
    pg->addWidget(new QLabel("x", pivot), 0, 0);
    pg->addWidget(m_pivotXEdit, 0, 1);
    pg->addWidget(new QLabel("y", pivot), 1, 0);
    pg->addWidget(m_pivotYEdit, 1, 1);
    top->addWidget(pivot);
    auto* skew = new QGroupBox("Skew", this);
    auto* sg = new QGridLayout(skew);
    m_skewXEdit = Edit(skew, 1003);
    m_skewYEdit = Edit(skew, 1004);
    m_angleXEdit = Edit(skew, 1005, true);
    m_angleYEdit = Edit(skew, 1006, true);
    m_slopeXEdit = Edit(skew, 1007, true);
    m_slopeYEdit = Edit(skew, 1008, true);
    sg->addWidget(new QLabel("Angle", skew), 0, 2);
    sg->addWidget(new QLabel("Slope", skew), 0, 3);
    sg->addWidget(new QLabel("x", skew), 1, 0);
    sg->addWidget(m_skewXEdit, 1, 1);
    sg->addWidget(m_angleXEdit, 1, 2);
    sg->addWidget(m_slopeXEdit, 1, 3);
    sg->addWidget(new QLabel("y", skew), 2, 0);
    sg->addWidget(m_skewYEdit, 2, 1);
    sg->addWidget(m_angleYEdit, 2, 2);
    sg->addWidget(m_slopeYEdit, 2, 3);
    top->addWidget(skew);
    m_interp = new QCheckBox("Enable interpolation", this);
    m_interp->setObjectName("1002");
    top->addWidget(m_interp);
    AddOkCancel(this, top);

    m_interp->setChecked(m_interpolation);
    m_pivotXEdit->setText(QString::number(m_pivotX));
    m_pivotYEdit->setText(QString::number(m_pivotY));
    m_skewXEdit->setText(QString::number(m_logic.skewX));
    m_skewYEdit->setText(QString::number(m_logic.skewY));
    m_logic.Update();
    ShowDerived();
    connect(m_skewXEdit, &QLineEdit::textEdited, this, [this] { SkewEdited(); });
    connect(m_skewYEdit, &QLineEdit::textEdited, this, [this] { SkewEdited(); });
}

void CSkewDialog::ShowDerived() {
    m_angleXEdit->setText(QString::number(m_logic.angleX));
    m_angleYEdit->setText(QString::number(m_logic.angleY));
    m_slopeXEdit->setText(QString::number(m_logic.slopeX));
    m_slopeYEdit->setText(QString::number(m_logic.slopeY));
}

void CSkewDialog::SkewEdited() {
    // The skew fields are the user's: they are read, never rewritten; text still being typed
    // ("5.", "-") leaves the derived fields as they were.
    bool okX = false, okY = false;
    const double x = m_skewXEdit->text().trimmed().toDouble(&okX);
    const double y = m_skewYEdit->text().trimmed().toDouble(&okY);
    if (!okX || !okY) return;
    m_logic.skewX = x;
    m_logic.skewY = y;
    m_logic.Update();
    ShowDerived();
}

void CSkewDialog::accept() {
    CDataExchange dx(this);
    LONG px = m_pivotX, py = m_pivotY;
    float sx = 0, sy = 0;
    const int w = std::max(1, m_logic.imageWidth), h = std::max(1, m_logic.imageHeight);
    if (!dx.Long(m_pivotXEdit, px, -w, w) || !dx.Long(m_pivotYEdit, py, -h, h) ||
        !dx.Float(m_skewXEdit, sx, -100000.0f, 100000.0f) || !dx.Float(m_skewYEdit, sy, -100000.0f, 100000.0f))
        return;
    m_pivotX = px;
    m_pivotY = py;
    // The slopes come from the text as read now, in double precision.
    m_logic.skewX = m_skewXEdit->text().trimmed().toDouble();
    m_logic.skewY = m_skewYEdit->text().trimmed().toDouble();
    m_logic.Update();
    m_slopeX = m_logic.slopeX;
    m_slopeY = m_logic.slopeY;
    m_interpolation = m_interp->isChecked();
    QDialog::accept();
}
