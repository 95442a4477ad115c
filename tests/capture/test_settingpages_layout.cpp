// The "Image Adjust" and "Parameter" tabs widen their group boxes (and the back-correction
// button) by half of any change of the page width, and narrow them again.
#include <QGroupBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include "capture/cameraparamdlg.h"
#include "capture/imageadjustpage.h"

namespace {

template <class Page>
void ExpectHalfTheChange(Page& page, const std::vector<QString>& ids) {
    std::vector<int> base;
    for (const QString& id : ids) {
        QWidget* w = page.template findChild<QWidget*>(id);
        ASSERT_TRUE(w) << id.toStdString();
        base.push_back(w->width());
    }
    const int height = page.height();
    for (int grow : {100, 41, -60, 0}) {
        page.resize(Page::kPageWidth + grow, height);
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
    ExpectHalfTheChange(*page, {"1075", "1088", "1090"});
}

TEST(SettingPagesLayout, ParameterPageWidensItsFourGroups) {
    QWidget holder;
    auto* page = new CCameraParamDlg(&holder);
    holder.resize(600, 400);
    holder.show();
    ExpectHalfTheChange(*page, {"1071", "1072", "1073", "1074"});
}
