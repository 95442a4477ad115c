// Paste of clipboard images, copy, duplicate and printing to a PDF file.
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QMimeData>

#include "app/clipboardimage.h"
#include "app/cmdids.h"
#include "app/mainframe.h"
#include "ui/messages.h"
#include "app/pelidordoc.h"
#include "app/pelidorview.h"
#include "apptest.h"

TEST_F(AppTest, PasteOfAnImageFromAnotherProgramMakesANumberedDocument) {
    ASSERT_TRUE(Start());
    QImage q(5, 3, QImage::Format_RGB32);
    q.fill(QColor(10, 20, 30));
    q.setPixelColor(0, 0, QColor(200, 100, 50));  // top-left
    QApplication::clipboard()->setImage(q);
    ASSERT_TRUE(app->MainFrame()->Router()->Query(ID_EDIT_PASTE).m_bEnabled);
    app->MainFrame()->Router()->Execute(ID_EDIT_PASTE);
    auto* d = app->MainFrame()->ActiveDocument();
    ASSERT_NE(d, nullptr);
    ASSERT_NE(d->GetImage(), nullptr);
    EXPECT_EQ(d->GetTitle(), "Clipboard Image 1");
    EXPECT_EQ(d->GetImage()->GetWidth(), 5u);
    const RGBQUAD c = d->GetImage()->GetPixelColor(0, 2);  // top row is the last DIB row
    EXPECT_EQ(c.rgbRed, 200);
    EXPECT_EQ(c.rgbGreen, 100);
    EXPECT_EQ(c.rgbBlue, 50);

    // Duplicate takes the counter first, then the next paste is one higher.
    app->MainFrame()->Router()->Execute(ID_IMAGE_DUPLICATE);
    EXPECT_EQ(app->MainFrame()->ActiveDocument()->GetTitle(), "Copy 2 of Clipboard Image 1");
    app->MainFrame()->Router()->Execute(ID_EDIT_PASTE);
    EXPECT_EQ(app->MainFrame()->ActiveDocument()->GetTitle(), "Clipboard Image 3");
}

TEST_F(AppTest, CopyThenPasteKeepsAnIndexedImageAndItsResolution) {
    ASSERT_TRUE(Start());
    PxImage img(7, 5, 8, 1);
    img.SetGrayPalette();
    img.SetPaletteColor(9, 1, 2, 3);
    img.SetPixelIndex(6, 4, 9);
    img.SetXDPI(200);
    ASSERT_TRUE(CopyImageToClipboard(img));
    ASSERT_TRUE(QApplication::clipboard()->mimeData()->hasFormat(kDibMimeType));
    std::unique_ptr<PxImage> back(ImageFromClipboard());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetBpp(), 8);
    EXPECT_EQ(back->GetXDPI(), 200);
    EXPECT_EQ(back->GetPixelIndex(6, 4), 9);
    EXPECT_EQ(back->GetPaletteColor(9).rgbBlue, 3);

    // A BMP offered by another program: the file header is dropped and the DIB read.
    QByteArray bmp("BM");
    bmp.append(12, '\0');
    DWORD size = 0;
    BYTE* dib = img.CopyToHandle(&size);
    bmp.append(reinterpret_cast<const char*>(dib), static_cast<int>(size));
    PxImage::FreeMemory(dib);
    auto* mime = new QMimeData;
    mime->setData("image/bmp", bmp);
    QApplication::clipboard()->setMimeData(mime);
    back.reset(ImageFromClipboard());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetPixelIndex(6, 4), 9);
}

TEST_F(AppTest, PrintWritesAPdfOfThePhysicalSize) {
    ASSERT_TRUE(Start());
    auto* d = dynamic_cast<CPelidorDoc*>(app->DocTemplate()->OpenDocumentFile(QString()));
    d->SetImage(MakeImage(96, 48));
    d->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    prompts.pdfPath = Path("out.pdf");
    ASSERT_TRUE(app->MainFrame()->Router()->Query(ID_FILE_PRINT).m_bEnabled);
    app->MainFrame()->Router()->Execute(ID_FILE_PRINT);
    QFile pdf(prompts.pdfPath);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_GT(bytes.size(), 500);
    // The preview paints the same pages.
    QFile::remove(prompts.pdfPath);
    app->MainFrame()->Router()->Execute(ID_FILE_PRINT_PREVIEW);
    EXPECT_EQ(prompts.previews, 1);
    EXPECT_TRUE(QFile::exists(prompts.pdfPath));
    // Without a dialog answer nothing is printed.
    prompts.pdfPath.clear();
    QFile::remove(Path("out.pdf"));
    app->MainFrame()->Router()->Execute(ID_FILE_PRINT);
    EXPECT_FALSE(QFile::exists(Path("out.pdf")));
}

TEST(Printing, PhysicalSizeFollowsPrinterResolutionAndZoom) {
    // 600 dpi at zoom 1: 6.25 device pixels per image pixel.
    EXPECT_EQ(CPelidorView::PrintedSize(96, 48, 600, 600, 1.0f), QSize(600, 300));
    EXPECT_EQ(CPelidorView::PrintedSize(100, 100, 600, 300, 2.0f), QSize(1250, 625));
    // Sizes beyond 32 bits of intermediate product stay correct.
    EXPECT_EQ(CPelidorView::PrintedSize(60000, 1, 1200, 1200, 16.0f).width(), 12000000);
}
