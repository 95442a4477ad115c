#include "app/measurecommands.h"

#include "app/cmdids.h"
#include "ui/commandrouter.h"
#include "app/mainframe.h"
#include "app/measuredialog.h"
#include "app/pelidorapp.h"
#include "app/pelidordoc.h"
#include "app/magnifierwnd.h"
#include "app/thumbnaillistctrl.h"
#include "ui/messages.h"
#include "outside/vekmeasure/qomeasure.h"

const std::vector<CMeasureCommands::Row>& CMeasureCommands::Table() {
    static const std::vector<Row> rows = {
        {ID_MEASURE_CALIBRATE, 0, RecordTool, CheckItem, 0},
        {ID_MEASURE_CALIBRATETABLE, 1, RecordTool, CheckItem, 1},
        {ID_MEASURE_SELECT, 10, RecordItemSelection, CheckSelection, 0},
        {ID_MEASURE_LINE, 2, RecordItemSelection, CheckSelectionNow, 1},
        {ID_MEASURE_PARALLEL, 20, RecordItemSelection, CheckSelectionNow, 10},
        {ID_MEASURE_PERPENDICULAR, 23, RecordItemSelection, CheckSelectionNow, 13},
        {ID_MEASURE_RECTANGLE, 3, RecordItemSelection, CheckSelection, 2},
        {ID_MEASURE_TWOPOINTCIRCLE, 4, RecordItemSelection, CheckSelection, 3},
        {ID_MEASURE_THREEPOINTCIRCLE, 5, RecordItemSelection, CheckSelection, 3},
        {ID_MEASURE_DIAMETERCIRCLE, 21, RecordItemSelection, CheckSelection, 11},
        {ID_MEASURE_CONCENTRICCIRCLE, 22, RecordItemSelection, CheckSelection, 12},
        {ID_MEASURE_POLYGON, 6, RecordItemSelection, CheckSelection, 4},
        {ID_MEASURE_ANGLE, 7, RecordItemSelection, CheckSelection, 5},
        {ID_MEASURE_COUNT, 8, RecordItemSelection, CheckSelection, 6},
        {ID_MEASURE_REMARK, 9, RecordItemSelection, CheckSelection, 7},
        {ID_MEASURE_ARC, 18, RecordItemSelection, CheckSelection, 9},
        {ID_MEASURE_DELETE, 15, RecordItemSelection, CheckSelection, 8},
        {ID_MEASURE_KEEPCURRENT, 14, RecordLock, CheckLock, 1},
        {ID_MEASURE_PRECISION, 19, RecordTool, CheckItem, 19},
        {ID_MEASURE_TABLE, 13, RecordTool, CheckItem, 13},
    };
    return rows;
}

const CMeasureCommands::Row* CMeasureCommands::Find(UINT id) {
    for (const Row& r : Table())
        if (r.id == id) return &r;
    return nullptr;
}

int CMeasureCommands::Execute(CPelidorDoc& doc, const Row& row) {
    const int result = CQoMeasure::MenuItemEvent(row.code, doc.m_pMeasure);
    if (!result) return 0;
    doc.m_nTool = kToolMeasure;
    switch (row.records) {
    case RecordTool: break;
    case RecordItemSelection:
        doc.m_nCurMeasureItem = row.code;
        doc.m_nCurMeasureSel = CQoMeasure::GetCurSelItem();
        return doc.m_nCurMeasureSel;
    case RecordLock:
        doc.m_nCurMeasureItem = row.code;
        doc.m_bMeasureLock = !doc.m_bMeasureLock;
        break;
    }
    return result;
}

void CMeasureCommands::Update(CPelidorDoc& doc, const Row& row, CCmdUI* ui) {
    ui->Enable(doc.GetImage() != nullptr);
    bool on = false;
    switch (row.check) {
    case CheckItem: on = doc.m_nCurMeasureItem == row.checkValue; break;
    case CheckSelection: on = doc.m_nCurMeasureSel == row.checkValue; break;
    case CheckSelectionNow: on = CQoMeasure::GetCurSelItem() == row.checkValue; break;
    case CheckLock: on = doc.m_bMeasureLock != 0; break;
    }
    ui->SetCheck(doc.m_nTool == kToolMeasure && on);
}

void CMeasureCommands::ToggleScaleLine(CPelidorDoc& doc) {
    doc.m_bShowScaleLine = !doc.m_bShowScaleLine;
    if (CPelidorApp* app = AfxGetPelidorApp()) app->m_bShowScaleLine = doc.m_bShowScaleLine;
    if (doc.m_pMeasure) doc.m_pMeasure->ScaleLine(doc.m_bShowScaleLine);
    doc.UpdateAllViews(nullptr, 0);
}

bool CMeasureCommands::ChooseCalibration(CPelidorDoc& doc, int index) {
    if (!doc.m_pMeasure) return false;
    const QStringList* list = doc.m_pMeasure->GetActiveCalibrateList();
    if (!list || list->isEmpty() || index < 0 || index >= list->size()) return false;
    doc.m_pMeasure->SetActiveCalibrateList(index);
    doc.UpdateAllViews(nullptr, 0);
    return true;
}

void CMeasureCommands::Register() {
    static bool done = false;
    if (done) return;
    done = true;
    CQoMeasure::SetDialogHook([](int code, CQoMeasure* m) { return CMeasureDialog::Run(code, m); });
    for (const Row& row : Table()) {
        const Row r = row;
        CPelidorDoc::RegisterDocumentCommand(
            r.id,
            [r](CPelidorDoc& doc) {
                if (doc.GetImage()) {
                    Execute(doc, r);
                    doc.UpdateAllViews(nullptr, 0);
                }
            },
            [r](CPelidorDoc& doc, CCmdUI* ui) { Update(doc, r, ui); });
    }
    CPelidorDoc::RegisterDocumentCommand(
        ID_MEASURE_SHOWSCALELINE,
        [](CPelidorDoc& doc) {
            if (doc.GetImage()) ToggleScaleLine(doc);
        },
        [](CPelidorDoc& doc, CCmdUI* ui) {
            ui->Enable(doc.GetImage() != nullptr);
            ui->SetCheck(doc.m_bShowScaleLine != 0);
        });
    // The calibration list's entries: no update rule, they are made only when they exist.
    for (int i = 0; i < kCalibrationEntries; i++)
        CPelidorDoc::RegisterDocumentCommand(kFirstCalibration + i, [i](CPelidorDoc& doc) { ChooseCalibration(doc, i); });
    // The start page's thumbnail list deletes its selected image.
    CPelidorDoc::RegisterDocumentCommand(ID_IMAGE_DELETE, [](CPelidorDoc&) {
        if (CThumbnailListCtrl* list = CThumbnailListCtrl::Instance())
            SendMessage(list->GetSafeHwnd(), WM_COMMAND, ID_THUMBNAIL_DELETE, 0);
    });
    CPelidorDoc::RegisterDocumentCommand(
        ID_VIEW_MAGNIFIER,
        [](CPelidorDoc& doc) {
            CMainFrame* mf = AfxGetMainFrame();
            if (!mf || !doc.GetImage()) return;
            CMagnifierWnd* w = mf->Magnifier(true);
            w->show();
            w->raise();
        },
        [](CPelidorDoc& doc, CCmdUI* ui) {
            ui->Enable(doc.GetImage() != nullptr);
            CMainFrame* mf = AfxGetMainFrame();
            if (!doc.GetImage() && mf && mf->Magnifier(false)) mf->Magnifier(false)->hide();
        });
}
