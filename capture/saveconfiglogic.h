// The save configuration dialog without its widgets: the snapshot of the edited fields for
// Cancel and for noticing a new preview resolution, and the "Snap" and "Video" pages' Load,
// Store and enabling rules over the frame's CameraSettings. Typed numbers are checked when the
// user confirms (Store); a refused field stores nothing of either page.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "video/avifile.h"
#include "capture/camerasettings.h"

class CSaveConfigLogic {
public:
    // The fields the dialog edits, copied both ways by CopySnapshot.
    struct Snapshot {
        int snapConfig = 0;
        std::string snapFilename;
        int snapNum = 0;
        int snapTimeStamp = 0;
        int snapLapse = 0;
        int snapSpace = 0;
        int snapCount = 0;
        int snapFiletype = 0;
        std::string snapPath;
        int snapFineMode = 0;
        int videoConfig = 0;
        std::string videoFilename;
        int videoNum = 0;
        int videoTimeStamp = 0;
        int videoCompressId = 0;
        int videoCompress = 0;
        int videoTimeLimit = 0;
        int videoTimeLimitSeconds = 0;
        int resLock = 0;
        BYTE previewRes = 0;
        BYTE captureRes = 0;
    };

    // A number edit's range, and the refusal text the dialog shows for it.
    struct NumberField {
        int id;
        int minimum;
        int maximum;
    };
    static constexpr NumberField kInterval{1010, 0, 7200};
    static constexpr NumberField kFrames{1011, 1, 1000};
    static constexpr NumberField kTimeLimit{1133, 1, 60};

    // The "Snap" page's controls.
    struct SnapPage {
        int bConfig = 0;  // radio 1002 "Use File Save Config" (0: 1001 "Use File Save Dialog")
        std::string sFilename;
        std::string sPath;
        int bTimeStamp = 0;
        int bNum = 0;
        int fileItem = 1;  // ".jpg", ".bmp", ".tiff", ".raw"
        int bLapse = 0;
        std::string interval = "0";
        std::string frames = "1";
        int bFineMode = 0;
        // What UpdateControls enables.
        bool nameEnabled = false;      // labels 1015-1017, prefix 1004, "Num" 1007
        bool configEnabled = false;    // 1006, "Path:" 1018, folder 1005, "Time Lapse" 1009
        bool lapseEnabled = false;     // 1019, interval 1010, 1020, frames 1011
        bool fineModeEnabled = false;  // 1091
    };

    // The "Video" page's controls.
    struct VideoPage {
        int bConfig = 0;
        std::string sFilename;
        std::string sPath;
        int bTimeStamp = 0;
        int bNum = 0;
        int compressor = 0;  // combo 1085: the list's entries, then "No Compressor"
        int bTimeLimit = 0;
        std::string timeLimit = "1";
        bool nameEnabled = false;       // 1015, 1004, 1016, 1007, 1017
        bool configEnabled = false;     // 1008, 1006, 1018, 1005, 1013
        bool timeLimitEnabled = false;  // 1131, 1133, 1132
        bool configButtonEnabled = false;  // 1086 "Config"
    };

    // The compressors offered besides "No Compressor", and which of them has settings of its
    // own for the "Config" button; the dialog gives the recorder's list.
    explicit CSaveConfigLogic(std::vector<AviCompressor> compressors = {},
                              std::function<bool(const AviCompressor&)> hasSettings = {});

    void SetSettings(CameraSettings* settings) { m_s = settings; }
    CameraSettings* Settings() const { return m_s; }

    void CopySnapshot(bool toSnapshot);
    const Snapshot& GetSnapshot() const { return m_snapshot; }

    // File type combo item of a still type and back (1 JPEG, 2 BMP, 8 TIFF, 4 RAW).
    static int FileItemOfType(int uiFiletype);
    static int FileTypeOfItem(int item);

    // ---- Snap page ----
    void LoadSnap();
    void UpdateSnapControls();
    void OnSnapConfig(bool useConfig);  // a radio of 1001 / 1002
    void OnSnapTimeStamp(bool on);
    void OnSnapLapse(bool on);

    // ---- Video page ----
    void LoadVideo();
    void UpdateVideoControls();
    void OnVideoConfig(bool useConfig);
    void OnVideoTimeStamp(bool on);
    void OnVideoTimeLimit(bool on);
    void OnCompressor(int item);
    const std::vector<AviCompressor>& Compressors() const { return m_compressors; }
    int NoCompressorItem() const { return static_cast<int>(m_compressors.size()); }
    // The encoder of a combo item; null for "No Compressor".
    const AviCompressor* CompressorOfItem(int item) const;

    // Checks the number fields of both pages; on a refusal the field is returned through
    // refused and nothing is stored. True when both pages were stored into the record.
    bool Store(const NumberField** refused = nullptr);

    // True when the record's preview resolution differs from the snapshot's (after Store):
    // the camera has to be opened again.
    bool PreviewChanged() const;

    SnapPage snap;
    VideoPage video;

private:
    static bool ReadNumber(const std::string& text, const NumberField& field, int* value);

    CameraSettings* m_s = nullptr;
    Snapshot m_snapshot;
    std::vector<AviCompressor> m_compressors;
    std::function<bool(const AviCompressor&)> m_hasSettings;
};
