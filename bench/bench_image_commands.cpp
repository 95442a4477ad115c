// The image document's commands on a 20-megapixel picture, as the menu starts them: from the
// command until the document has ended it (the undo step kept, the views and panes told), with
// the event loop running meanwhile. Also a whole Save As to TIFF and PNG and an open of each.
//   cmake --preset bench && cmake --build build/bench --target bench_image_commands
//   QT_QPA_PLATFORM=offscreen build/bench/bin/bench_image_commands
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMdiSubWindow>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "app/cmdids.h"
#include "app/mainframe.h"
#include "app/pelidorapp.h"
#include "app/pelidordoc.h"
#include "camerabench.h"
#include "imagelib/pximage.h"
#include "imagelib/pxrandom.h"
#include "ui/profile.h"

namespace {

using camerabench::PumpUntil;

constexpr LONG kWidth = 5472, kHeight = 3648;

PxImage* MakePicture() {
    auto* img = new PxImage;
    img->Create(kWidth, kHeight, 24);
    px::Rand15 r(1);
    for (LONG y = 0; y < kHeight; y++) {
        BYTE* row = img->GetBits(y);
        for (LONG x = 0; x < kWidth * 3; x++) row[x] = static_cast<BYTE>((x / 3 + y) / 40 + (r.Next() & 31));
    }
    return img;
}

// The program on a temporary profile, with one document holding the picture.
class Session {
public:
    Session() {
        setenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8().constData(), 1);
        setenv("HOME", dir_.path().toUtf8().constData(), 1);
        unsetenv("QUILLORY_SIMULATED_CAMERA");
        old_ = CPromptService::Replace(&prompts_);
        app_ = std::make_unique<CPelidorApp>(dir_.filePath("cfg/Quillory.ini"));
        app_->InitInstance({"-nologo"});
        // A BMP file, so that Save As with a name asks nothing.
        // The pictures live in a folder of their own, so the start page (which shows the home
        // folder) draws no tiles of them while the commands are timed.
        QDir(dir_.path()).mkpath("pictures");
        const QString source = File("source.bmp");
        std::unique_ptr<PxImage> picture(MakePicture());
        picture->Save(QFile::encodeName(source).constData(), PXIMAGE_FORMAT_BMP);
        doc_ = dynamic_cast<CPelidorDoc*>(app_->DocTemplate()->OpenDocumentFile(source));
        PumpUntil([this] { return doc_ && doc_->GetImage() && !doc_->IsBusy(); }, 120000);
    }
    ~Session() {
        doc_->SetModifiedFlag(false);
        app_->ExitInstance();
        app_.reset();
        CPromptService::Replace(old_);
    }
    CPelidorDoc* Doc() { return doc_; }
    CPelidorApp* App() { return app_.get(); }
    QString File(const char* name) const { return dir_.filePath(QString("pictures/") + name); }
    std::string LastMessage() const {
        return prompts_.messages.isEmpty() ? std::string() : prompts_.messages.last().toStdString();
    }

private:
    QTemporaryDir dir_;
    camerabench::SilentPrompts prompts_;
    CPromptService* old_ = nullptr;
    std::unique_ptr<CPelidorApp> app_;
    CPelidorDoc* doc_ = nullptr;
};

std::unique_ptr<Session> g_session;

Session& TheSession() {
    if (!g_session) g_session = std::make_unique<Session>();
    return *g_session;
}

void RunCommand(benchmark::State& state, int id, ImageCommandParams p = ImageCommandParams()) {
    CPelidorDoc* doc = TheSession().Doc();
    double worker = 0;
    for (auto _ : state) {
        if (!doc->StartImageCommand(id, p)) {
            state.SkipWithError(("the command did not start: " + TheSession().LastMessage()).c_str());
            return;
        }
        if (!PumpUntil([&] { return !doc->IsBusy(); }, 120000)) {
            state.SkipWithError("the command did not end");
            return;
        }
        // Undo, off the clock, so every round starts from the same picture.
        state.PauseTiming();
        worker += doc->m_fElapsed;
        doc->OnEditUndo();
        state.ResumeTiming();
    }
    // The operation's own time on the worker, beside the whole command's.
    state.counters["op_ms"] = 1000 * worker / static_cast<double>(state.iterations());
}

void BM_Mirror(benchmark::State& s) { RunCommand(s, ID_IMAGE_MIRROR); }
void BM_Flip(benchmark::State& s) { RunCommand(s, ID_IMAGE_FLIP); }
void BM_RotateLeft(benchmark::State& s) { RunCommand(s, ID_IMAGE_ROTATEL); }
void BM_Negative(benchmark::State& s) { RunCommand(s, ID_IMAGE_NEGATIVE); }
void BM_GrayScale(benchmark::State& s) { RunCommand(s, ID_IMAGE_GRAYSCALE); }
void BM_Blur3x3(benchmark::State& s) { RunCommand(s, ID_IMAGE_FILTERS_BLUR); }
void BM_Median(benchmark::State& s) { RunCommand(s, ID_IMAGE_FILTERS_MEDIAN); }
void BM_ResampleHalf(benchmark::State& s) {
    ImageCommandParams p;
    p.P0 = kWidth / 2;
    p.P1 = kHeight / 2;
    p.P2 = 1;
    RunCommand(s, ID_IMAGE_RESAMPLE, p);
}
void BM_Rotate30(benchmark::State& s) {
    ImageCommandParams p;
    p.P0 = 30000;
    p.P1 = 1;
    RunCommand(s, ID_IMAGE_ROTATE, p);
}

// Save As with a given name (the document asks nothing), then the open of that file.
void SaveAndOpen(benchmark::State& state, const char* name) {
    Session& s = TheSession();
    const QString path = s.File(name);
    for (auto _ : state) {
        if (!s.Doc()->DoSave(path, false)) {
            state.SkipWithError(("the save failed: " + s.LastMessage()).c_str());
            return;
        }
    }
    state.counters["bytes"] = static_cast<double>(QFileInfo(path).size());
}
void OpenFile(benchmark::State& state, const char* name) {
    Session& s = TheSession();
    const QString path = s.File(name);
    if (!QFileInfo::exists(path) && !s.Doc()->DoSave(path, false)) {
        state.SkipWithError("the file could not be written");
        return;
    }
    for (auto _ : state) {
        auto* doc = dynamic_cast<CPelidorDoc*>(s.App()->DocTemplate()->OpenDocumentFile(path));
        if (!doc || !PumpUntil([&] { return doc->GetImage() && doc->GetImage()->IsValid() && !doc->IsBusy(); }, 120000)) {
            state.SkipWithError("the open failed");
            return;
        }
        state.PauseTiming();
        delete s.App()->DocTemplate()->FrameOf(doc);
        state.ResumeTiming();
    }
}
void BM_SaveTiff(benchmark::State& s) { SaveAndOpen(s, "b.tif"); }
void BM_SavePng(benchmark::State& s) { SaveAndOpen(s, "b.png"); }
void BM_OpenTiff(benchmark::State& s) { OpenFile(s, "b.tif"); }
void BM_OpenPng(benchmark::State& s) { OpenFile(s, "b.png"); }

#define COMMAND_BENCH(f) BENCHMARK(f)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5)
COMMAND_BENCH(BM_Mirror);
COMMAND_BENCH(BM_Flip);
COMMAND_BENCH(BM_RotateLeft);
COMMAND_BENCH(BM_Negative);
COMMAND_BENCH(BM_GrayScale);
COMMAND_BENCH(BM_Blur3x3);
COMMAND_BENCH(BM_Median);
COMMAND_BENCH(BM_ResampleHalf);
COMMAND_BENCH(BM_Rotate30);
COMMAND_BENCH(BM_SaveTiff);
COMMAND_BENCH(BM_SavePng);
COMMAND_BENCH(BM_OpenTiff);
COMMAND_BENCH(BM_OpenPng);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_session.reset();  // while the application still exists
    return 0;
}
