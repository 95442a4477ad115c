// The document's image commands: each dialog opened through its command, filled in and
// accepted, against a direct call of the library; Cancel; the splits' titles; every command of
// the menus once on small images of each depth.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSet>
#include <QToolBar>
#include <QPushButton>
#include <QRadioButton>

#include <cstring>
#include <functional>
#include <memory>

#include "app/cmdids.h"
#include "app/dialogs/decreasebppdialog.h"
#include "app/dialogs/ditherdialog.h"
#include "app/dialogs/increasebppdialog.h"
#include "app/dialogs/jpegleveldialog.h"
#include "app/dialogs/resampledialog.h"
#include "app/dialogs/rotatedialog.h"
#include "app/dialogs/skewdialog.h"
#include "app/imagecommands.h"
#include "app/mainframe.h"
#include "app/commandtable.h"
#include "app/pelidorview.h"
#include "app/pelidordoc.h"
#include "apptest.h"
#include "controls/bitmapslider.h"
#include "ui/messages.h"
#include "imagelib/ops/quantize/colorquantizer.h"

namespace {

class ImageCommandTest : public AppTest {
protected:
    // Runs the command on the document and waits for its worker.
    void Run(CPelidorDoc* d, UINT id) {
        d->OnCmdMsg(id);
        d->WaitForCommand();
        Pump();
    }
    QList<CPelidorDoc*> Docs() {
        QList<CPelidorDoc*> out;
        for (CDocument* d : app->DocTemplate()->Documents())
            if (auto* p = dynamic_cast<CPelidorDoc*>(d)) out << p;
        return out;
    }
};

template <class T>
T* Child(QWidget* w, int id) {
    T* c = w->findChild<T*>(QString::number(id));
    EXPECT_NE(c, nullptr) << "control " << id;
    return c;
}

// The user types into an edit: the text and its edit notification.
void Type(QLineEdit* e, const QString& text) {
    e->setText(text);
    emit e->textEdited(text);
}

int ClickOk(QDialog* d) {
    Child<QPushButton>(d, 1)->click();
    return d->result();
}

bool SamePixels(PxImage& a, PxImage& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetBpp() != b.GetBpp()) return false;
    for (DWORD y = 0; y < a.GetHeight(); y++)
        for (DWORD x = 0; x < a.GetWidth(); x++) {
            const RGBQUAD p = a.GetPixelColor(x, y, false), q = b.GetPixelColor(x, y, false);
            if (p.rgbRed != q.rgbRed || p.rgbGreen != q.rgbGreen || p.rgbBlue != q.rgbBlue) return false;
        }
    return true;
}

}  // namespace

TEST_F(ImageCommandTest, RotateDialogPreviewsWholeDegreesAndTheCommandKeepsThousandths) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(300, 150));
    PxImage original(*d->GetImage());
    bool seen = false;
    prompts.onDialog = [&](QDialog* dlg) {
        auto* r = dynamic_cast<CRotateDialog*>(dlg);
        if (!r) return int(QDialog::Rejected);
        seen = true;
        // The thumbnail: at most 200 pixels, by the fast resample.
        EXPECT_EQ(r->Thumbnail().GetWidth(), 200u);
        EXPECT_EQ(r->Thumbnail().GetHeight(), 100u);
        PxImage thumb;
        PxImage(original).Resample(200, 100, 1, &thumb);
        EXPECT_TRUE(SamePixels(thumb, const_cast<PxImage&>(r->Thumbnail())));
        auto* slider = Child<CBitmapSlider>(r, 1083);
        auto* edit = Child<QLineEdit>(r, 1000);
        EXPECT_EQ(slider->GetRangeMax(), 360);
        // Quarter turns: four to the right come back to 0, one to the left gives 270.
        for (int i = 0; i < 4; i++) Child<QPushButton>(r, 1031)->click();
        EXPECT_EQ(slider->GetPos(), 0);
        Child<QPushButton>(r, 1082)->click();
        EXPECT_EQ(slider->GetPos(), 270);
        EXPECT_EQ(edit->text(), "270");
        // 400 is clamped and written back; text still being typed is left alone.
        Type(edit, "400");
        EXPECT_EQ(slider->GetPos(), 360);
        EXPECT_EQ(edit->text(), "360");
        Type(edit, "33.");
        EXPECT_EQ(edit->text(), "33.");
        Type(edit, "33.3333");
        EXPECT_EQ(edit->text(), "33.3333");
        EXPECT_EQ(slider->GetPos(), 33);
        // The after preview is the thumbnail turned by 33 whole degrees.
        PxImage expect(r->Thumbnail());
        RGBQUAD black = {0, 0, 0, 0};
        expect.Rotate2(33.0f, nullptr, PxImage::IM_BILINEAR, PxImage::OM_BACKGROUND, &black, true, false);
        EXPECT_TRUE(r->AfterImage() && SamePixels(expect, const_cast<PxImage&>(*r->AfterImage())));
        EXPECT_FALSE(Child<QComboBox>(r, 1019)->isEnabled());
        const int res = ClickOk(r);
        EXPECT_EQ(r->AfterImage(), nullptr);
        return res;
    };
    Run(d, ID_IMAGE_ROTATE);
    ASSERT_TRUE(seen);
    EXPECT_EQ(d->m_ImageCommandParams.P0, 33333);
    EXPECT_EQ(d->m_ImageCommandParams.P1, 1);
    EXPECT_EQ(d->m_ImageCommandParams.P2, 1);
    EXPECT_EQ(d->UndoLevel(), 1);
    PxImage expect(original);
    RGBQUAD black = {0, 0, 0, 0};
    expect.Rotate2(static_cast<float>(33333) * 0.001f, nullptr, PxImage::IM_BILINEAR, PxImage::OM_BACKGROUND, &black, true, false);
    EXPECT_TRUE(SamePixels(expect, *d->GetImage()));
}

TEST_F(ImageCommandTest, CancelLeavesImageAndUndoRing) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(40, 30));
    PxImage original(*d->GetImage());
    prompts.onDialog = [&](QDialog* dlg) {
        if (auto* r = dynamic_cast<CRotateDialog*>(dlg)) Type(Child<QLineEdit>(r, 1000), "45");
        Child<QPushButton>(dlg, 2)->click();
        return dlg->result();
    };
    for (UINT id : {ID_IMAGE_ROTATE, ID_IMAGE_RESAMPLE, ID_IMAGE_SKEW, ID_IMAGE_DECREASEBPP, ID_IMAGE_INCREASEBPP,
                    ID_IMAGE_DITHER}) {
        Run(d, id);
        EXPECT_FALSE(d->IsBusy()) << id;
        EXPECT_EQ(d->UndoLevel(), 0) << id;
        EXPECT_TRUE(SamePixels(original, *d->GetImage())) << id;
    }
    EXPECT_EQ(prompts.dialogs.size(), 6);
}

TEST_F(ImageCommandTest, ResampleFieldsFollowOnlyWhatIsTypedAndTheListMapsTheQuality) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(150, 100));
    PxImage original(*d->GetImage());
    prompts.onDialog = [&](QDialog* dlg) {
        auto* r = dynamic_cast<CResampleDialog*>(dlg);
        if (!r) return int(QDialog::Rejected);
        auto* list = Child<QComboBox>(r, 1019);
        EXPECT_EQ(list->count(), 8);
        EXPECT_EQ(list->currentIndex(), 2);
        EXPECT_TRUE(Child<QRadioButton>(r, 1003)->isChecked());
        auto* w = Child<QLineEdit>(r, 1001);
        auto* h = Child<QLineEdit>(r, 1002);
        Type(Child<QLineEdit>(r, 1000), "1.");
        EXPECT_EQ(w->text(), "100");  // as opened
        Type(Child<QLineEdit>(r, 1000), "1.5");
        EXPECT_EQ(w->text(), "225");
        EXPECT_EQ(h->text(), "150");
        // Width 100 at ratio 1.5: height 66, and the width typed stays 100.
        Type(w, "100");
        EXPECT_EQ(h->text(), "66");
        EXPECT_EQ(w->text(), "100");
        EXPECT_TRUE(Child<QRadioButton>(r, 1004)->isChecked());
        list->setCurrentIndex(3);
        return ClickOk(r);
    };
    Run(d, ID_IMAGE_RESAMPLE);
    EXPECT_EQ(d->m_ImageCommandParams.P0, 100);
    EXPECT_EQ(d->m_ImageCommandParams.P1, 66);
    EXPECT_EQ(d->m_ImageCommandParams.P2, 3);
    PxImage expect(original);
    expect.Resample2(100, 66, PxImage::IM_CUBIC, PxImage::OM_REPEAT);
    EXPECT_TRUE(SamePixels(expect, *d->GetImage()));

    // Factor 0.5 on 101 x 51 asks for 50 x 25; a factor that leaves a side empty keeps 1 pixel.
    CPelidorDoc* odd = NewImageDoc(MakeImage(101, 51));
    prompts.onDialog = [&](QDialog* dlg) {
        Type(Child<QLineEdit>(dlg, 1000), "0.5");
        Child<QComboBox>(dlg, 1019)->setCurrentIndex(0);
        return ClickOk(dlg);
    };
    Run(odd, ID_IMAGE_RESAMPLE);
    EXPECT_EQ(odd->GetImage()->GetWidth(), 50u);
    EXPECT_EQ(odd->GetImage()->GetHeight(), 25u);
    prompts.onDialog = [&](QDialog* dlg) {
        Type(Child<QLineEdit>(dlg, 1000), "0.01");
        return ClickOk(dlg);
    };
    Run(odd, ID_IMAGE_RESAMPLE);
    EXPECT_EQ(odd->GetImage()->GetHeight(), 1u);
    // A bad factor is refused on OK with one message and the dialog stays open.
    prompts.messages.clear();
    prompts.onDialog = [&](QDialog* dlg) {
        Type(Child<QLineEdit>(dlg, 1000), "abc");
        Child<QPushButton>(dlg, 1)->click();
        EXPECT_EQ(dlg->result(), 0);
        Child<QPushButton>(dlg, 2)->click();
        return dlg->result();
    };
    Run(odd, ID_IMAGE_RESAMPLE);
    EXPECT_EQ(prompts.messages.size(), 1);
}

TEST_F(ImageCommandTest, SkewKeepsSmallSlopesAndNeverRewritesTheSkewBeingTyped) {
    ASSERT_TRUE(Start());
    CPelidorDoc* small = NewImageDoc(MakeImage(100, 50));
    prompts.onDialog = [&](QDialog* dlg) {
        EXPECT_EQ(Child<QLineEdit>(dlg, 1007)->text(), "0.055");
        EXPECT_EQ(Child<QLineEdit>(dlg, 1008)->text(), "-0.1");
        EXPECT_TRUE(Child<QCheckBox>(dlg, 1002)->isChecked());
        auto* sx = Child<QLineEdit>(dlg, 1003);
        Type(sx, "5.");
        EXPECT_EQ(sx->text(), "5.");
        Type(sx, "5.5");
        EXPECT_EQ(sx->text(), "5.5");
        Child<QPushButton>(dlg, 2)->click();
        return dlg->result();
    };
    Run(small, ID_IMAGE_SKEW);

    // A slope of 0.0005 (lost by a x1000 truncation) shifts 3 pixels across 6000 columns.
    CPelidorDoc* d = NewImageDoc(MakeImage(6000, 4));
    PxImage original(*d->GetImage());
    prompts.onDialog = [&](QDialog* dlg) {
        Type(Child<QLineEdit>(dlg, 1003), "0");
        Type(Child<QLineEdit>(dlg, 1004), "0.002");
        Child<QLineEdit>(dlg, 1000)->setText("10");
        Child<QCheckBox>(dlg, 1002)->setChecked(false);
        return ClickOk(dlg);
    };
    Run(d, ID_IMAGE_SKEW);
    EXPECT_FLOAT_EQ(SlopeFromParam(d->m_ImageCommandParams.P0), 0.0f);
    EXPECT_FLOAT_EQ(SlopeFromParam(d->m_ImageCommandParams.P1), 0.0005f);
    EXPECT_EQ(d->m_ImageCommandParams.P2, 10);
    EXPECT_EQ(d->m_ImageCommandParams.P4, 0);
    PxImage expect(original);
    expect.Skew(0.0f, 0.0005f, 10, 0, false);
    EXPECT_TRUE(SamePixels(expect, *d->GetImage()));
    EXPECT_FALSE(SamePixels(original, *d->GetImage()));
}

TEST_F(ImageCommandTest, DecreaseBppCapsColoursAndQuantizesLikeTheLibrary) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(64, 48));
    PxImage original(*d->GetImage());
    // 8 bits, optimised, 16 colours: the quantizer with 8 colour bits.
    prompts.onDialog = [&](QDialog* dlg) {
        EXPECT_TRUE(Child<QRadioButton>(dlg, 1004)->isChecked());
        EXPECT_TRUE(Child<QRadioButton>(dlg, 1007)->isChecked());
        Child<QRadioButton>(dlg, 1005)->setChecked(true);
        Child<QCheckBox>(dlg, 1008)->setChecked(true);
        Child<QLineEdit>(dlg, 1000)->setText("16");
        return ClickOk(dlg);
    };
    Run(d, ID_IMAGE_DECREASEBPP);
    EXPECT_EQ(d->m_ImageCommandParams.P0, 8);
    EXPECT_EQ(d->m_ImageCommandParams.P1, 1);
    EXPECT_EQ(d->m_ImageCommandParams.P3, 16);
    {
        PxImage expect(original);
        RGBQUAD pal[256] = {};
        ColorQuantizer q(16, 8);
        q.AddImageColors(expect.GetDIB());
        q.GetColorTable(pal);
        expect.DecreaseBpp(8, false, pal, 16);
        EXPECT_EQ(d->GetImage()->GetBpp(), 8);
        EXPECT_TRUE(SamePixels(expect, *d->GetImage()));
    }
    // 4 bits with 300 typed: one range message, capped to 16, closed; no overrun of the table.
    d->OnEditUndo();
    prompts.messages.clear();
    prompts.onDialog = [&](QDialog* dlg) {
        Child<QCheckBox>(dlg, 1008)->setChecked(true);
        Child<QLineEdit>(dlg, 1000)->setText("300");
        const int r = ClickOk(dlg);
        EXPECT_EQ(Child<QLineEdit>(dlg, 1000)->text(), "16");
        return r;
    };
    Run(d, ID_IMAGE_DECREASEBPP);
    EXPECT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(d->m_ImageCommandParams.P3, 16);
    EXPECT_EQ(d->GetImage()->GetBpp(), 4);
    // 1 bit with the limit and 5 colours gives 2; 1 colour is refused by the final read.
    d->OnEditUndo();
    prompts.messages.clear();
    prompts.onDialog = [&](QDialog* dlg) {
        Child<QRadioButton>(dlg, 1003)->setChecked(true);
        Child<QCheckBox>(dlg, 1008)->setChecked(true);
        Child<QLineEdit>(dlg, 1000)->setText("1");
        Child<QPushButton>(dlg, 1)->click();
        EXPECT_EQ(dlg->result(), 0);
        Child<QLineEdit>(dlg, 1000)->setText("5");
        return ClickOk(dlg);
    };
    Run(d, ID_IMAGE_DECREASEBPP);
    EXPECT_EQ(d->m_ImageCommandParams.P3, 2);
    EXPECT_EQ(d->GetImage()->GetBpp(), 1);
    EXPECT_EQ(prompts.messages.size(), 2);
    // Without the limit, 8 bits gives 256 whatever the edit holds.
    CDecreaseBppDialog alone(8, 3);
    alone.accept();
    EXPECT_EQ(alone.m_maxColors, 256);
}

TEST_F(ImageCommandTest, IncreaseBppDitherAndJpegLevel) {
    ASSERT_TRUE(Start());
    PxImage* gray = MakeImage(20, 10);
    gray->DecreaseBpp(4, false);
    CPelidorDoc* d = NewImageDoc(gray);
    prompts.onDialog = [&](QDialog* dlg) {
        EXPECT_TRUE(Child<QRadioButton>(dlg, 1005)->isChecked());
        Child<QRadioButton>(dlg, 1004)->setChecked(true);
        return ClickOk(dlg);
    };
    Run(d, ID_IMAGE_INCREASEBPP);
    EXPECT_EQ(d->GetImage()->GetBpp(), 8);
    CIncreaseBppDialog preset(4);
    EXPECT_TRUE(Child<QRadioButton>(&preset, 1003)->isChecked());
    CIncreaseBppDialog other(16);
    EXPECT_TRUE(Child<QRadioButton>(&other, 1005)->isChecked());

    CPelidorDoc* colour = NewImageDoc(MakeImage(20, 10));
    PxImage original(*colour->GetImage());
    prompts.onDialog = [&](QDialog* dlg) {
        EXPECT_TRUE(Child<QRadioButton>(dlg, 1003)->isChecked());
        Child<QRadioButton>(dlg, 1007)->setChecked(true);
        return ClickOk(dlg);
    };
    Run(colour, ID_IMAGE_DITHER);
    EXPECT_EQ(colour->m_ImageCommandParams.P0, 4);
    original.Dither(4);
    EXPECT_TRUE(SamePixels(original, *colour->GetImage()));

    CJpegLevelDialog jpeg(50);
    EXPECT_EQ(jpeg.windowTitle(), "JPEG compression");
    Child<QLineEdit>(&jpeg, 1000)->setText("101");
    prompts.messages.clear();
    jpeg.accept();
    EXPECT_EQ(jpeg.result(), 0);
    EXPECT_EQ(prompts.messages.size(), 1);
    Child<QLineEdit>(&jpeg, 1000)->setText("0");
    Child<QRadioButton>(&jpeg, 1004)->setChecked(true);
    jpeg.accept();
    EXPECT_EQ(jpeg.result(), QDialog::Accepted);
    EXPECT_EQ(jpeg.m_level, 0);
    EXPECT_EQ(jpeg.m_format, 1);
}

TEST_F(ImageCommandTest, SplitsTitleTheirDocumentsWithOneNumberAndFiltersUseTheTable) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(16, 12), "Src");
    const int before = app->m_nNewImage;
    Run(d, ID_IMAGE_SPLITCMYK);
    const int n = before + 1;
    EXPECT_EQ(app->m_nNewImage, n);
    QStringList titles;
    for (CPelidorDoc* doc : Docs()) titles << doc->GetTitle();
    for (const char* t : {"C Channel %1 from Src", "M Channel %1 from Src", "Y Channel %1 from Src",
                          "K Channel %1 from Src"})
        EXPECT_TRUE(titles.contains(QString(t).arg(n))) << t;
    EXPECT_EQ(d->UndoLevel(), 0);

    // Emboss and Gaussian 5x5 against the kernels written out here, rows top to bottom.
    PxImage original(*d->GetImage());
    Run(d, ID_IMAGE_FILTERS_EMBOSS);
    PxImage expect(original);
    LONG emboss[] = {0, 0, -1, 0, 0, 0, 1, 0, 0};
    expect.Filter(emboss, 3, 0, 127);
    EXPECT_TRUE(SamePixels(expect, *d->GetImage()));
    d->OnEditUndo();
    Run(d, ID_IMAGE_FILTERS_GAUSSIAN5X5);
    PxImage g(original);
    LONG g5[] = {0, 1, 2, 1, 0, 1, 3, 4, 3, 1, 2, 4, 8, 4, 2, 1, 3, 4, 3, 1, 0, 1, 2, 1, 0};
    g.Filter(g5, 5, 52, 0);
    EXPECT_TRUE(SamePixels(g, *d->GetImage()));
    d->OnEditUndo();
    Run(d, ID_IMAGE_FILTERS_PINCH);
    PxImage pinch(original);
    pinch.CircleTransform(1, 0, 100);
    EXPECT_TRUE(SamePixels(pinch, *d->GetImage()));
}

TEST_F(ImageCommandTest, EveryMenuCommandRunsOnceAtEachDepth) {
    ASSERT_TRUE(Start());
    std::vector<UINT> ids;
    for (const auto* list : {&DocumentImageMenu(), &DocumentFiltersMenu()})
        for (const auto& item : *list)
            if (item.id) ids.push_back(item.id);
    // Every dialog is accepted as it opens.
    prompts.onDialog = [](QDialog* dlg) {
        dlg->accept();
        return dlg->result();
    };
    int ran = 0;
    for (int bpp : {1, 4, 8, 24}) {
        for (bool alpha : {false, true}) {
            PxImage base(*std::unique_ptr<PxImage>(MakeImage(13, 9)));
            if (bpp < 24) base.DecreaseBpp(static_cast<DWORD>(bpp), false);
            ASSERT_EQ(base.GetBpp(), bpp);
            if (alpha) base.AlphaCreate();
            CPelidorDoc* d = NewImageDoc(new PxImage(base), "Depth");
            for (UINT id : ids) {
                // Some commands act on a selection: a small one is in place.
                d->m_nSelPoints = 4;
                d->m_SelPoints[0] = QPoint(1, 1);
                d->m_SelPoints[1] = QPoint(5, 1);
                d->m_SelPoints[2] = QPoint(5, 4);
                d->m_SelPoints[3] = QPoint(1, 4);
                d->SetImage(new PxImage(base));
                if (d->OnCmdMsg(id)) ran++;
                d->WaitForCommand();
                Pump();
                ASSERT_NE(d->GetImage(), nullptr) << id;
                EXPECT_FALSE(d->IsBusy()) << id;
            }
            // The documents of this round are closed unsaved.
            for (CPelidorDoc* other : Docs()) {
                if (other->GetTitle() == "Start Page") continue;
                other->SetModifiedFlag(false);
                app->DocTemplate()->FrameOf(other)->close();
            }
            Pump();
        }
    }
    EXPECT_GT(ran, 8 * 40);
}

TEST_F(ImageCommandTest, MenusContextMenuAndToolbarCarryTheTableRows) {
    ASSERT_TRUE(Start());
    CCommandRouter* router = app->MainFrame()->Router();
    QMenu context;
    CPelidorView::BuildContextMenu(&context, router);
    QSet<UINT> inContext;
    std::function<void(QMenu*)> collect = [&](QMenu* m) {
        for (QAction* a : m->actions()) {
            if (a->menu()) collect(a->menu());
            else if (!a->isSeparator()) inContext.insert(a->data().toUInt());
        }
    };
    collect(&context);
    int count = 0;
    for (const auto* list : {&DocumentImageMenu(), &DocumentFiltersMenu()})
        for (const auto& item : *list) {
            if (!item.id) continue;
            count++;
            const CommandInfo* info = FindCommandInfo(item.id);
            ASSERT_NE(info, nullptr) << item.id;
            EXPECT_EQ(router->Action(item.id)->text(), QString(info->text).section('\t', 0, 0));
            EXPECT_TRUE(inContext.contains(item.id)) << item.id;
        }
    EXPECT_EQ(count, 58);
    EXPECT_EQ(router->Action(ID_IMAGE_LIGHTCONTRASTGAMMA)->text(), "Light/Contrast/Gamma");
    EXPECT_TRUE(inContext.contains(ID_EDIT_COPY));
    // The text tool is routed without a menu.
    EXPECT_NE(FindCommandInfo(ID_IMAGE_TEXT_TOOL), nullptr);
    EXPECT_FALSE(inContext.contains(ID_IMAGE_TEXT_TOOL));
    // The "Image" toolbar in the frame's order, without the ids that are no commands here.
    QToolBar* bar = app->MainFrame()->findChild<QToolBar*>("Image");
    ASSERT_NE(bar, nullptr);
    std::vector<UINT> onBar;
    for (QAction* a : bar->actions())
        if (!a->isSeparator()) onBar.push_back(a->data().toUInt());
    const std::vector<UINT> expected = {32788, 32797, 57665, 32779, 32775, 32774, 32794, 32848,
                                        32778, 32777, 32795, 32796, 32792, 32793, 32877};
    EXPECT_EQ(onBar, expected);
    for (UINT id : expected) EXPECT_FALSE(router->Action(id)->icon().isNull()) << id;
}
