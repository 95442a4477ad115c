// The EXIF report, the Options command with its dialog, and the place-text command.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTextCursor>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "app/dialogs/dataexchange.h"
#include "app/dialogs/exifreport.h"
#include "app/dialogs/placetextdialog.h"
#include "palettetest.h"

namespace {

PxImageJPG::tag_ExifInfo FullRecord() {
    PxImageJPG::tag_ExifInfo e;
    memset(&e, 0, sizeof e);
    strcpy(e.version, "0220");
    strcpy(e.make, "Ostrel");
    strcpy(e.model, "MX-1");
    strcpy(e.dateTime, "2026:12:09 06:00:00");
    e.width = 640;
    e.height = 480;
    e.xResolution = 72;
    e.yResolution = 72;
    e.resolutionUnit = 1;
    e.orientation = 6;
    e.isColor = 1;
    e.flashUsed = 1;
    e.focalLength = 7.4f;
    e.ccdWidth = 5.27f;
    e.exposureTime = 0.004f;
    e.brightness = 1.5f;
    e.fNumber = 2.8f;
    e.subjectDistance = -1;
    e.isoSpeed = 100;
    e.exposureBias = -0.33f;
    e.lightSource = 2;
    e.meteringMode = 5;
    e.exposureProgram = 2;
    e.compressionLevel = 4;
    e.process = 0xC2;
    strcpy(e.comment, "first\nsecond\n");
    e.isExif = true;
    return e;
}

}  // namespace

TEST(ExifReport, EveryLineInItsOrder) {
    EXPECT_EQ(CExifReport::Build(FullRecord()),
              "Camera make  : Ostrel\n"
              "Camera model : MX-1\n"
              "Date/Time    : 2026:12:09 06:00:00\n"
              "Exif version : 0220\n"
              "Width x Height   : 640 x 480\n"
              "X resolution (dpi) :  72.0\n"
              "Y resolution (dpi) :  72.0\n"
              "Orientation  : Rotated 90 CW\n"
              "Flash used   : Yes\n"
              "Focal length :  7.4mm  (35mm equivalent: 51mm)\n"
              "CCD width    : 5.27mm\n"
              "Exposure time: 0.004 s  (1/250)\n"
              "Brightness :  1.500\n"
              "Aperture     : f/2.8\n"
              "Focus dist.  : Infinite\n"
              "ISO equiv.   : 100\n"
              "Exposure bias:-0.33\n"
              "Whitebalance : fluorescent\n"
              "Metering Mode: matrix\n"
              "Exposure     : program (auto)\n"
              "Jpeg Quality : fine\n"
              "Encoding      : Progressive\n"
              "Comment      : first\nComment      : second\n\n"
              "\n");
    PxImageJPG::tag_ExifInfo e;
    memset(&e, 0, sizeof e);
    EXPECT_EQ(CExifReport::Build(e), "Width x Height   : 0 x 0\nColor/bw     : Black and white\nFlash used   : No\n"
                                     "Encoding      : Unknown\n\n");
}

TEST(ExifReport, HostileValuesNeitherCrashNorOverflow) {
    PxImageJPG::tag_ExifInfo e = FullRecord();
    e.exposureTime = 1e-30f;
    e.ccdWidth = 1e-38f;
    e.focalLength = 3e38f;
    e.orientation = 9;
    e.flashUsed = -1;
    e.subjectDistance = 2.5f;
    e.lightSource = 7;
    // Text fields filled to their last byte, with no terminator.
    memset(e.make, 'M', sizeof e.make);
    memset(e.comment, 'c', sizeof e.comment);
    const std::string r = CExifReport::Build(e);
    EXPECT_NE(r.find("(1/2147483647)"), std::string::npos);
    EXPECT_NE(r.find("(35mm equivalent: 2147483647mm)"), std::string::npos);
    EXPECT_NE(r.find("Orientation  : Undefined\n"), std::string::npos);
    EXPECT_EQ(r.find("Flash used"), std::string::npos);
    EXPECT_NE(r.find("Focus dist.  : 2.50m\n"), std::string::npos);
    EXPECT_NE(r.find("Whitebalance : cloudy\n"), std::string::npos);
    EXPECT_NE(r.find("Camera make  : " + std::string(32, 'M') + "\n"), std::string::npos);
    EXPECT_NE(r.find("Comment      : " + std::string(1000, 'c') + "\n\n"), std::string::npos);
    EXPECT_EQ(CExifReport::RoundToInt(std::nan("")), 0);
    EXPECT_EQ(CExifReport::RoundToInt(-1e300), -2147483647 - 1);
    for (int o = 2; o <= 8; o++) EXPECT_STRNE(CExifReport::OrientationText(o), "Undefined");
}

namespace {
class OptionsTest : public PaletteAppTest {};
}  // namespace

TEST_F(OptionsTest, PresetsComeFromTheImageAndOkWritesThemBack) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(8, 8));
    PxImage* img = d->GetImage();
    img->SetCodecOption(32773, 6);
    img->SetCodecOption(2, 2);
    img->SetCodecOption(1, 4);
    img->SetCodecOption(JPG_ENC_PROGRESSIVE | JPG_ENC_OPTIMIZE, 3);
    img->SetJpegQuality(75);
    img->SetXDPI(300);
    img->SetYDPI(200);
    prompts.onDialog = [](QDialog* dlg) {
        EXPECT_EQ(dlg->windowTitle(), "Options");
        for (int id : {1007, 1012, 1014, 1016, 1032}) EXPECT_TRUE(Control(dlg, id)->isChecked()) << id;
        EXPECT_EQ(Control<QLineEdit>(dlg, 1000)->text(), "75");
        EXPECT_EQ(Control<QLineEdit>(dlg, 1001)->text(), "300");
        EXPECT_FALSE(Control(dlg, 3)->isEnabled());  // no EXIF record
        for (int id : {1009, 1011, 1013, 1015, 1032}) Click(dlg, id);
        // 0 is refused with the standard message and the dialog stays open.
        Control<QLineEdit>(dlg, 1000)->setText("0");
        Control<QLineEdit>(dlg, 1001)->setText("72");
        Control<QLineEdit>(dlg, 1002)->setText("96");
        Click(dlg, IDOK);
        EXPECT_EQ(dlg->result(), int(QDialog::Rejected));
        Control<QLineEdit>(dlg, 1000)->setText("80");
        Click(dlg, IDOK);
        return dlg->result();
    };
    ASSERT_TRUE(Run(ID_IMAGE_OPTIONS));
    EXPECT_EQ(prompts.messages, QStringList{CDataExchange::IntegerRangeMessage(1, 255)});
    EXPECT_EQ(img->GetCodecOption(6), 5u);
    EXPECT_EQ(img->GetCodecOption(2), 1u);
    EXPECT_EQ(img->GetCodecOption(4), 0u);
    EXPECT_EQ(img->GetCodecOption(3), 0u);
    EXPECT_EQ(img->GetJpegQuality(), 80);
    EXPECT_EQ(img->GetXDPI(), 72);
    EXPECT_EQ(img->GetYDPI(), 96);
    EXPECT_EQ(app->m_nJpegQuality, 80);
    EXPECT_EQ(app->Profile().GetProfileInt("Options", "JpegQuality", 0), 80);

    // Cancel changes nothing.
    prompts.onDialog = [](QDialog* dlg) {
        Click(dlg, 1004);
        Control<QLineEdit>(dlg, 1000)->setText("33");
        Click(dlg, IDCANCEL);
        return dlg->result();
    };
    ASSERT_TRUE(Run(ID_IMAGE_OPTIONS));
    EXPECT_EQ(img->GetCodecOption(6), 5u);
    EXPECT_EQ(img->GetJpegQuality(), 80);
    EXPECT_EQ(app->m_nJpegQuality, 80);
}

TEST_F(OptionsTest, ATiffPresetNoRadioHasIsKeptUntilARadioIsPicked) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(8, 8));
    d->GetImage()->SetCodecOption(8, 6);  // Deflate
    d->GetImage()->SetJpegQuality(90);
    prompts.onDialog = [](QDialog* dlg) {
        EXPECT_TRUE(Control(dlg, 1003)->isChecked());
        Click(dlg, IDOK);
        return dlg->result();
    };
    ASSERT_TRUE(Run(ID_IMAGE_OPTIONS));
    EXPECT_EQ(d->GetImage()->GetCodecOption(6), 8u);
    prompts.onDialog = [](QDialog* dlg) {
        Click(dlg, 1003);
        Click(dlg, IDOK);
        return dlg->result();
    };
    ASSERT_TRUE(Run(ID_IMAGE_OPTIONS));
    EXPECT_EQ(d->GetImage()->GetCodecOption(6), 0u);
}

TEST_F(OptionsTest, ExifReportInAQuestionBoxAndNoOptionsWhileBusy) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(8, 8));
    d->GetImage()->SetJpegQuality(90);
    d->m_exifHolder.m_exifinfo = FullRecord();
    prompts.onDialog = [](QDialog* dlg) {
        EXPECT_TRUE(Control(dlg, 3)->isEnabled());
        Click(dlg, 3);
        Click(dlg, IDCANCEL);
        return dlg->result();
    };
    ASSERT_TRUE(Run(ID_IMAGE_OPTIONS));
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].toStdString(), CExifReport::Build(FullRecord()));
    EXPECT_EQ(prompts.captions.back(), "EXIF");
    EXPECT_EQ(prompts.types.back(), MB_OK | MB_ICONQUESTION);

    std::atomic<bool> release{false};
    CPelidorDoc::RegisterImageOperation(40777, [&](PxImage&, const ImageCommandParams&) {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return true;
    });
    ASSERT_TRUE(d->StartImageCommand(40777));
    EXPECT_FALSE(Enabled(ID_IMAGE_OPTIONS));
    EXPECT_FALSE(Enabled(ID_IMAGE_TEXT_TOOL) && Enabled(ID_IMAGE_PALETTE));
    release = true;
    d->WaitForCommand();
    EXPECT_TRUE(Enabled(ID_IMAGE_OPTIONS));
}

TEST(PlaceTextDialog, RecordTextEndsLinesWithCrLfAndCutsOnACharacterBoundary) {
    EXPECT_EQ(CPlaceTextDialog::RecordText("a\nb"), QByteArray("a\r\nb"));
    EXPECT_EQ(CPlaceTextDialog::EditText("a\r\nb", 4096), "a\nb");
    // 4094 single bytes, then a two-byte letter: the letter would straddle the cut.
    QString s = QString(4094, 'x') + QString::fromUtf8("\xC3\xA9") + "tail";
    EXPECT_EQ(CPlaceTextDialog::RecordText(s), QByteArray(4094, 'x'));
    // 4094 bytes and a line end: the CR LF is not split.
    s = QString(4094, 'x') + "\nmore";
    EXPECT_EQ(CPlaceTextDialog::RecordText(s), QByteArray(4094, 'x'));
    s = QString(5000, QChar(0x20AC));
    const QByteArray cut = CPlaceTextDialog::RecordText(s);
    EXPECT_EQ(cut.size(), 4095 / 3 * 3);
    EXPECT_EQ(QString::fromUtf8(cut), QString(4095 / 3, QChar(0x20AC)));
}

namespace {
class PlaceTextTest : public PaletteAppTest {};
}  // namespace

TEST_F(PlaceTextTest, OkStoresEveryFieldAndSwitchesToTheTextTool) {
    ASSERT_TRUE(Start());
    CPelidorDoc* d = NewImageDoc(MakeImage(8, 8));
    PxImage::tagPxTextInfo& t = app->m_TextInfo;
    strcpy(t.text, "Hello\r\nWorld");
    t.b_opacity = 0.25f;
    t.r_radius = 30;
    t.align = 2;
    t.opaque = 1;
    t.fcolor = RGB(200, 10, 20);
    t.bcolor = RGB(1, 2, 3);
    t.lfont.lfCharSet = 238;
    LOGFONT chosen;
    chosen.lfHeight = -20;
    chosen.lfWeight = 700;
    strcpy(chosen.lfFaceName, "DejaVu Sans");
    prompts.font = chosen;
    prompts.colors = {RGB(9, 8, 7), RGB(4, 5, 6)};
    prompts.onDialog = [&](QDialog* dlg) {
        EXPECT_EQ(dlg->windowTitle(), "Place text to image");
        auto* edit = Control<QPlainTextEdit>(dlg, 1000);
        auto* opacity = Control<QSlider>(dlg, 1023);
        auto* radius = Control<QSlider>(dlg, 1024);
        EXPECT_EQ(edit->toPlainText(), "Hello\nWorld");
        EXPECT_EQ(edit->textCursor().selectedText().size(), 11);
        EXPECT_EQ(edit->palette().color(QPalette::Text), QColor(200, 10, 20));
        EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(Qt::black));
        QTextCursor c(edit->document());
        c.setPosition(1);
        EXPECT_EQ(c.charFormat().background().color(), QColor(1, 2, 3));
        EXPECT_EQ(opacity->value(), 25);
        EXPECT_EQ(Control<QLabel>(dlg, 1025)->text(), "25%");
        EXPECT_EQ(Control<QLabel>(dlg, 1026)->text(), "30%");
        EXPECT_EQ(opacity->tickInterval(), 5);
        EXPECT_NE(opacity->tickPosition(), QSlider::NoTicks);
        EXPECT_TRUE(Control(dlg, 1005)->isChecked());
        // Keys and channel clicks count as well as drags.
        QTest::keyClick(opacity, Qt::Key_Right);
        EXPECT_EQ(opacity->value(), 35);
        EXPECT_EQ(Control<QLabel>(dlg, 1025)->text(), "35%");
        radius->triggerAction(QAbstractSlider::SliderPageStepAdd);
        EXPECT_EQ(Control<QLabel>(dlg, 1026)->text(), "40%");
        // The background switch enables its controls.
        Click(dlg, 1002);
        for (int id : {1022, 1023, 1024, 1025, 1026}) EXPECT_FALSE(Control<QWidget>(dlg, id)->isEnabled()) << id;
        Click(dlg, 1002);
        for (int id : {1022, 1023, 1024, 1025, 1026}) EXPECT_TRUE(Control<QWidget>(dlg, id)->isEnabled()) << id;
        Click(dlg, 1003);
        Click(dlg, 3);
        Click(dlg, 1021);
        EXPECT_EQ(edit->palette().color(QPalette::Text), QColor(9, 8, 7));
        Click(dlg, 1022);
        edit->setPlainText(QString(5000, 'z'));
        Click(dlg, IDOK);
        return dlg->result();
    };
    ASSERT_TRUE(Run(ID_IMAGE_TEXT_TOOL));
    EXPECT_EQ(d->m_nTool, kToolText);
    EXPECT_EQ(strlen(t.text), 4095u);
    EXPECT_FLOAT_EQ(t.b_opacity, 0.35f);
    EXPECT_EQ(t.r_radius, 40);
    EXPECT_EQ(t.align, 1);
    EXPECT_EQ(t.opaque, 1);
    EXPECT_EQ(t.fcolor, RGB(9, 8, 7));
    EXPECT_EQ(t.bcolor, RGB(4, 5, 6));
    EXPECT_STREQ(t.lfont.lfFaceName, "DejaVu Sans");
    EXPECT_EQ(t.lfont.lfHeight, -20);
    EXPECT_EQ(t.lfont.lfWeight, 700);
    EXPECT_EQ(t.lfont.lfCharSet, 238);
    // The second pick saw the custom colours the first left.
    ASSERT_EQ(prompts.customSeen.size(), 2u);
    EXPECT_EQ(prompts.customSeen[0][0], 0u);
    EXPECT_EQ(prompts.customSeen[1][0], RGB(200, 10, 20));
    EXPECT_EQ(prompts.opened[1], RGB(1, 2, 3));

    // Cancel after changes keeps the record as it was, font included.
    const PxImage::tagPxTextInfo before = t;
    d->m_nTool = kToolMove;
    LOGFONT other;
    strcpy(other.lfFaceName, "Other");
    prompts.font = other;
    prompts.colors = {RGB(50, 50, 50)};
    prompts.onDialog = [](QDialog* dlg) {
        Click(dlg, 3);
        Click(dlg, 1021);
        Click(dlg, 1002);
        Control<QSlider>(dlg, 1023)->setValue(90);
        Click(dlg, IDCANCEL);
        return dlg->result();
    };
    ASSERT_TRUE(Run(ID_IMAGE_TEXT_TOOL));
    EXPECT_EQ(memcmp(&before, &t, sizeof t), 0);
    EXPECT_EQ(d->m_nTool, kToolMove);
}
