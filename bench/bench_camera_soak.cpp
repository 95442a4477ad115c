// Live view with recording over a long run: the whole program offscreen on the simulated camera
// (real pacing) records MJPEG for QUILLORY_SOAK_SECONDS (default 600) and reports the frames the
// camera delivered (grabbed), the frames painted (shown), the frames in the AVI (recorded), the
// frames shown and recorded short of the grabbed (dropped_*), the resident memory at the start
// and end of the run from /proc/self/statm, and the process's CPU time per shown frame. The AVI
// is then decoded whole through CAviFile's reader and checked against its index (decoded_whole).
// Built in a tree with the GUI and benchmarks on:
//   cmake --preset bench && cmake --build build/bench --target bench_camera_soak
//   QUILLORY_SOAK_SECONDS=60 QT_QPA_PLATFORM=offscreen build/bench/bin/bench_camera_soak
#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

#include "camerabench.h"
#include "video/avifile.h"
#include "qtbenchmain.h"

namespace {

using namespace camerabench;

double ResidentMb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * sysconf(_SC_PAGESIZE) / (1024.0 * 1024.0);
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The MJPEG encoder the AVI muxer takes, as the save dialog lists it; "ACDV" when it is not listed.
FOURCC MjpegCompressor() {
    for (const AviCompressor& c : CAviFile::EnumerateCompressors())
        if (c.name == "mjpeg") return c.fourcc;
    return MakeFourCC('A', 'C', 'D', 'V');
}

// The frame count the AVI's index gives for its video stream; -1 when it cannot be read.
int64_t IndexedFrames(const std::string& path) {
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return -1;
    int64_t frames = -1;
    if (avformat_find_stream_info(fmt, nullptr) >= 0) {
        const int video = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (video >= 0) frames = fmt->streams[video]->nb_frames;
    }
    avformat_close_input(&fmt);
    return frames;
}

// Decodes every frame in turn; the count decoded before the first failure.
int DecodedFrames(const std::string& path) {
    CAviFile avi;
    if (!avi.OpenForRead(path)) return 0;
    int n = 0;
    while (avi.ReadFrame(n)) ++n;
    return n;
}

int SoakSeconds() {
    const int n = qEnvironmentVariableIntValue("QUILLORY_SOAK_SECONDS");
    return n > 0 ? n : 600;
}

void BM_CameraSoak(benchmark::State& state) {
    const FOURCC mjpeg = MjpegCompressor();
    Program program([mjpeg](CProfile& p) {
        p.WriteProfileInt("VideoSave", "bConfig", 1);
        p.WriteProfileInt("VideoSave", "bTimeStamp", 0);
        p.WriteProfileInt("VideoSave", "bTimeLimit", 0);
        p.WriteProfileInt("VideoSave", "Compress", static_cast<int>(mjpeg));
        p.WriteProfileString("VideoSave", "sFilename", "soak");
    });
    if (!program.Started() || !program.WaitShowing()) {
        state.SkipWithError("the camera window did not open");
        return;
    }
    PumpFor(2000);  // live view settles
    const int seconds = SoakSeconds();
    double rssStart = 0, rssEnd = 0, cpu = 0;
    uint64_t grabbed = 0, shown = 0, grabbedRecording = 0;
    QString avi;
    for (auto _ : state) {
        const qsizetype files = program.Announced().size();
        const uint64_t atRecord = SimCamGetState().framesRead;
        SendMessage(program.CameraHandle(), WM_COMMAND, kCmdRecord, 0);
        PumpFor(3000);  // the encoder's and the file's buffers fill first
        rssStart = ResidentMb();
        const double cpu0 = CpuSeconds();
        const uint64_t grabbed0 = SimCamGetState().framesRead, shown0 = program.FramesPainted();
        PumpFor(seconds * 1000 - 3000 > 0 ? seconds * 1000 - 3000 : 0);
        grabbed = SimCamGetState().framesRead - grabbed0;
        shown = program.FramesPainted() - shown0;
        cpu = CpuSeconds() - cpu0;
        rssEnd = ResidentMb();
        SendMessage(program.CameraHandle(), WM_COMMAND, kCmdRecord, 0);
        grabbedRecording = SimCamGetState().framesRead - atRecord;
        // The recording is announced once its file is finished.
        if (!PumpUntil([&] { return program.Announced().size() > files && program.Announced().last().endsWith(".avi"); },
                       120000)) {
            state.SkipWithError("the recording was not finished");
            return;
        }
        avi = program.Announced().last();
    }
    const std::string path = QFile::encodeName(avi).toStdString();
    const int64_t indexed = IndexedFrames(path);
    const int decoded = DecodedFrames(path);
    state.counters["seconds"] = seconds;
    // Grabbed and shown cover the run after its first 3 s, when memory and CPU are sampled.
    state.counters["grabbed"] = static_cast<double>(grabbed);
    state.counters["grabbed_recording"] = static_cast<double>(grabbedRecording);
    state.counters["shown"] = static_cast<double>(shown);
    state.counters["recorded"] = decoded;
    state.counters["indexed"] = static_cast<double>(indexed);
    state.counters["dropped_shown"] = static_cast<double>(grabbed) - static_cast<double>(shown);
    state.counters["dropped_recorded"] = static_cast<double>(grabbedRecording) - decoded;
    state.counters["rss_start_mb"] = rssStart;
    state.counters["rss_end_mb"] = rssEnd;
    state.counters["rss_growth_mb"] = rssEnd - rssStart;
    state.counters["cpu_ms_per_shown"] = shown ? 1000.0 * cpu / shown : 0;
    state.counters["avi_mb"] = QFileInfo(avi).size() / (1024.0 * 1024.0);
    state.counters["decoded_whole"] = indexed > 0 && decoded == indexed ? 1 : 0;
    state.SetLabel(FourCCText(mjpeg));
}

BENCHMARK(BM_CameraSoak)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) { return RunQtBenchmarks(argc, argv); }
