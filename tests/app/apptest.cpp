#include "apptest.h"

#include "app/mainframe.h"
#include "app/pelidordoc.h"
#include "ui/messages.h"


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

CPelidorDoc* AppTest::NewImageDoc(PxImage* image, const QString& title) {
    auto* doc = dynamic_cast<CPelidorDoc*>(app->DocTemplate()->OpenDocumentFile(QString()));
    doc->SetImage(image);
    doc->SetTitle(title);
    doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    return doc;
}

bool AppTest::Enabled(UINT id) { return app->MainFrame()->Router()->Query(id).m_bEnabled; }

bool AppTest::StartWithDocument(CMainFrame*& mf, CPelidorDoc*& doc) {
    if (!Start()) return false;
    mf = app->MainFrame();
    doc = dynamic_cast<CPelidorDoc*>(app->DocTemplate()->OpenDocumentFile(QString()));
    return doc != nullptr;
}
