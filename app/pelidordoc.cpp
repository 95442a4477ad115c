#include "app/pelidordoc.h"

#include <QMdiSubWindow>
#include <QPointer>

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <utility>

#include "app/cmdids.h"
#include "app/mainframe.h"
#include "app/measuredialog.h"
#include "app/pelidorapp.h"
#include "app/pelidorview.h"
#include "outside/vekmeasure/qomeasure.h"
#include "resources/resourcetable.h"
#include "ui/messages.h"
#include "ui/promptservice.h"

CPelidorDoc::CPelidorDoc() {
    m_llFrequency = 1000000000;  // the steady clock counts nanoseconds
    RegisterWindow(this);
    RegisterCommands();
    QObject::connect(&m_progressTimer, &QTimer::timeout, this, [this] { ShowProgress(); });
}

CPelidorDoc::~CPelidorDoc() {
    // Ask the running operation to stop early, then wait for it: it touches nothing of the
    // UI, so waiting here cannot deadlock. A save is left to finish: its file must be whole.
    if (m_bBusy && m_pImage && m_bWorkerChangesImage) m_pImage->SetEscape(1);
    if (m_job) m_job->waitForFinished();
    m_job.reset();
    DiscardLoad();
    UnregisterWindow();
    delete m_pBefore;
    delete m_pImage;
    CMeasureDialog::CloseTable(m_pMeasure);
    delete m_pMeasure;
    delete m_save.burnt;
}

bool CPelidorDoc::OnNewDocument() {
    delete m_pImage;
    m_pImage = nullptr;
    return true;
}

void CPelidorDoc::SetImage(PxImage* image) {
    if (image == m_pImage) return;
    delete m_pImage;
    m_pImage = image;
}

PxImage* CPelidorDoc::GetDisplayImage() const {
    // A save only reads the image, so it stays what the views draw.
    if (!IsBusy() || !m_bWorkerChangesImage) return m_pImage;
    // The snapshot taken before the command started is what the user saw.
    return m_pBefore;
}

CPelidorView* CPelidorDoc::GetFirstPelidorView() const { return dynamic_cast<CPelidorView*>(FirstView()); }

bool CPelidorDoc::DoSave(const QString& path, bool replace) { return SaveAs(path, replace, true); }

void CPelidorDoc::RefreshStatusPanes() {
    CMainFrame* mf = AfxGetMainFrame();
    if (!m_pImage || !mf) return;
    PxImage* img = GetDisplayImage() ? GetDisplayImage() : m_pImage;
    mf->SetPaneText(4, QString::asprintf("(%ux%ux%u)", img->GetWidth(), img->GetHeight(), img->GetBpp()));
    const CFormatRow* row = FindFormatRow(static_cast<int>(img == m_pImage ? FileFormat() : img->GetType()));
    mf->SetPaneText(3, row ? QString::fromUtf8(row->description).left(3) : QString());
    mf->SetPaneText(2, QString::asprintf("Time (s): %.3f", m_fElapsed));
}

// ---- undo ring ----

bool CPelidorDoc::PushUndoSnapshot() {
    if (!m_pImage || !m_pImage->IsValid()) {
        // Nothing to keep, but the steps that could be redone are gone as after any change.
        m_undo.Push(nullptr);
        return false;
    }
    m_undo.Push(std::make_unique<PxImage>(*m_pImage, true, true, true));
    return true;
}

void CPelidorDoc::OnEditUndo() {
    if (!m_pImage || IsBusy() || !m_undo.CanUndo()) return;
    const QTransform moved = m_undo.Undo(m_pImage);
    if (m_pMeasure && !moved.isIdentity()) m_pMeasure->TransformImage(moved.inverted());
    SetModifiedFlag();
    UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    RefreshStatusPanes();
}

void CPelidorDoc::OnEditRedo() {
    if (!m_pImage || IsBusy() || !m_undo.CanRedo()) return;
    const QTransform moved = m_undo.Redo(m_pImage);
    if (m_pMeasure && !moved.isIdentity()) m_pMeasure->TransformImage(moved);
    SetModifiedFlag();
    UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    RefreshStatusPanes();
}

// ---- threaded commands ----

namespace {
struct DocCommandEntry {
    CPelidorDoc::DocCommand handler;
    CPelidorDoc::DocCommandUpdate update;
};
std::unordered_map<UINT, DocCommandEntry>& DocCommands() {
    static std::unordered_map<UINT, DocCommandEntry> commands;  // UI thread only
    return commands;
}
}  // namespace

void CPelidorDoc::RegisterDocumentCommand(UINT id, DocCommand handler, DocCommandUpdate update) {
    DocCommands()[id] = DocCommandEntry{std::move(handler), std::move(update)};
}

bool CPelidorDoc::OnCmdMsg(UINT id) {
    if (CDocument::OnCmdMsg(id)) return true;
    auto it = DocCommands().find(id);
    if (it == DocCommands().end() || !it->second.handler) return false;
    it->second.handler(*this);
    return true;
}

bool CPelidorDoc::OnUpdateCmdUI(CCmdUI* ui) {
    if (CDocument::OnUpdateCmdUI(ui)) return true;
    auto it = DocCommands().find(ui->m_nID);
    if (it == DocCommands().end()) return false;
    if (it->second.update) it->second.update(*this, ui);
    return true;
}

void CPelidorDoc::EndCommand() {
    const QString failure = FinishImageCommand();
    UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    RefreshStatusPanes();
    if (CMainFrame* mf = AfxGetMainFrame()) mf->Router()->UpdateAll();
    if (!failure.isEmpty()) AfxMessageBox(failure);
    // A close that waited for this job goes on now; after a failed save the window stays.
    if (std::exchange(m_bCloseWhenDone, false) && failure.isEmpty()) CloseLater();
}

void CPelidorDoc::CloseLater() {
    CDocTemplate* t = GetDocTemplate();
    QPointer<QMdiSubWindow> frame = t ? t->FrameOf(this) : nullptr;
    if (frame) QTimer::singleShot(0, frame, [frame] { frame->close(); });
}

LRESULT CPelidorDoc::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_IMAGE_OP_PROGRESS:
        // A report of a command already ended by a wait would hide that command's time.
        if (lParam != 0 && (!IsBusy() || static_cast<uint64_t>(lParam) != m_nCommand)) return 0;
        if (CMainFrame* mf = AfxGetMainFrame()) mf->SetPaneText(2, QString("%1 %").arg(static_cast<int>(wParam)));
        return 0;
    case WM_IMAGE_OP_DONE:
        if (IsBusy()) EndCommand();
        return 0;
    default: return 0;
    }
}

// ---- synchronous commands ----

void CPelidorDoc::Crop() {
    if (!CommandEnableImageIdle() || m_nSelPoints < 3) return;
    int l = m_SelPoints[0].x(), r = l, t = m_SelPoints[0].y(), b = t;
    for (int i = 1; i < m_nSelPoints; i++) {
        l = std::min(l, m_SelPoints[i].x());
        r = std::max(r, m_SelPoints[i].x());
        t = std::min(t, m_SelPoints[i].y());
        b = std::max(b, m_SelPoints[i].y());
    }
    // An image without pixels pushes no snapshot; a refusal then has none of its own to drop.
    const bool pushed = m_pImage->IsValid();
    PushUndoSnapshot();
    bool ok;
    // Where the picture's pixels land in the cut image, for the measurements.
    QTransform moved = QTransform::fromTranslate(-std::max(l, 0), -std::max(t, 0));
    if (m_bRotatedSelection && m_nSelPoints == 5) {
        // The turned rectangle: from its top corner (smallest y, then smallest x, the later
        // point when all are equal) along the next point for the width, back to the previous
        // point for the height, at the angle of the edge to the next point.
        int c = 0;
        for (int i = 1; i < 4; i++) {
            const QPoint& p = m_SelPoints[i];
            const QPoint& q = m_SelPoints[c];
            if (p.y() < q.y() || (p.y() == q.y() && p.x() <= q.x())) c = i;
        }
        const QPoint corner = m_SelPoints[c], next = m_SelPoints[(c + 1) % 4], prev = m_SelPoints[(c + 3) % 4];
        const double width = std::hypot(double(next.x() - corner.x()), double(next.y() - corner.y()));
        const double height = std::hypot(double(prev.x() - corner.x()), double(prev.y() - corner.y()));
        const double angle = std::atan2(double(next.y() - corner.y()), double(next.x() - corner.x()));
        ok = m_pImage->CropRotatedRectangle(corner.x(), corner.y(), static_cast<LONG>(width), static_cast<LONG>(height),
                                            static_cast<float>(angle));
        // The rectangle's centre becomes the cut image's, its edge to the next point level.
        const QPointF centre = QPointF(corner) + (QPointF(next - corner) + QPointF(prev - corner)) / 2;
        moved = QTransform()
                    .translate(m_pImage->GetWidth() / 2.0, m_pImage->GetHeight() / 2.0)
                    .rotateRadians(-angle)
                    .translate(-centre.x(), -centre.y());
    } else {
        // Selection points are pixels (inclusive); the crop rectangle's right and bottom are exclusive.
        ok = m_pImage->Crop(l, t, r + 1, b + 1);
    }
    if (!ok) {
        // The library refused: the undo step would restore an unchanged image, drop it.
        if (pushed) m_undo.DropLast();
        AfxMessageBox(QString::fromUtf8(m_pImage->GetLastError()).trimmed().isEmpty()
                          ? QString::fromUtf8(kCommandFailedText)
                          : QString::fromUtf8(m_pImage->GetLastError()));
        return;
    }
    if (pushed) RecordGeometry(moved);
    m_nSelPoints = 0;
    m_bRotatedSelection = false;
    SetModifiedFlag();
    RefreshStatusPanes();
    UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
}

void CPelidorDoc::Duplicate() {
    if (!CommandEnableImageIdle()) return;
    CPelidorApp* app = AfxGetPelidorApp();
    auto* doc = dynamic_cast<CPelidorDoc*>(GetDocTemplate()->OpenDocumentFile(QString()));
    if (!doc) return;
    doc->SetImage(new PxImage(*m_pImage, true, true, true));
    doc->SetTitle(QString("Copy %1 of %2").arg(app->m_nNewImage++).arg(GetTitle()));
    doc->SetModifiedFlag();
    doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    doc->RefreshStatusPanes();
}

void CPelidorDoc::RegisterCommands() {
    auto idle = [this](CCmdUI* ui) { ui->Enable(CommandEnableImageIdle()); };
    for (UINT id : {ID_IMAGE_MIRROR, ID_IMAGE_FLIP, ID_IMAGE_ROTATEL, ID_IMAGE_ROTATER, ID_IMAGE_NEGATIVE}) {
        OnCommand(id, [this, id] { StartImageCommand(static_cast<int>(id)); });
        OnUpdateUI(id, idle);
    }
    OnCommand(ID_IMAGE_DUPLICATE, [this] { Duplicate(); });
    OnUpdateUI(ID_IMAGE_DUPLICATE, idle);
    OnCommand(ID_IMAGE_CROP, [this] { Crop(); });
    OnUpdateUI(ID_IMAGE_CROP, [this](CCmdUI* ui) { ui->Enable(CommandEnableImageIdle() && m_nSelPoints >= 3); });

    OnCommand(ID_EDIT_UNDO, [this] { OnEditUndo(); });
    OnUpdateUI(ID_EDIT_UNDO, [this](CCmdUI* ui) {
        ui->Enable(m_pImage && !IsBusy() && m_undo.CanUndo());
        ui->SetText(QString("%1 (%2)\tCtrl+Z").arg(ResourceString(1240)).arg(m_undo.Level()));
    });
    OnCommand(ID_EDIT_REDO, [this] { OnEditRedo(); });
    OnUpdateUI(ID_EDIT_REDO, [this](CCmdUI* ui) {
        ui->Enable(m_pImage && !IsBusy() && m_undo.CanRedo());
    });

    OnCommand(ID_FILE_SAVE_AS, [this] { SaveAsInBackground(); });
    OnUpdateUI(ID_FILE_SAVE_AS, idle);
    OnUpdateUI(ID_FILE_SAVE, [](CCmdUI* ui) { ui->Enable(false); });

    OnCommand(ID_IMAGE_SETTRANSPARENCY, [this] { m_bPickTransparency = 1; });
    OnUpdateUI(ID_IMAGE_SETTRANSPARENCY, idle);
    OnCommand(ID_IMAGE_REMOVETRANSPARENCY, [this] {
        PushUndoSnapshot();
        m_pImage->SetTransIndex(-1);
        SetModifiedFlag();
        UpdateAllViews(nullptr, 0);
    });
    OnUpdateUI(ID_IMAGE_REMOVETRANSPARENCY,
             [this](CCmdUI* ui) { ui->Enable(CommandEnableImageIdle() && m_pImage->GetTransIndex() >= 0); });

    OnCommand(ID_VIEW_TOOLS_MOVE, [this] { m_nTool = kToolMove; });
    OnUpdateUI(ID_VIEW_TOOLS_MOVE, [this](CCmdUI* ui) {
        ui->Enable(m_pImage != nullptr);
        ui->SetCheck(m_nTool == kToolMove);
    });
    OnCommand(ID_VIEW_TOOLS_SELECT, [this] { m_nTool = kToolSelect; });
    OnUpdateUI(ID_VIEW_TOOLS_SELECT, [this](CCmdUI* ui) { ui->SetCheck(m_nTool == kToolSelect); });
    OnCommand(ID_VIEW_TOOLS_TRACKER, [this] { m_nTool = kToolTracker; });
    OnUpdateUI(ID_VIEW_TOOLS_TRACKER, [this](CCmdUI* ui) { ui->SetCheck(m_nTool == kToolTracker); });
    OnCommand(ID_FILE_CLOSE, [this] {
        if (QWidget* f = GetDocTemplate() ? reinterpret_cast<QWidget*>(GetDocTemplate()->FrameOf(this)) : nullptr) f->close();
    });
}
