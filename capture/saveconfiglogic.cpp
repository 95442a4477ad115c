#include "capture/saveconfiglogic.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <tuple>

CSaveConfigLogic::CSaveConfigLogic(std::vector<AviCompressor> compressors,
                                   std::function<bool(const AviCompressor&)> hasSettings)
    : m_compressors(std::move(compressors)), m_hasSettings(std::move(hasSettings)) {}

void CSaveConfigLogic::CopySnapshot(bool toSnapshot) {
    if (!m_s) return;
    CameraSettings& s = *m_s;
    Snapshot& k = m_snapshot;
    auto copy = [toSnapshot](auto& record, auto& kept) {
        if (toSnapshot)
            kept = record;
        else
            record = kept;
    };
    copy(s.snap.bConfig, k.snapConfig);
    copy(s.snap.sFilename, k.snapFilename);
    copy(s.snap.bNum, k.snapNum);
    copy(s.snap.bTimeStamp, k.snapTimeStamp);
    copy(s.snap.bLapse, k.snapLapse);
    copy(s.snap.nSpace, k.snapSpace);
    copy(s.snap.nCount, k.snapCount);
    copy(s.snap.uiFiletype, k.snapFiletype);
    copy(s.snap.sPath, k.snapPath);
    copy(s.bFineMode, k.snapFineMode);
    copy(s.video.bConfig, k.videoConfig);
    copy(s.video.sFilename, k.videoFilename);
    copy(s.video.bNum, k.videoNum);
    copy(s.video.bTimeStamp, k.videoTimeStamp);
    copy(s.video.CompressID, k.videoCompressId);
    copy(s.video.Compress, k.videoCompress);
    copy(s.video.bTimeLimit, k.videoTimeLimit);
    copy(s.video.TimeLimit, k.videoTimeLimitSeconds);
    copy(s.bResLock, k.resLock);
    copy(s.byPreviewRes, k.previewRes);
    copy(s.byCaptureRes, k.captureRes);
}

int CSaveConfigLogic::FileItemOfType(int uiFiletype) {
    switch (uiFiletype) {
    case kCaptureJpeg: return 0;
    case kCaptureTiff: return 2;
    case kCaptureRaw: return 3;
    default: return 1;
    }
}

int CSaveConfigLogic::FileTypeOfItem(int item) {
    switch (item) {
    case 0: return kCaptureJpeg;
    case 2: return kCaptureTiff;
    case 3: return kCaptureRaw;
    default: return kCaptureBmp;
    }
}

// ---- Snap page ----

void CSaveConfigLogic::LoadSnap() {
    if (!m_s) return;
    const SnapSaveSettings& r = m_s->snap;
    snap.bConfig = r.bConfig ? 1 : 0;
    snap.sFilename = r.sFilename;
    snap.sPath = r.sPath;
    snap.bTimeStamp = r.bTimeStamp ? 1 : 0;
    snap.bNum = r.bNum ? 1 : 0;
    snap.fileItem = FileItemOfType(r.uiFiletype);
    snap.bLapse = r.bLapse ? 1 : 0;
    // A hand-edited profile may hold any number: the page shows the nearest one it accepts.
    snap.interval = std::to_string(std::clamp(r.nSpace, kInterval.minimum, kInterval.maximum));
    snap.frames = std::to_string(std::clamp(r.nCount, kFrames.minimum, kFrames.maximum));
    snap.bFineMode = m_s->bFineModeAvailable && m_s->bFineMode ? 1 : 0;
    UpdateSnapControls();
}

void CSaveConfigLogic::UpdateSnapControls() {
    const bool config = snap.bConfig != 0;
    snap.nameEnabled = config && !snap.bTimeStamp;
    snap.configEnabled = config;
    snap.lapseEnabled = config && snap.bLapse;
    snap.fineModeEnabled = m_s && m_s->bFineModeAvailable;
    if (!snap.fineModeEnabled) snap.bFineMode = 0;
}

void CSaveConfigLogic::OnSnapConfig(bool useConfig) {
    snap.bConfig = useConfig ? 1 : 0;
    if (!useConfig) {
        // Whole strings, not literals: g++ 12 warns (-Wrestrict) about assigning short literals here.
        snap.interval = std::to_string(kInterval.minimum);
        snap.frames = std::to_string(kFrames.minimum);
    }
    UpdateSnapControls();
}

void CSaveConfigLogic::OnSnapTimeStamp(bool on) {
    snap.bTimeStamp = on ? 1 : 0;
    UpdateSnapControls();
}

void CSaveConfigLogic::OnSnapLapse(bool on) {
    snap.bLapse = on ? 1 : 0;
    UpdateSnapControls();
}

// ---- Video page ----

void CSaveConfigLogic::LoadVideo() {
    if (!m_s) return;
    const VideoSaveSettings& r = m_s->video;
    video.bConfig = r.bConfig ? 1 : 0;
    video.sFilename = r.sFilename;
    video.sPath = r.sPath;
    video.bTimeStamp = r.bTimeStamp ? 1 : 0;
    video.bNum = r.bNum ? 1 : 0;
    // The page shows the compressor a recording will use: the stored index when its FOURCC is the
    // one stored, else the entry of that FOURCC; an index outside the list (a negative one as
    // well), or a FOURCC the list does not offer ("DIB " or 0 of a fresh profile), is "No Compressor".
    video.compressor = NoCompressorItem();
    const FOURCC used = static_cast<FOURCC>(r.Compress);
    if (const AviCompressor* c = CompressorOfItem(r.CompressID); c && c->fourcc == used) {
        video.compressor = r.CompressID;
    } else if (r.CompressID >= 0 && r.CompressID < NoCompressorItem()) {
        for (int i = 0; i < NoCompressorItem(); ++i)
            if (m_compressors[static_cast<size_t>(i)].fourcc == used) { video.compressor = i; break; }
    }
    video.bTimeLimit = r.bTimeLimit ? 1 : 0;
    video.timeLimit = std::to_string(std::clamp(r.TimeLimit, kTimeLimit.minimum, kTimeLimit.maximum));
    UpdateVideoControls();
}

void CSaveConfigLogic::UpdateVideoControls() {
    const bool config = video.bConfig != 0;
    video.nameEnabled = config && !video.bTimeStamp;
    video.configEnabled = config;
    video.timeLimitEnabled = video.bTimeLimit != 0;
    const AviCompressor* c = CompressorOfItem(video.compressor);
    video.configButtonEnabled = c && m_hasSettings && m_hasSettings(*c);
}

void CSaveConfigLogic::OnVideoConfig(bool useConfig) {
    video.bConfig = useConfig ? 1 : 0;
    UpdateVideoControls();
}

void CSaveConfigLogic::OnVideoTimeStamp(bool on) {
    video.bTimeStamp = on ? 1 : 0;
    UpdateVideoControls();
}

void CSaveConfigLogic::OnVideoTimeLimit(bool on) {
    video.bTimeLimit = on ? 1 : 0;
    UpdateVideoControls();
}

void CSaveConfigLogic::OnCompressor(int item) {
    video.compressor = item >= 0 && item <= NoCompressorItem() ? item : NoCompressorItem();
    UpdateVideoControls();
}

const AviCompressor* CSaveConfigLogic::CompressorOfItem(int item) const {
    return item >= 0 && item < NoCompressorItem() ? &m_compressors[static_cast<size_t>(item)] : nullptr;
}

// ---- Store ----

bool CSaveConfigLogic::ReadNumber(const std::string& text, const NumberField& field, int* value) {
    // Blanks around the digits are allowed; anything else, or a number too long for an int,
    // is refused.
    size_t i = 0, end = text.size();
    while (i < end && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    while (end > i && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    if (i == end) return false;
    long long v = 0;
    for (size_t k = i; k < end; ++k) {
        if (!std::isdigit(static_cast<unsigned char>(text[k]))) return false;
        v = v * 10 + (text[k] - '0');
        if (v > INT_MAX) return false;
    }
    if (v < field.minimum || v > field.maximum) return false;
    *value = static_cast<int>(v);
    return true;
}

bool CSaveConfigLogic::Store(const NumberField** refused) {
    if (refused) *refused = nullptr;
    if (!m_s) return false;
    int space = 0, count = 0, limit = 0;
    for (auto [text, field, out] : {std::tuple{&snap.interval, &kInterval, &space},
                                    std::tuple{&snap.frames, &kFrames, &count},
                                    std::tuple{&video.timeLimit, &kTimeLimit, &limit}}) {
        if (!ReadNumber(*text, *field, out)) {
            if (refused) *refused = field;
            return false;
        }
    }
    SnapSaveSettings& r = m_s->snap;
    r.bConfig = snap.bConfig;
    r.sFilename = snap.sFilename;
    r.sPath = snap.sPath;
    r.bTimeStamp = snap.bTimeStamp;
    r.bNum = snap.bNum;
    r.uiFiletype = FileTypeOfItem(snap.fileItem);
    r.bLapse = snap.bLapse;
    r.nSpace = space;
    r.nCount = count;
    m_s->bFineMode = m_s->bFineModeAvailable ? snap.bFineMode : 0;

    VideoSaveSettings& v = m_s->video;
    v.bConfig = video.bConfig;
    v.sFilename = video.sFilename;
    v.sPath = video.sPath;
    v.bTimeStamp = video.bTimeStamp;
    v.bNum = video.bNum;
    v.CompressID = video.compressor;
    const AviCompressor* c = CompressorOfItem(video.compressor);
    v.Compress = static_cast<int>(c ? c->fourcc : FOURCC_DIB);
    v.bTimeLimit = video.bTimeLimit;
    v.TimeLimit = limit;
    return true;
}

bool CSaveConfigLogic::PreviewChanged() const { return m_s && m_s->byPreviewRes != m_snapshot.previewRes; }
