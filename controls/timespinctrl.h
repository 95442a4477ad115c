// The up-down buttons of the exposure-time control: each step changes the time edit's active
// field by the step, within the field's limits; a step that would leave the allowed times
// (0 ms, or past the control's maximum) does nothing. Its own position wraps over 0..1000.
// UI thread only.
#pragma once

#include <QWidget>

class CTimeEdit;

class CTimeSpinCtrl : public QWidget {
public:
    explicit CTimeSpinCtrl(QWidget* parent = nullptr);

    void SetTimeEdit(CTimeEdit* edit) { m_edit = edit; }
    void SetStep(int step) { m_step = step; }
    int GetPos() const { return m_pos; }
    void SetRange(int lower, int upper);
    // One step: delta > 0 up, < 0 down. Returns whether the field was written.
    bool OnDeltaPos(int delta);

    QImage Render() const;
    QSize sizeHint() const override { return QSize(20, 20); }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    CTimeEdit* m_edit = nullptr;
    int m_step = 1;
    int m_lower = 0, m_upper = 1000;
    int m_pos = 0;
    int m_pressed = 0;  // 1 up, -1 down while held
};
