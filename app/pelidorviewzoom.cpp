// The view's zoom: the ladder of the zoom buttons, the zoom combo's typed value, 1:1.
#include "app/pelidorview.h"

#include <algorithm>

#include "app/cmdids.h"
#include "app/mainframe.h"
#include "app/pelidorapp.h"
#include "app/pelidordoc.h"
#include "ui/messages.h"
#include "ui/promptservice.h"

namespace {

const float kZoomLadder[] = {0.25f, 0.5f, 0.75f, 1.0f, 1.5f, 2.0f, 4.0f, 8.0f, 16.0f};

}  // namespace

void CPelidorView::RegisterZoomCommands() {
    auto hasImage = [this] { return GetDocument() && GetDocument()->GetImage(); };
    OnCommand(ID_VIEW_ZOOMIN, [this] { ZoomIn(); });
    OnUpdateUI(ID_VIEW_ZOOMIN, [this, hasImage](CCmdUI* ui) { ui->Enable(hasImage() && !m_bStretch && m_fZoom < 16); });
    OnCommand(ID_VIEW_ZOOMOUT, [this] { ZoomOut(); });
    OnUpdateUI(ID_VIEW_ZOOMOUT,
               [this, hasImage](CCmdUI* ui) { ui->Enable(hasImage() && !m_bStretch && m_fZoom > 0.25f); });
    OnCommand(ID_VIEW_NORMALVIEWING11, [this] {
        m_fZoom = 1.0f;
        OnUpdate(nullptr, WM_IMAGE_OP_DONE);
    });
    OnUpdateUI(ID_VIEW_NORMALVIEWING11, [this](CCmdUI* ui) { ui->Enable(!m_bStretch && m_fZoom != 1.0f); });
}

void CPelidorView::SetZoom(float zoom, bool showInCombo, const QString& text) {
    m_fZoom = zoom;
    if (showInCombo)
        if (CMainFrame* mf = AfxGetMainFrame()) {
            mf->SetPaneText(2, text);
            mf->SetZoomComboText(text);
        }
    OnUpdate(nullptr, WM_IMAGE_OP_DONE);
}

void CPelidorView::ZoomIn() {
    if (m_fZoom >= 16) return;
    float z = 16;
    for (float step : kZoomLadder)
        if (step > m_fZoom) {
            z = step;
            break;
        }
    SetZoom(z, true, QString::asprintf("%4.0f %%", z * 100));
}

void CPelidorView::ZoomOut() {
    if (m_fZoom <= 0.0625f) return;
    float z = 0.25f;
    for (float step : kZoomLadder)
        if (step < m_fZoom) z = step;
    SetZoom(z, true, QString::asprintf("%4.0f %%", z * 100));
}

bool CPelidorView::ZoomList(const QString& input) {
    const QString t = input.trimmed();
    for (int i = 0; i < t.size(); i++) {
        if (t[i].isDigit() && t[i].unicode() < 128) continue;
        if (t[i] == '%' && i == t.size() - 1) continue;
        AfxMessageBox("ERROR!");
        return false;
    }
    // Digits beyond what an int holds saturate at the top of the range.
    const QString digits = t.endsWith('%') ? t.left(t.size() - 1) : t;
    long long n = 0;
    for (QChar c : digits) {
        n = n * 10 + (c.unicode() - '0');
        if (n > 1600) {
            n = 1600;
            break;
        }
    }
    n = std::clamp<long long>(n, 25, 1600);
    SetZoom(static_cast<float>(n * 0.01), true, QString("%1%").arg(n));
    return true;
}
