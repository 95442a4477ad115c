// "Select Camera": the entries offered per model and the id each answer selects.
#include <QComboBox>

#include <gtest/gtest.h>

#include "capture/selectcameradlg.h"

TEST(SelectCameraDlg, PairsOfferMonochromeFirstAndMapBothWays) {
    struct Pair { int a, b, color, mono; };
    for (Pair p : {Pair{3, 18, 3, 18}, Pair{12, 13, 13, 12}, Pair{17, 23, 23, 17}}) {
        for (int id : {p.a, p.b}) {
            CSelectCameraDlg dlg;
            dlg.SetCameraId(id);
            ASSERT_TRUE(dlg.HasVariants()) << id;
            ASSERT_EQ(dlg.Combo()->count(), 2);
            EXPECT_EQ(dlg.Combo()->itemText(0), "Monochrome Camera");
            EXPECT_EQ(dlg.Combo()->itemText(1), "Color  Camera");
            EXPECT_EQ(dlg.Combo()->currentIndex(), 0);
            dlg.accept();
            EXPECT_EQ(dlg.GetCameraId(), p.mono) << id;
            EXPECT_EQ(dlg.result(), QDialog::Accepted);
            dlg.SetCameraId(id);
            dlg.Combo()->setCurrentIndex(1);
            dlg.accept();
            EXPECT_EQ(dlg.GetCameraId(), p.color) << id;
        }
    }
}

TEST(SelectCameraDlg, Model8OffersTwoEntriesButKeepsItsIdAndOthersHaveNoChoice) {
    CSelectCameraDlg dlg;
    dlg.SetCameraId(8);
    EXPECT_FALSE(dlg.HasVariants());
    ASSERT_EQ(dlg.Combo()->count(), 2);
    EXPECT_EQ(dlg.Combo()->itemText(0), "LUMOB-08 Color");
    EXPECT_EQ(dlg.Combo()->itemText(1), "LUMOB-08 CHS");
    dlg.Combo()->setCurrentIndex(1);
    dlg.accept();
    EXPECT_EQ(dlg.GetCameraId(), 8);
    for (int id : {28, 9, 0}) {
        dlg.SetCameraId(id);
        EXPECT_FALSE(dlg.HasVariants()) << id;
        EXPECT_EQ(dlg.Combo()->count(), 0);
        dlg.accept();
        EXPECT_EQ(dlg.GetCameraId(), id);
    }
}
