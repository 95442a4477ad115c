// The "Measure" commands, the calibration list popup and the library's own windows.
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>

#include "app/cmdids.h"
#include "app/mainframe.h"
#include "app/measurecommands.h"
#include "app/measuredialog.h"
#include "app/pelidordoc.h"
#include "ui/messages.h"
#include "outside/vekmeasure/qomeasure.h"
#include "apptest.h"

namespace {

class MeasureCommandsTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        ASSERT_TRUE(StartWithDocument(mf, doc));
        doc->SetImage(MakeImage(80, 60));
        doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
        Pump();
        ASSERT_EQ(mf->ActiveDocument(), doc);
        ASSERT_TRUE(doc->m_pMeasure);
    }
    void DrawLine(QPoint a, QPoint b) {
        ASSERT_TRUE(CQoMeasure::MenuItemEvent(2, doc->m_pMeasure));
        doc->m_pMeasure->SetScale(1.0);
        doc->m_pMeasure->OnLButtonDown(a);
        doc->m_pMeasure->OnLButtonUp(b);
    }
    CMainFrame* mf = nullptr;
    CPelidorDoc* doc = nullptr;
};

TEST_F(MeasureCommandsTest, CommandsRecordToolItemAndSelectionAndShowTheirChecks) {
    CCommandRouter* r = mf->Router();
    EXPECT_TRUE(r->Query(ID_MEASURE_ANGLE).m_bEnabled);
    EXPECT_EQ(r->Query(ID_MEASURE_ANGLE).m_nCheck, 0);
    ASSERT_TRUE(r->Execute(ID_MEASURE_ANGLE));
    EXPECT_EQ(doc->m_nTool, kToolMeasure);
    EXPECT_EQ(doc->m_nCurMeasureItem, 7);
    EXPECT_EQ(doc->m_nCurMeasureSel, 5);
    EXPECT_EQ(r->Query(ID_MEASURE_ANGLE).m_nCheck, 1);
    EXPECT_EQ(r->Query(ID_MEASURE_RECTANGLE).m_nCheck, 0);

    // Two and three point circles share one selection, so both show checked.
    ASSERT_TRUE(r->Execute(ID_MEASURE_TWOPOINTCIRCLE));
    EXPECT_EQ(r->Query(ID_MEASURE_TWOPOINTCIRCLE).m_nCheck, 1);
    EXPECT_EQ(r->Query(ID_MEASURE_THREEPOINTCIRCLE).m_nCheck, 1);

    // Line, parallel and perpendicular read the library's selection again when asked.
    ASSERT_TRUE(r->Execute(ID_MEASURE_LINE));
    EXPECT_EQ(r->Query(ID_MEASURE_LINE).m_nCheck, 1);
    CQoMeasure::MenuItemEvent(20, doc->m_pMeasure);  // the library moves on without the document
    EXPECT_EQ(doc->m_nCurMeasureSel, 1);
    EXPECT_EQ(r->Query(ID_MEASURE_LINE).m_nCheck, 0);
    EXPECT_EQ(r->Query(ID_MEASURE_PARALLEL).m_nCheck, 1);

    // A tool-only command keeps the current item: its check mark stays off.
    ASSERT_TRUE(r->Execute(ID_MEASURE_PRECISION));  // the precision window, rejected
    EXPECT_EQ(doc->m_nTool, kToolMeasure);
    EXPECT_EQ(doc->m_nCurMeasureItem, 2);
    EXPECT_EQ(r->Query(ID_MEASURE_PRECISION).m_nCheck, 0);

    // Keep Current Measure inverts the lock each time.
    ASSERT_TRUE(r->Execute(ID_MEASURE_KEEPCURRENT));
    EXPECT_EQ(doc->m_bMeasureLock, 1);
    EXPECT_EQ(doc->m_nCurMeasureItem, 14);
    EXPECT_EQ(r->Query(ID_MEASURE_KEEPCURRENT).m_nCheck, 1);
    r->Execute(ID_MEASURE_KEEPCURRENT);
    EXPECT_EQ(doc->m_bMeasureLock, 0);

    // Another tool turns the check marks off.
    r->Execute(ID_VIEW_TOOLS_MOVE);
    EXPECT_EQ(r->Query(ID_MEASURE_LINE).m_nCheck, 0);
}

TEST_F(MeasureCommandsTest, ARefusedCodeChangesNothing) {
    doc->m_nTool = kToolMove;
    doc->m_nCurMeasureItem = 3;
    doc->m_nCurMeasureSel = 2;
    // Calibrating without a drawn line is refused, with a word to the user.
    mf->Router()->Execute(ID_MEASURE_CALIBRATE);
    EXPECT_EQ(doc->m_nTool, kToolMove);
    EXPECT_EQ(doc->m_nCurMeasureItem, 3);
    EXPECT_EQ(doc->m_nCurMeasureSel, 2);
    ASSERT_FALSE(prompts.messages.isEmpty());
    EXPECT_TRUE(prompts.dialogs.isEmpty());
    // A row the library does not know is refused too.
    const CMeasureCommands::Row bad{ID_MEASURE_ANGLE, 24, CMeasureCommands::RecordItemSelection,
                                    CMeasureCommands::CheckSelection, 5};
    EXPECT_EQ(CMeasureCommands::Execute(*doc, bad), 0);
    EXPECT_EQ(doc->m_nTool, kToolMove);
}

TEST_F(MeasureCommandsTest, CalibrateFromADrawnLineAndTheTablesAndPrecision) {
    DrawLine(QPoint(0, 0), QPoint(30, 40));  // 50 pixels
    prompts.onDialog = [](QDialog* d) {
        auto* dlg = static_cast<CMeasureDialog*>(d);
        dlg->m_pLength->setValue(10.0);
        dlg->m_pUnit->setText("um");
        dlg->m_pName->setText("10x");
        return int(QDialog::Accepted);
    };
    mf->Router()->Execute(ID_MEASURE_CALIBRATE);
    EXPECT_EQ(doc->m_nTool, kToolMeasure);
    ASSERT_EQ(doc->m_pMeasure->CalibrationCount(), 2);
    EXPECT_EQ(doc->m_pMeasure->ActiveCalibration(), 1);
    EXPECT_DOUBLE_EQ(doc->m_pMeasure->UnitLength(0), 10.0);
    EXPECT_EQ(doc->m_pMeasure->UnitLabel(0), "10.00 um");

    // The measurement table lists the line with its label. It leaves the main window usable
    // and follows the measurements drawn while it is open; areas carry their square unit.
    const int modal = prompts.dialogs.size();
    mf->Router()->Execute(ID_MEASURE_TABLE);
    EXPECT_EQ(prompts.dialogs.size(), modal);
    CMeasureDialog* table = CMeasureDialog::OpenTable(doc->m_pMeasure);
    ASSERT_TRUE(table);
    EXPECT_TRUE(table->isVisible());
    EXPECT_FALSE(table->isModal());
    ASSERT_EQ(table->m_pTable->rowCount(), 1);
    EXPECT_EQ(table->m_pTable->item(0, 2)->text(), "10.00 um");
    ASSERT_TRUE(CQoMeasure::MenuItemEvent(3, doc->m_pMeasure));
    doc->m_pMeasure->OnLButtonDown(QPoint(0, 0));
    doc->m_pMeasure->OnLButtonUp(QPoint(50, 50));
    doc->UpdateAllViews(nullptr, 0);
    ASSERT_EQ(table->m_pTable->rowCount(), 2);
    const QString area = table->m_pTable->item(1, 2)->text();
    EXPECT_EQ(area.toStdString(), "100.00 um\u00B2");
    Pump();
    EXPECT_LE(table->m_pTable->columnViewportPosition(2) + table->m_pTable->fontMetrics().horizontalAdvance(area),
              table->m_pTable->viewport()->width());
    mf->Router()->Execute(ID_MEASURE_TABLE);  // comes to the front, still one window
    EXPECT_EQ(CMeasureDialog::OpenTable(doc->m_pMeasure), table);

    // Precision: three decimals in the labels.
    prompts.onDialog = [](QDialog* d) {
        static_cast<CMeasureDialog*>(d)->m_pPrecision->setValue(3);
        return int(QDialog::Accepted);
    };
    mf->Router()->Execute(ID_MEASURE_PRECISION);
    EXPECT_EQ(doc->m_pMeasure->UnitLabel(0), "10.000 um");

    // The calibration table picks the active row; "Pixel" stays and cannot be deleted.
    prompts.onDialog = [](QDialog* d) {
        auto* dlg = static_cast<CMeasureDialog*>(d);
        EXPECT_EQ(dlg->m_pTable->rowCount(), 2);
        dlg->m_pTable->setCurrentCell(0, 0);
        return int(QDialog::Accepted);
    };
    mf->Router()->Execute(ID_MEASURE_CALIBRATETABLE);
    EXPECT_EQ(doc->m_pMeasure->ActiveCalibration(), 0);
    EXPECT_FALSE(doc->m_pMeasure->RemoveCalibration(0));
    EXPECT_EQ(doc->m_pMeasure->CalibrateFromLine(5, 1.0, "mm", "x"), -1);  // no such line
    EXPECT_EQ(doc->m_pMeasure->CalibrateFromLine(0, 0.0, "mm", "x"), -1);  // no length
    EXPECT_EQ(doc->m_pMeasure->CalibrationCount(), 2);
}

TEST_F(MeasureCommandsTest, CalibrationEntriesActWithinTheListAndThePopupShowsEachOnce) {
    doc->m_pMeasure->AddCalibration("5x", 2.0, "um");
    doc->m_pMeasure->AddCalibration("10x", 1.0, "um");
    mf->Router()->Execute(ID_MEASURE_CALIBRATION_FIRST + 2);
    EXPECT_EQ(doc->m_pMeasure->ActiveCalibration(), 2);
    mf->Router()->Execute(ID_MEASURE_CALIBRATION_FIRST + 4);  // beyond the list
    EXPECT_EQ(doc->m_pMeasure->ActiveCalibration(), 2);

    QToolButton* b = mf->CalibrateTableButton();
    ASSERT_TRUE(b);
    ASSERT_TRUE(b->menu());
    EXPECT_EQ(b->defaultAction()->data().toUInt(), ID_MEASURE_CALIBRATETABLE);
    for (int round = 0; round < 2; round++) {
        emit b->menu()->aboutToShow();
        QStringList texts;
        for (QAction* a : b->menu()->actions()) texts << a->text();
        EXPECT_EQ(texts, (QStringList{"Pixel", "5x", "10x"})) << round;
    }
    b->menu()->actions().at(1)->trigger();
    EXPECT_EQ(doc->m_pMeasure->ActiveCalibration(), 1);

    // Six entries at most.
    for (int i = 0; i < 6; i++) doc->m_pMeasure->AddCalibration(QString("c%1").arg(i), 1.0, "um");
    emit b->menu()->aboutToShow();
    EXPECT_EQ(b->menu()->actions().size(), 6);

    // Without an image document the popup is empty.
    doc->SetImage(nullptr);
    emit b->menu()->aboutToShow();
    EXPECT_TRUE(b->menu()->actions().isEmpty());
}

TEST_F(MeasureCommandsTest, ScaleLineGoesToTheLibraryAndTheProfile) {
    const int before = app->m_bShowScaleLine;
    ASSERT_EQ(doc->m_bShowScaleLine, before);
    mf->Router()->Execute(ID_MEASURE_SHOWSCALELINE);
    EXPECT_EQ(doc->m_bShowScaleLine, !before);
    EXPECT_EQ(app->m_bShowScaleLine, !before);
    EXPECT_EQ(doc->m_pMeasure->IsScaleLineShown(), !before);
    EXPECT_EQ(mf->Router()->Query(ID_MEASURE_SHOWSCALELINE).m_nCheck, !before);
    mf->SaveSettings();
    EXPECT_EQ(app->Profile().GetProfileInt("Measure", "bShowScaleLine", -1), !before);
}

TEST_F(MeasureCommandsTest, MeasureIsOffOnTheStartPageAndTheBarSitsRightOfStandard) {
    CPelidorDoc* start = nullptr;
    for (CDocument* d : app->DocTemplate()->Documents())
        if (auto* p = dynamic_cast<CPelidorDoc*>(d); p && p->m_bStartPage) start = p;
    ASSERT_TRUE(start);
    EXPECT_FALSE(start->m_pMeasure);
    for (const CMeasureCommands::Row& row : CMeasureCommands::Table()) {
        CCmdUI ui(row.id);
        ASSERT_TRUE(start->OnUpdateCmdUI(&ui));
        EXPECT_FALSE(ui.m_bEnabled) << row.id;
        start->OnCmdMsg(row.id);
    }
    EXPECT_EQ(start->m_nTool, kToolMove);
    EXPECT_EQ(CMeasureCommands::Table().size(), 20u);

    EXPECT_EQ(mf->toolBarArea(mf->MeasureBar()), mf->toolBarArea(mf->StandardBar()));
    EXPECT_FALSE(mf->toolBarBreak(mf->MeasureBar()));
    mf->OnFullScreen();
    EXPECT_TRUE(mf->MeasureBar()->isHidden());
    mf->OnFullScreen();
    EXPECT_FALSE(mf->MeasureBar()->isHidden());
    EXPECT_EQ(mf->toolBarArea(mf->MeasureBar()), Qt::TopToolBarArea);
    EXPECT_FALSE(mf->toolBarBreak(mf->MeasureBar()));
}

}  // namespace
