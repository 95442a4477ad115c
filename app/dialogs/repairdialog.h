// "Repair": radius, iteration count and colour space of the image repair.
#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;

class CRepairDialog : public QDialog {
public:
    static constexpr int kSpaceId = 1015, kRadiusId = 1001, kIterationsId = 1002;
    static constexpr float kMaxRadius = 100.0f;

    CRepairDialog(float radius, int iterations, QWidget* parent = nullptr);

    float Radius() const { return m_radius; }
    int Iterations() const { return m_iterations; }
    int ColorSpace() const { return m_space; }

    void accept() override;

private:
    QComboBox* m_spaceList = nullptr;
    QLineEdit* m_radiusEdit = nullptr;
    QLineEdit* m_iterationsEdit = nullptr;
    float m_radius;
    int m_iterations;
    int m_space = 0;
};
