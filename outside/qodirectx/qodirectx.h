// One generic video capture device for the program's webcam window, behind ten C functions.
// The library links no GUI toolkit: the program hands it small interfaces behind the window
// handles (the combo box of DSCameraRegisterpixel, the display window of DSCameraInit), and
// the resolution and property dialogs are shown by the program through the display's host.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

#ifndef QUILLORY_HWND_DEFINED
#define QUILLORY_HWND_DEFINED
typedef struct HWND__* HWND;
#endif

#define QODIRECTX_API __attribute__((visibility("default")))

// The combo box of DSCameraRegisterpixel: one string per device.
class IDSComboBox {
public:
    virtual int AddString(const char* text) = 0;

protected:
    ~IDSComboBox() = default;
};

struct DSFrameSize {
    int width;
    int height;
};

// Control types as the device reports them.
enum DSControlType : int {
    kDSControlInteger = 1,
    kDSControlBoolean = 2,
    kDSControlMenu = 3,
    kDSControlButton = 4,
};

struct DSControlInfo {
    uint32_t id;
    char name[32];
    int type;  // DSControlType
    int minimum;
    int maximum;
    int step;
    int defaultValue;
    int value;  // the current value, read from the device
};

// The device's controls while the property dialog is shown. Set applies the value to the
// device at once; false when the device refuses it (the dialog then shows Get's value again).
class IDSPropertyPages {
public:
    virtual int Count() = 0;
    virtual bool Get(int index, DSControlInfo* info) = 0;
    // Menu item text of a menu control; false for an index the device has no item for.
    virtual bool MenuItem(int index, int item, char* text, int textSize) = 0;
    virtual bool Set(int index, int value) = 0;

protected:
    ~IDSPropertyPages() = default;
};

// The program behind DSCameraInit's display window: shows the library's two dialogs modally.
class IDSHost {
public:
    // Returns the chosen index into sizes, or -1 when cancelled.
    virtual int ChooseResolution(const DSFrameSize* sizes, int count, int current) = 0;
    // Returns when the dialog is closed; values are applied while it is open.
    virtual void ShowProperties(IDSPropertyPages* pages) = 0;
    // On the library's streaming thread, after each new frame is kept, so that a grab need not
    // poll: it returns at once and may not call the library.
    virtual void FrameArrived() {}

protected:
    ~IDSHost() = default;
};

inline HWND DSComboBoxHandle(IDSComboBox* combo) { return reinterpret_cast<HWND>(combo); }
inline HWND DSHostHandle(IDSHost* host) { return reinterpret_cast<HWND>(host); }

extern "C" {
// Adds one item per device, in the index order DSCameraInit uses (an unnamed device by its
// path). Returns the number of devices.
QODIRECTX_API int DSCameraRegisterpixel(HWND comboBox);
// Opens the device at that index for the display window (an IDSHost handle, or null for no
// dialogs). The host is called from the streaming thread until DSCameraUnInit returns, so it
// lives until then. 1 opened; 0 for an index without a device, a busy or unusable device, or a
// device already open.
QODIRECTX_API int DSCameraInit(BYTE device, HWND display);
// Starts streaming. 1 running.
QODIRECTX_API int DSCameraPlay();
// The frame size DSGrabFrame fills. 1 valid.
QODIRECTX_API int DSCameraGetImageSize(int* width, int* height);
// Copies the newest frame into buffer as bottom-up blue-green-red rows of width × 3 bytes, at
// most the size DSCameraGetImageSize last reported. Returns at once: 1 for a frame not handed
// out before, 0 for none (buffer untouched).
QODIRECTX_API int DSGrabFrame(BYTE* buffer);
// Writes the image (bottom-up blue-green-red rows of width × 3 bytes) as file type 1 JPEG,
// 2 BMP, 4 RAW or 8 TIFF. 1 only for a written file; a failed save leaves no partial file.
QODIRECTX_API int DSCameraImageSave(BYTE* rgb, int fileType, int width, int height, const char* path);
// Lets the user choose another frame size through the host; streaming is stopped and
// restarted inside. 1 when a new size was applied.
QODIRECTX_API int DSResolution();
// Shows the device's controls through the host. 1 when shown.
QODIRECTX_API int DSProperty();
// Stops streaming. 1 when it was running.
QODIRECTX_API int DSCameraStop();
// Closes the device; safe after a failed Init or Play and when nothing is open.
QODIRECTX_API void DSCameraUnInit();
}
