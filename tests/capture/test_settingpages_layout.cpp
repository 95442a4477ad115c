// The "Image Adjust" and "Parameter" tabs widen their group boxes (and the back-correction
// button) by half of any change of the page width, and narrow them again; no caption of the
// settings dialog is cut off.
#include <QAbstractButton>
#include <QGroupBox>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include "capture/cameraparamdlg.h"
#include "capture/camerasettingdlg.h"
#include "capture/imageadjustpage.h"

namespace {

// base: the width the page was laid out for.
template <class Page>
void ExpectHalfTheChange(Page& page, const std::vector<QString>& ids, int baseWidth) {
    std::vector<int> base;
    for (const QString& id : ids) {
        QWidget* w = page.template findChild<QWidget*>(id);
        ASSERT_TRUE(w) << id.toStdString();
        base.push_back(w->width());
    }
    const int height = page.height();
    for (int grow : {100, 41, -60, 0}) {
        page.resize(baseWidth + grow, height);
        for (size_t i = 0; i < ids.size(); ++i) {
            QWidget* w = page.template findChild<QWidget*>(ids[i]);
            EXPECT_EQ(w->width(), base[i] + grow / 2) << ids[i].toStdString() << " grow " << grow;
        }
    }
}

}  // namespace

TEST(SettingPagesLayout, ImageAdjustWidensItsGroupsAndBackCorrectionButton) {
    QWidget holder;
    auto* page = new CImageAdjustPage(&holder);
    holder.resize(600, 400);
    holder.show();
    ExpectHalfTheChange(*page, {"1075", "1088", "1090"}, CImageAdjustPage::kPageWidth);
}

TEST(SettingPagesLayout, ParameterPageWidensItsFourGroups) {
    QWidget holder;
    auto* page = new CCameraParamDlg(&holder);
    holder.resize(600, 400);
    holder.show();
    ExpectHalfTheChange(*page, {"1071", "1072", "1073", "1074"}, page->sizeHint().width());
}

TEST(SettingPagesLayout, EveryCaptionOfTheSettingsDialogShowsItsWholeText) {
    CameraSettings s;
    s.nCameraId = 28;
    FillCameraModelInfo(s);
    for (int longExposure : {0, 1}) {
        s.bLongExposure = longExposure;
        CCameraSettingDlg dlg(&s, nullptr);
        dlg.show();
        for (int i = 0; i < dlg.Tabs()->count(); ++i) {
            dlg.Tabs()->setCurrentIndex(i);
            // A push button needs its text and margins; the style's minimum width is no part of it.
            for (QAbstractButton* b : dlg.findChildren<QAbstractButton*>()) {
                const int need = qobject_cast<QPushButton*>(b) ? b->fontMetrics().horizontalAdvance(b->text()) + 16
                                                               : b->sizeHint().width();
                if (b->isVisible() && !b->text().isEmpty()) {
                    EXPECT_GE(b->width(), need) << b->text().toStdString();
                }
            }
            for (QWidget* w : dlg.Tabs()->widget(i)->findChildren<QWidget*>()) {
                if (!w->isVisible()) continue;
                EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry()));
            }
        }
    }
}
