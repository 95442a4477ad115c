// The MDI child frame: the view with a horizontal and a vertical ruler in image pixels.
#pragma once

#include <QMdiSubWindow>

#include "app/rulerbar.h"

class CPelidorDoc;
class CPelidorView;

class CChildFrame : public QMdiSubWindow {
public:
    explicit CChildFrame(CPelidorDoc* doc);
    CPelidorView* View() const { return m_pView; }
    CRulerBar* HorzRuler() const { return m_pHorz; }
    CRulerBar* VertRuler() const { return m_pVert; }
    // code 0 reposition, 1 vertical scroll, 2 horizontal scroll, 3 mouse move.
    void UpdateRulers(int code, const QPoint& scroll, const QPoint& mouse, const QRect& imageRect, float zoom);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    CPelidorDoc* m_pDoc;
    CPelidorView* m_pView;
    CRulerBar* m_pHorz;
    CRulerBar* m_pVert;
};
