// CMainFrame: new images from the screen ("Capture...") and from the clipboard ("Paste").
#include "app/mainframe.h"

#include <QImage>
#include <QTimer>

#include <memory>

#include "app/capturedialog.h"
#include "app/clipboardimage.h"
#include "app/imageconvert.h"
#include "app/pelidorapp.h"
#include "app/pelidordoc.h"
#include "app/windowlister.h"
#include "ui/messages.h"
#include "ui/promptservice.h"

void CMainFrame::OnCapture() {
    std::unique_ptr<IWindowLister> lister = IWindowLister::Create();
    const WindowHandle camera = m_pCameraFrame ? static_cast<WindowHandle>(m_pCameraFrame->winId()) : 0;
    if (camera) lister->SetTopmost(camera, true);
    WindowHandle chosen = 0;
    {
        CCaptureDialog dlg(*lister, this);
        const bool ok = CPromptService::Instance().DoModal(&dlg) == QDialog::Accepted;
        if (camera && (!ok || dlg.ChosenWindow() != camera)) lister->SetTopmost(camera, false);
        if (!ok) return;
        chosen = dlg.ChosenWindow();
    }
    // The window's rectangle clipped to the screen; the part left or above it is skipped.
    QRect r = lister->WindowRect(chosen);
    if (r.isEmpty()) return;  // the window went away
    const QRect screen = lister->WindowRect(lister->Desktop());
    if (!screen.isEmpty()) r = r.intersected(screen);
    if (r.width() < 1 || r.height() < 1) return;
    lister->SetTopmost(chosen, true);
    // The window comes to the front and is drawn there before its part of the screen is read:
    // the rest runs from the event loop 100 ms later, which handles everything else meanwhile.
    std::shared_ptr<IWindowLister> shared(std::move(lister));
    QTimer::singleShot(100, this, [this, shared, chosen, r] { GrabCapturedWindow(*shared, chosen, r); });
}

void CMainFrame::GrabCapturedWindow(IWindowLister& lister, uintptr_t chosen, const QRect& r) {
    const bool stillThere = !lister.WindowRect(chosen).isEmpty();
    const QImage picture = stillThere ? lister.GrabScreen(r) : QImage();
    lister.SetTopmost(chosen, false);
    raise();
    activateWindow();
    if (!stillThere) return;
    auto image = std::make_unique<PxImage>();
    if (picture.isNull() || !ImageFromQImage(picture, *image)) {
        AfxMessageBox("The screen's picture cannot be read on this display.");
        return;
    }
    CPelidorApp* app = AfxGetPelidorApp();
    auto* doc = dynamic_cast<CPelidorDoc*>(app->DocTemplate()->OpenDocumentFile(QString()));
    if (!doc) return;
    doc->SetImage(image.release());
    doc->SetTitle(QString("Captured Image %1").arg(app->m_nNewImage++));
    doc->SetModifiedFlag();
    doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    doc->RefreshStatusPanes();
}

void CMainFrame::OnEditPaste() {
    PxImage* image = ImageFromClipboard();
    if (!image) return;
    CPelidorApp* app = AfxGetPelidorApp();
    auto* doc = dynamic_cast<CPelidorDoc*>(app->DocTemplate()->OpenDocumentFile(QString()));
    if (!doc) {
        delete image;
        return;
    }
    doc->SetImage(image);
    doc->SetTitle(QString("Clipboard Image %1").arg(app->m_nNewImage++));
    doc->SetModifiedFlag();
    doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    doc->RefreshStatusPanes();
}
