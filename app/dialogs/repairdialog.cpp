#include "app/dialogs/repairdialog.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "app/dialogs/adjustwidgets.h"
#include "app/dialogs/dataexchange.h"

CRepairDialog::CRepairDialog(float radius, int iterations, QWidget* parent)
    : QDialog(parent), m_radius(radius), m_iterations(iterations) {
    setWindowTitle("Repair");
    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    top->addLayout(grid);
    grid->addWidget(new QLabel("Color Space", this), 0, 0);
    m_spaceList = Named(new QComboBox(this), kSpaceId);
    m_spaceList->addItems({"RGB", "HSL", "YUV", "YIQ", "XYZ"});
    m_spaceList->setCurrentIndex(0);
    grid->addWidget(m_spaceList, 0, 1);
    grid->addWidget(new QLabel("Radius", this), 1, 0);
    m_radiusEdit = Named(new QLineEdit(QString::number(static_cast<double>(radius)), this), kRadiusId);
    grid->addWidget(m_radiusEdit, 1, 1);
    grid->addWidget(new QLabel("Iterations", this), 2, 0);
    m_iterationsEdit = Named(new QLineEdit(QString::number(iterations), this), kIterationsId);
    grid->addWidget(m_iterationsEdit, 2, 1);
    auto* buttons = new QHBoxLayout;
    top->addLayout(buttons);
    AddOkCancel(this, buttons);
}

void CRepairDialog::accept() {
    CDataExchange dx(this);
    float radius = m_radius;
    int32_t iterations = m_iterations;
    dx.Float(m_radiusEdit, radius, 0.0f, kMaxRadius);
    dx.Int(m_iterationsEdit, iterations, 1, 50);
    if (!dx.Ok()) return;
    m_radius = radius;
    m_iterations = iterations;
    m_space = m_spaceList->currentIndex();
    QDialog::accept();
}
