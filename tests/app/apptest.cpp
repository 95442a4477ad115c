#include "apptest.h"

#include "app/pelidordoc.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPrinter>

#include "ui/msgbridge.h"

bool FakePrompts::PrintDialog(QWidget*, QPrinter* printer) {
    printedOn = printer;
    if (pdfPath.isEmpty()) return false;
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdfPath);
    return true;
}

// The page set-up turns the page to landscape, as a user choosing it would.
bool FakePrompts::PageSetupDialog(QWidget*, QPrinter* printer) {
    pageSetups++;
    printer->setPageOrientation(QPageLayout::Landscape);
    return true;
}

void FakePrompts::PrintPreview(QWidget* parent, const std::function<void(QPrinter*)>& paint) {
    previews++;
    QPrinter printer;
    if (PrintDialog(parent, &printer)) paint(&printer);
}

void AppTest::SetUp() {
    ASSERT_TRUE(dir.isValid());
    oldPrompts = CPromptService::Replace(&prompts);
    // Every open ends before it returns, however slow the machine: the tests that read in
    // the background say so.
    CPelidorDoc::SetQuickOpenLimit(600000);
}

void AppTest::TearDown() {
    if (app) {
        app->ExitInstance();
        app.reset();
    }
    Pump();
    CPromptService::Replace(oldPrompts);
    CPelidorDoc::SetQuickOpenLimit(100);
}

bool AppTest::Start(const QStringList& args) {
    app = std::make_unique<CPelidorApp>(Path("cfg/Quillory.ini"));
    QStringList all = args;
    all.prepend("-nologo");
    return app->InitInstance(all);
}

PxImage* AppTest::MakeImage(int w, int h) {
    auto* img = new PxImage(w, h, 24, 1);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            img->SetPixelColor(x, y, RGBQUAD{static_cast<BYTE>(x * 7), static_cast<BYTE>(y * 5), static_cast<BYTE>(x + y), 0});
    return img;
}

QString AppTest::SaveBmp(const QString& name, int w, int h) {
    std::unique_ptr<PxImage> img(MakeImage(w, h));
    const QString p = Path(name);
    EXPECT_TRUE(img->Save(QFile::encodeName(p).constData(), 1)) << img->GetLastError();
    return p;
}

void AppTest::Pump(int ms) {
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        PumpPrivateMessages();
    } while (t.elapsed() < ms);
}
