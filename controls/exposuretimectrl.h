// Shows and edits an exposure time as minutes, seconds and milliseconds. Display mode: the
// masked time edit, a flat slider over the whole range and a spin for the active field. Edit
// mode (a double-click on a field or a typed digit): a plain edit for one field with "Y" to
// apply and "N" to cancel. Every change is posted to the parent as WM_TIMECHANGE with the
// control's id, once per field written: the parent reads GetTime when it handles one, which is
// after all the writes of one change. UI thread only.
#pragma once

#include <QFont>
#include <QWidget>

#include "ui/msgbridge.h"
#include "platform/wintypes.h"

class CTimeEdit;
class CFlatSliderCtrl;
class CTimeSpinCtrl;
class QLineEdit;
class CShadeButton;

class CExposureTimeCtrl : public QWidget, public CMessageTarget {
public:
    enum { kEditMode = 0, kDisplayMode = 1 };
    // Child ids.
    static constexpr int kApplyId = 1, kCancelId = 2, kSpinId = 2, kValueEditId = 3, kTimeEditId = 4, kSliderId = 5;

    CExposureTimeCtrl();
    ~CExposureTimeCtrl() override;

    // Creates the control and its children as a child of the parent; false without a parent or
    // when already created.
    bool Create(QWidget* parent, const RECT& rect, UINT id);
    UINT GetDlgCtrlID() const { return m_id; }

    void SetMaxTime(int minutes, int seconds, int milliseconds);
    // Ignored (false) unless it fits: under 100 minutes, seconds and milliseconds within their
    // field limits. Writes milliseconds, seconds, then minutes; the minutes become active.
    bool SetTime(DWORD milliseconds);
    DWORD GetTime() const;
    void SetActiveField(int field);
    void EnableControl(bool enabled);
    // False (stored anyway) while the control is not created.
    bool SetBkColor(COLORREF c);
    COLORREF GetBkColor() const { return m_bkColor; }
    void ShowSlider(bool shown);
    void SetEditHeight(int pixels);
    int GetMode() const { return m_mode; }

    CTimeEdit* TimeEdit() const { return m_timeEdit; }
    CFlatSliderCtrl* Slider() const { return m_slider; }
    CTimeSpinCtrl* Spin() const { return m_spin; }
    QLineEdit* ValueEdit() const { return m_valueEdit; }
    CShadeButton* ApplyButton() const { return m_apply; }
    CShadeButton* CancelButton() const { return m_cancel; }

    // The caption under the edit-mode field.
    static QString FieldCaption(int field);
    QImage Render() const;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void paintEvent(QPaintEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void SetMode(int mode);
    void Layout();
    void EditField(int field, const QString& text, int selectFrom);
    // The edit mode's value for the active field: refused ones leave everything as it is.
    bool Apply();
    void ApplyMaxTime();

    UINT m_id = 0;
    bool m_created = false;
    CTimeEdit* m_timeEdit = nullptr;
    CFlatSliderCtrl* m_slider = nullptr;
    CTimeSpinCtrl* m_spin = nullptr;
    QLineEdit* m_valueEdit = nullptr;
    CShadeButton* m_apply = nullptr;
    CShadeButton* m_cancel = nullptr;
    int m_mode = kDisplayMode;
    COLORREF m_bkColor;
    bool m_sliderShown = true;
    QFont m_font;
    int m_editHeight = 20;
    int m_maxMinutes = 10, m_maxSeconds = 59, m_maxMilliseconds = 999;  // the total maximum
    bool m_maxTimeSet = false;
};
