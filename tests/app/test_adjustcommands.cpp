// The point-operation and multi-image commands through their dialogs: each dialog is opened by
// its command, its controls are set as a user would, and the result is compared with a direct
// call of the library; previews are checked pixel by pixel.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <cmath>
#include <memory>

#include "app/adjustcommands.h"
#include "app/cmdids.h"
#include "ui/commandrouter.h"
#include "app/dialogs/colorizedialog.h"
#include "app/dialogs/combinedialog.h"
#include "app/dialogs/fftdialog.h"
#include "app/dialogs/lightcontrastgammadialog.h"
#include "app/dialogs/mixdialog.h"
#include "app/dialogs/mixpreview.h"
#include "app/dialogs/opacitydialog.h"
#include "app/dialogs/previewpair.h"
#include "app/dialogs/repairdialog.h"
#include "app/dialogs/thresholddialog.h"
#include "app/mainframe.h"
#include "app/pelidordoc.h"
#include "apptest.h"
#include "controls/bitmapslider.h"
#include "ui/messages.h"

namespace {

class AdjustTest : public AppTest {
protected:
    // Runs the command; the hook sees the dialog (nullptr when none of type D opened).
    template <typename D>
    void Run(CPelidorDoc* doc, UINT id, const std::function<int(D*)>& hook) {
        int seen = 0;
        prompts.onDialog = [&](QDialog* d) {
            seen++;
            auto* typed = dynamic_cast<D*>(d);
            EXPECT_NE(typed, nullptr) << d->windowTitle().toStdString();
            return typed ? hook(typed) : int(QDialog::Rejected);
        };
        EXPECT_TRUE(doc->OnCmdMsg(id));
        EXPECT_EQ(seen, 1);
        doc->WaitForCommand();
        Pump();
        prompts.onDialog = nullptr;
    }
    CPelidorDoc* DocTitled(const QString& title) {
        for (CDocument* d : app->DocTemplate()->Documents())
            if (d->GetTitle() == title) return dynamic_cast<CPelidorDoc*>(d);
        return nullptr;
    }
    int DocCount() { return app->DocTemplate()->Documents().size(); }
};

int Accept(QDialog* d) {
    d->accept();
    return d->result();
}

// Pixels (and size and depth) equal; the alpha bytes too when both have alpha.
::testing::AssertionResult SameImage(PxImage* a, PxImage* b) {
    if (!a || !b) return ::testing::AssertionFailure() << "missing image";
    if (a->GetWidth() != b->GetWidth() || a->GetHeight() != b->GetHeight() || a->GetBpp() != b->GetBpp())
        return ::testing::AssertionFailure() << a->GetWidth() << "x" << a->GetHeight() << "x" << a->GetBpp() << " vs "
                                             << b->GetWidth() << "x" << b->GetHeight() << "x" << b->GetBpp();
    for (LONG y = 0; y < static_cast<LONG>(a->GetHeight()); y++)
        for (LONG x = 0; x < static_cast<LONG>(a->GetWidth()); x++) {
            const RGBQUAD p = a->GetPixelColor(x, y, false), q = b->GetPixelColor(x, y, false);
            if (p.rgbRed != q.rgbRed || p.rgbGreen != q.rgbGreen || p.rgbBlue != q.rgbBlue)
                return ::testing::AssertionFailure() << "pixel " << x << "," << y << " differs";
        }
    return ::testing::AssertionSuccess();
}

// The first and last column holding a white pixel in any row, {-1, -1} for none.
std::pair<int, int> WhiteColumns(PxImage* img) {
    std::pair<int, int> span{-1, -1};
    for (LONG x = 0; x < static_cast<LONG>(img->GetWidth()); x++)
        for (LONG y = 0; y < static_cast<LONG>(img->GetHeight()); y++)
            if (img->GetPixelColor(x, y, false).rgbRed == 255) {
                if (span.first < 0) span.first = x;
                span.second = x;
                break;
            }
    return span;
}

PxImage* Uniform(int w, int h, BYTE v) {
    auto* img = new PxImage(w, h, 24, 1);
    img->Clear(v);
    return img;
}

}  // namespace

TEST(AdjustPreview, ThumbnailsKeepOnePixelAndMixShrinksBothByTheDestinationsScale) {
    CPreviewPair pair;
    PxImage thin(1000, 3, 24, 1);
    thin.Clear(90);
    ASSERT_TRUE(pair.Open(thin));
    EXPECT_EQ(pair.Thumbnail()->GetWidth(), 200u);
    EXPECT_EQ(pair.Thumbnail()->GetHeight(), 1u);
    ASSERT_NE(pair.After(), nullptr);
    EXPECT_TRUE(SameImage(pair.After(), pair.Thumbnail()));
    PxImage none;
    EXPECT_FALSE(pair.Open(none));
    EXPECT_EQ(pair.Thumbnail(), nullptr);
    EXPECT_EQ(pair.After(), nullptr);

    // A 3 x 3 source under a 2000-wide destination would shrink to nothing.
    PxImage dst(2000, 100, 24, 1), src(3, 3, 24, 1);
    dst.Clear(0);
    src.Clear(255);
    float s = 0;
    std::unique_ptr<PxImage> mixed = CMixPreview::Build(&dst, &src, {PxImage::OpAdd, 0, 0, false}, &s);
    ASSERT_TRUE(mixed);
    EXPECT_FLOAT_EQ(s, 0.1f);
    EXPECT_EQ(mixed->GetWidth(), 200u);
    EXPECT_EQ(mixed->GetHeight(), 10u);
    EXPECT_EQ(WhiteColumns(mixed.get()), std::make_pair(0, 0));  // the one-pixel source
    EXPECT_FALSE(CMixPreview::Build(&dst, nullptr, {}));
}

TEST_F(AdjustTest, ThresholdStartsAtTheMeanPreviewsEachSliderMoveAndRunsTheLevelOnOk) {
    ASSERT_TRUE(Start());
    CPelidorDoc* flat = NewImageDoc(Uniform(40, 30, 128), "flat");
    Run<CThresholdDialog>(flat, ID_IMAGE_THRESHOLD, [&](CThresholdDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Threshold");
        EXPECT_EQ(d->Level(), 128);
        EXPECT_EQ(d->findChild<QLineEdit*>("1000")->text(), "128");
        // 128 is not above 128: all black.
        PxImage* after = d->Preview().After();
        EXPECT_EQ(after->GetPixelColor(0, 0, false).rgbRed, 0);
        EXPECT_EQ(after->GetPixelColor(39, 29, false).rgbRed, 0);
        EXPECT_FALSE(d->findChild<QLabel*>("1072")->pixmap().isNull());
        auto* slider = d->findChild<CBitmapSlider*>("1120");
        QTest::keyClick(slider, Qt::Key_Left);
        PumpPrivateMessages();
        EXPECT_EQ(d->Level(), 127);
        EXPECT_EQ(d->findChild<QLineEdit*>("1000")->text(), "127");
        EXPECT_EQ(d->Preview().After()->GetPixelColor(5, 5, false).rgbRed, 255);
        return int(QDialog::Rejected);
    });
    EXPECT_EQ(flat->GetImage()->GetPixelColor(3, 3, false).rgbRed, 128);
    EXPECT_EQ(flat->UndoLevel(), 0);

    CPelidorDoc* doc = NewImageDoc(MakeImage(64, 48), "grad");
    std::unique_ptr<PxImage> expect(MakeImage(64, 48));
    const int mean = static_cast<int>(std::trunc(expect->Mean()));
    Run<CThresholdDialog>(doc, ID_IMAGE_THRESHOLD, [&](CThresholdDialog* d) {
        EXPECT_EQ(d->Level(), mean);
        PxImage thumb(*d->Preview().Thumbnail());
        thumb.Threshold(static_cast<BYTE>(mean));
        EXPECT_TRUE(SameImage(d->Preview().After(), &thumb));
        QTest::keyClick(d->findChild<CBitmapSlider*>("1120"), Qt::Key_Right);
        PumpPrivateMessages();
        return Accept(d);
    });
    EXPECT_EQ(doc->m_ImageCommandParams.P0, mean + 1);
    expect->Threshold(static_cast<BYTE>(mean + 1));
    EXPECT_TRUE(SameImage(doc->GetImage(), expect.get()));
    EXPECT_EQ(doc->UndoLevel(), 1);
}

TEST_F(AdjustTest, LightContrastGammaOpensOnAPlainCopyAndStoresGammaAsTenPerStep) {
    ASSERT_TRUE(Start());
    CPelidorDoc* doc = NewImageDoc(MakeImage(300, 150), "img");
    Run<CLightContrastGammaDialog>(doc, ID_IMAGE_LIGHTCONTRASTGAMMA, [&](CLightContrastGammaDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Light/Contrast/Gamma");
        EXPECT_EQ(d->findChild<QLineEdit*>("1069")->text(), "1.23");
        EXPECT_EQ(d->Preview().Thumbnail()->GetWidth(), 200u);
        EXPECT_EQ(d->Preview().Thumbnail()->GetHeight(), 100u);
        EXPECT_TRUE(SameImage(d->Preview().After(), d->Preview().Thumbnail()));
        // Gamma 0 maps everything to black.
        QTest::keyClick(d->findChild<CBitmapSlider*>("1071"), Qt::Key_Home);
        PumpPrivateMessages();
        EXPECT_EQ(d->findChild<QLineEdit*>("1069")->text(), "0.00");
        EXPECT_EQ(d->Preview().After()->GetPixelColor(150, 50, false).rgbRed, 0);
        auto* light = d->findChild<CBitmapSlider*>("1066");
        auto* contrast = d->findChild<CBitmapSlider*>("1070");
        auto* gamma = d->findChild<CBitmapSlider*>("1071");
        light->SetPos(19);
        QTest::keyClick(light, Qt::Key_Right);
        contrast->SetPos(-11);
        QTest::keyClick(contrast, Qt::Key_Right);
        gamma->SetPos(86);
        QTest::keyClick(gamma, Qt::Key_Right);
        PumpPrivateMessages();
        EXPECT_EQ(d->findChild<QLineEdit*>("1068")->text(), "20");
        EXPECT_EQ(d->findChild<QLineEdit*>("1073")->text(), "-10");
        EXPECT_EQ(d->findChild<QLineEdit*>("1069")->text(), "0.87");
        PxImage thumb(*d->Preview().Thumbnail());
        thumb.Light(20, -10);
        thumb.Gamma(0.87f);
        EXPECT_TRUE(SameImage(d->Preview().After(), &thumb));
        return Accept(d);
    });
    EXPECT_EQ(doc->m_ImageCommandParams.P0, 20);
    EXPECT_EQ(doc->m_ImageCommandParams.P1, -10);
    EXPECT_EQ(doc->m_ImageCommandParams.P2, 870);
    std::unique_ptr<PxImage> expect(MakeImage(300, 150));
    expect->Light(20, -10);
    expect->Gamma(0.87f);
    EXPECT_TRUE(SameImage(doc->GetImage(), expect.get()));

    // Cancel after moving sliders: image and undo ring as they were.
    PxImage before(*doc->GetImage());
    Run<CLightContrastGammaDialog>(doc, ID_IMAGE_LIGHTCONTRASTGAMMA, [&](CLightContrastGammaDialog* d) {
        QTest::keyClick(d->findChild<CBitmapSlider*>("1066"), Qt::Key_End);
        PumpPrivateMessages();
        d->reject();
        return d->result();
    });
    EXPECT_TRUE(SameImage(doc->GetImage(), &before));
    EXPECT_EQ(doc->UndoLevel(), 1);
}

TEST_F(AdjustTest, ColorizeRunsTheHslOrTheShiftModeAndRefusesABadEntryOnOk) {
    ASSERT_TRUE(Start());
    CPelidorDoc* doc = NewImageDoc(MakeImage(30, 20), "img");
    Run<CColorizeDialog>(doc, ID_IMAGE_COLORIZE, [&](CColorizeDialog* d) {
        EXPECT_TRUE(d->findChild<QRadioButton*>("1005")->isChecked());
        EXPECT_EQ(d->findChild<QLineEdit*>("1000")->text(), "12");
        EXPECT_EQ(d->findChild<QLineEdit*>("1004")->text(), "-50");
        return Accept(d);
    });
    EXPECT_EQ(doc->m_ImageCommandParams.P0, 1);
    EXPECT_EQ(doc->m_ImageCommandParams.P3, 50);
    std::unique_ptr<PxImage> expect(MakeImage(30, 20));
    expect->Colorize(12, 50, 0.5f);
    EXPECT_TRUE(SameImage(doc->GetImage(), expect.get()));

    const int messages = prompts.messages.size();
    Run<CColorizeDialog>(doc, ID_IMAGE_COLORIZE, [&](CColorizeDialog* d) {
        d->findChild<QRadioButton*>("1006")->setChecked(true);
        d->findChild<QLineEdit*>("1002")->setText("300");
        EXPECT_EQ(Accept(d), int(QDialog::Rejected));  // out of range: message, dialog stays
        EXPECT_EQ(prompts.messages.size(), messages + 1);
        d->findChild<QLineEdit*>("1002")->setText("-40");
        d->findChild<QLineEdit*>("1003")->setText("25");
        return Accept(d);
    });
    EXPECT_EQ(doc->m_ImageCommandParams.P0, 0);
    expect->ShiftRGB(-40, 25, -50);
    EXPECT_TRUE(SameImage(doc->GetImage(), expect.get()));
    EXPECT_EQ(doc->UndoLevel(), 2);

    // The picker's start: RGB mode takes the low bytes of the offsets; a pick in HSL mode keeps
    // the picked hue and saturation.
    CColorizeDialog::Values v;
    v.mode = 0;
    v.red = -50;
    EXPECT_EQ(CColorizeDialog::PickerStart(v), RGB(206, 0, 206));
    v.mode = 1;
    const COLORREF red = RGB(255, 0, 0);
    CColorizeDialog::TakePicked(v, red);
    RGBQUAD q{0, 0, 255, 0};
    const RGBQUAD hsl = PxImage::RGBtoHSL(q);
    EXPECT_EQ(v.hue, hsl.rgbRed);
    EXPECT_EQ(v.sat, hsl.rgbGreen);
}

TEST_F(AdjustTest, OpacityCreatesTheAlphaPlaneWithUndoAndCancelChangesNothing) {
    ASSERT_TRUE(Start());
    CPelidorDoc* doc = NewImageDoc(MakeImage(20, 10), "img");
    Run<COpacityDialog>(doc, ID_IMAGE_ALPHA_OPACITY, [&](COpacityDialog* d) {
        d->findChild<QLineEdit*>("1000")->setText("77");
        d->reject();
        return d->result();
    });
    EXPECT_FALSE(doc->GetImage()->AlphaIsValid());
    EXPECT_EQ(doc->UndoLevel(), 0);
    Run<COpacityDialog>(doc, ID_IMAGE_ALPHA_OPACITY, [&](COpacityDialog* d) {
        EXPECT_EQ(d->findChild<QLineEdit*>("1000")->text(), "255");
        d->findChild<QLineEdit*>("1000")->setText("256");
        EXPECT_EQ(Accept(d), int(QDialog::Rejected));
        d->findChild<QLineEdit*>("1000")->setText("77");
        return Accept(d);
    });
    EXPECT_TRUE(doc->GetImage()->AlphaIsValid());
    EXPECT_EQ(doc->GetImage()->AlphaGetMax(), 77);
    EXPECT_EQ(doc->UndoLevel(), 1);
    EXPECT_TRUE(doc->IsModified());
    doc->OnEditUndo();
    EXPECT_FALSE(doc->GetImage()->AlphaIsValid());
}

TEST_F(AdjustTest, CombineListsDocumentsInOpeningOrderAndBuildsANewImage) {
    ASSERT_TRUE(Start());
    CPelidorDoc* a = NewImageDoc(MakeImage(16, 12), "A");
    CPelidorDoc* b = NewImageDoc(Uniform(16, 12, 100), "B");
    const int counter = app->m_nNewImage;
    Run<CCombineDialog>(a, ID_IMAGE_COMBINE, [&](CCombineDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Combine");
        auto* red = d->findChild<QComboBox*>("1010");
        auto* alpha = d->findChild<QComboBox*>("1013");
        EXPECT_EQ(red->count(), 2);  // no start page
        EXPECT_EQ(red->itemText(0), "A");
        EXPECT_EQ(red->itemText(1), "B");
        EXPECT_EQ(alpha->itemText(0), "(None)");
        EXPECT_EQ(alpha->itemData(0).value<quintptr>(), 0u);
        EXPECT_EQ(d->findChild<QComboBox*>("1014")->currentText(), "red");
        EXPECT_EQ(d->findChild<QComboBox*>("1020")->currentText(), "gray");
        EXPECT_EQ(d->findChild<QComboBox*>("1015")->currentText(), "RGB");
        d->findChild<QComboBox*>("1011")->setCurrentIndex(1);
        d->findChild<QComboBox*>("1018")->setCurrentIndex(0);  // gray of B
        return Accept(d);
    });
    CPelidorDoc* made = DocTitled(QString("NewImage%1").arg(counter));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(app->m_nNewImage, counter + 1);
    PxImage ra(*a->GetImage()), rb(*b->GetImage()), rc(*a->GetImage());
    PxImage r, g(rb), bl, expect;
    ra.SplitRGB(&r, nullptr, nullptr);
    g.GrayScale();
    rc.SplitRGB(nullptr, nullptr, &bl);
    ASSERT_TRUE(expect.Combine(&r, &g, &bl, nullptr, 0));
    EXPECT_TRUE(SameImage(made->GetImage(), &expect));
    EXPECT_EQ(made->GetImage()->GetPixelColor(3, 3, false).rgbGreen, 100);

    // A colour channel without a source makes no document.
    const int docs = DocCount();
    Run<CCombineDialog>(a, ID_IMAGE_COMBINE, [&](CCombineDialog* d) {
        d->findChild<QComboBox*>("1012")->setCurrentIndex(-1);
        return Accept(d);
    });
    EXPECT_EQ(DocCount(), docs);
    EXPECT_EQ(app->m_nNewImage, counter + 1);
}

TEST_F(AdjustTest, FftNeedsOnePartAndNamesBothResultsWithOneNumber) {
    ASSERT_TRUE(Start());
    CPelidorDoc* a = NewImageDoc(MakeImage(16, 8), "A");
    const int docs = DocCount();
    Run<CFftDialog>(a, ID_IMAGE_FFT, [&](CFftDialog* d) {
        EXPECT_EQ(d->findChild<QComboBox*>("1015")->currentText(), "(None)");
        EXPECT_TRUE(d->findChild<QCheckBox*>("1004")->isChecked());
        EXPECT_EQ(Accept(d), int(QDialog::Rejected));  // both "(None)": stays open
        d->reject();
        return d->result();
    });
    EXPECT_EQ(DocCount(), docs);

    const int counter = app->m_nNewImage;
    Run<CFftDialog>(a, ID_IMAGE_FFT, [&](CFftDialog* d) {
        d->findChild<QComboBox*>("1015")->setCurrentIndex(1);
        return Accept(d);
    });
    EXPECT_EQ(app->m_nNewImage, counter + 1);
    CPelidorDoc* re = DocTitled(QString("FFT Real %1").arg(counter + 1));
    CPelidorDoc* im = DocTitled(QString("FFT Imag %1").arg(counter + 1));
    ASSERT_TRUE(re && im);
    PxImage er(*a->GetImage()), ei(16, 8, 8);
    ei.SetGrayPalette();
    ei.Clear(0);
    ASSERT_TRUE(er.FFT2(&er, &ei, nullptr, nullptr, 1, true, false));
    EXPECT_TRUE(SameImage(re->GetImage(), &er));
    EXPECT_TRUE(SameImage(im->GetImage(), &ei));

    Run<CFftDialog>(a, ID_IMAGE_FFT, [&](CFftDialog* d) {
        d->findChild<QComboBox*>("1016")->setCurrentIndex(1);
        d->findChild<QCheckBox*>("1003")->setChecked(true);
        d->findChild<QCheckBox*>("1002")->setChecked(true);
        return Accept(d);
    });
    EXPECT_NE(DocTitled(QString("FFT Magnitude %1").arg(counter + 2)), nullptr);
    EXPECT_NE(DocTitled(QString("FFT Phase %1").arg(counter + 2)), nullptr);
}

TEST_F(AdjustTest, MixPreviewsTheScaledOffsetAndMakesAMixDocument) {
    ASSERT_TRUE(Start());
    CPelidorDoc* dst = NewImageDoc(Uniform(400, 100, 0), "dst");
    PxImage* white = Uniform(40, 20, 255);
    CPelidorDoc* src = NewImageDoc(white, "src");
    const int counter = app->m_nNewImage;
    Run<CMixDialog>(dst, ID_IMAGE_MIX, [&](CMixDialog* d) {
        auto* ops = d->findChild<QComboBox*>("1029");
        EXPECT_EQ(ops->count(), 10);
        EXPECT_EQ(ops->currentText(), "OpAnd");
        EXPECT_EQ(ops->itemText(4), "OpScreen");
        EXPECT_EQ(ops->itemData(4).toInt(), int(PxImage::OpScreen));
        EXPECT_EQ(d->findChild<QComboBox*>("1028")->currentText(), "dst");
        EXPECT_EQ(d->findChild<QComboBox*>("1027")->currentText(), "src");
        d->findChild<QComboBox*>("1027")->setCurrentIndex(0);
        d->findChild<QComboBox*>("1028")->setCurrentIndex(1);
        ops->setCurrentIndex(0);  // OpAdd
        d->findChild<QLineEdit*>("1000")->setText("100");
        d->findChild<QPushButton*>("1030")->click();
        EXPECT_FLOAT_EQ(d->ThumbnailScale(), 0.5f);
        PxImage* p = d->PreviewImage();
        EXPECT_EQ(p->GetWidth(), 200u);
        // The offset of 100 shrinks with the thumbnails to 50.
        PxImage dt, st;
        dst->GetImage()->Resample(200, 50, 1, &dt);
        src->GetImage()->Resample(20, 10, 1, &st);
        dt.Mix(st, PxImage::OpAdd, 50, 0, false);
        EXPECT_TRUE(SameImage(p, &dt));
        d->findChild<QLineEdit*>("1000")->setText("0");
        d->findChild<QPushButton*>("1030")->click();
        EXPECT_EQ(WhiteColumns(d->PreviewImage()), std::make_pair(0, 19));
        d->findChild<QLineEdit*>("1000")->setText("100");
        EXPECT_FALSE(d->findChild<QLabel*>("1031")->pixmap().isNull());
        return Accept(d);
    });
    CPelidorDoc* made = DocTitled(QString("Mix %1").arg(counter + 1));
    ASSERT_NE(made, nullptr);
    PxImage expect(*dst->GetImage()), s(*src->GetImage());
    expect.Mix(s, PxImage::OpAdd, 100, 0, false);
    EXPECT_TRUE(SameImage(made->GetImage(), &expect));

    const int docs = DocCount();
    Run<CMixDialog>(dst, ID_IMAGE_MIX, [&](CMixDialog* d) {
        d->findChild<QComboBox*>("1028")->setCurrentIndex(-1);
        EXPECT_EQ(d->PreviewImage(), nullptr);
        return Accept(d);
    });
    EXPECT_EQ(DocCount(), docs);
}

TEST_F(AdjustTest, RepairChecksTheIterationsAndRunsWithUndoAndTheStopwatch) {
    ASSERT_TRUE(Start());
    CPelidorDoc* doc = NewImageDoc(MakeImage(24, 16), "img");
    const int messages = prompts.messages.size();
    Run<CRepairDialog>(doc, ID_IMAGE_REPAIR, [&](CRepairDialog* d) {
        auto* list = d->findChild<QComboBox*>("1015");
        EXPECT_EQ(list->count(), 5);
        EXPECT_EQ(list->itemText(4), "XYZ");
        EXPECT_EQ(d->findChild<QLineEdit*>("1001")->text(), "0.25");
        EXPECT_EQ(d->findChild<QLineEdit*>("1002")->text(), "2");
        d->findChild<QLineEdit*>("1002")->setText("51");
        EXPECT_EQ(Accept(d), int(QDialog::Rejected));
        d->findChild<QLineEdit*>("1002")->setText("0");
        EXPECT_EQ(Accept(d), int(QDialog::Rejected));
        EXPECT_EQ(prompts.messages.size(), messages + 2);
        d->findChild<QLineEdit*>("1002")->setText("3");
        d->findChild<QLineEdit*>("1001")->setText("0.5");
        list->setCurrentIndex(2);
        return Accept(d);
    });
    std::unique_ptr<PxImage> expect(MakeImage(24, 16));
    expect->Repair(0.5f, 3, 2);
    EXPECT_TRUE(SameImage(doc->GetImage(), expect.get()));
    EXPECT_EQ(doc->UndoLevel(), 1);
    EXPECT_TRUE(app->MainFrame()->PaneText(2).startsWith("Time (s): "));
}

TEST_F(AdjustTest, CommandsAreDisabledWithoutAnImage) {
    ASSERT_TRUE(Start());
    CPelidorDoc* empty = NewImageDoc(nullptr, "empty");
    CPelidorDoc* doc = NewImageDoc(MakeImage(8, 8), "img");
    for (UINT id : {ID_IMAGE_THRESHOLD, ID_IMAGE_COLORIZE, ID_IMAGE_LIGHTCONTRASTGAMMA, ID_IMAGE_ALPHA_OPACITY,
                    ID_IMAGE_COMBINE, ID_IMAGE_FFT, ID_IMAGE_REPAIR, ID_IMAGE_MIX}) {
        CCmdUI off(id), on(id);
        EXPECT_TRUE(empty->OnUpdateCmdUI(&off));
        EXPECT_FALSE(off.m_bEnabled) << id;
        EXPECT_TRUE(doc->OnUpdateCmdUI(&on));
        EXPECT_TRUE(on.m_bEnabled) << id;
        prompts.dialogs.clear();
        empty->OnCmdMsg(id);
        EXPECT_TRUE(prompts.dialogs.isEmpty()) << id;
    }
}
