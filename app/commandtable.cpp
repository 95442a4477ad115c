// The command table: one row per command id, from which menus, toolbars and keys are built.
#include "app/cmdids.h"
#include "app/commandrouter.h"
#include "resources/resourcetable.h"

namespace {
const CommandInfo kCommands[] = {
    {ID_FILE_OPEN, "&Open...\tCtrl+O", "Open", 57601, false},
    {ID_FILE_CLOSE, "&Close", "Close", 0, false},
    {ID_FILE_SAVE, "&Save\tCtrl+S", "Save", 0, false},
    {ID_FILE_SAVE_AS, "Save &As...", "Save As", 57604, false},
    {ID_FILE_PRINT, "&Print...\tCtrl+P", "Print", 57607, false},
    {ID_FILE_PRINT_PREVIEW, "Print Pre&view", "Print Preview", 0, false},
    {ID_NEXT_PANE, "Next Pane", "Next Pane", 0, false},
    {ID_PREV_PANE, "Previous Pane", "Previous Pane", 0, false},
    {ID_FILE_PRINT_SETUP, "P&rint Setup...", "Print Setup", 0, false},
    {ID_APP_EXIT, "E&xit", "Exit", 0, false},
    {ID_FILE_CAPTURE, "Capture...", "Capture", 0, false},
    {ID_APP_ABOUT, "&About Quillory...", "About", 0, false},
    {ID_HELP_PDF, "Help...", "Help", 32975, false},
    {ID_EDIT_UNDO, "&Undo\tCtrl+Z", "Undo", 57643, false},
    {ID_EDIT_REDO, "&Redo\tCtrl+Y", "Redo", 57644, false},
    {ID_EDIT_COPY, "&Copy\tCtrl+C", "Copy", 0, false},
    {ID_EDIT_PASTE, "&Paste\tCtrl+V", "Paste", 0, false},
    {ID_VIEW_ZOOMIN, "Zoom &In", "Zoom In", 32786, false},
    {ID_VIEW_ZOOMOUT, "Zoom &Out", "Zoom Out", 32787, false},
    {ID_VIEW_NORMALVIEWING11, "&Normal Viewing (1:1)", "Normal Viewing (1:1)", 32788, false},
    {ID_VIEW_TOOLS_MOVE, "&Move", "Move", 32869, true},
    {ID_VIEW_TOOLS_SELECT, "&Select", "Select", 32871, true},
    {ID_VIEW_TOOLS_TRACKER, "&Tracker", "Tracker", 32916, true},
    {ID_MENUSTYLE_DEFAULT, "Default", "Menu Style Default", 0, false},
    {ID_MENUSTYLE_XP, "XP", "Menu Style XP", 0, false},
    {ID_VIEW_FULLSCREEN, "&Full Screen", "Full Screen", 0, true},
    {ID_CAMERA_LONGEXPOSURE, "Long Exposure", "Camera Preview\n Long Exposure", 32922, true},
    {ID_IMAGE_MIRROR, "Mirror", "Mirror", 32774, false},
    {ID_IMAGE_FLIP, "Flip", "Flip", 32775, false},
    {ID_IMAGE_ROTATEL, "Rotate Left", "Rotate Left", 32855, false},
    {ID_IMAGE_ROTATER, "Rotate Right", "Rotate Right", 32856, false},
    {ID_IMAGE_NEGATIVE, "Negative", "Negative", 32777, false},
    {ID_IMAGE_CROP, "Crop", "Crop", 32848, false},
    {ID_IMAGE_DUPLICATE, "Duplicate\tCtrl+D", "Duplicate", 32776, false},
    {ID_IMAGE_SETTRANSPARENCY, "Set Transparency... (click)", "Set Transparency", 32792, false},
    {ID_IMAGE_REMOVETRANSPARENCY, "Remove Transparency", "Remove Transparency", 32793, false},
    // ---- measurement ----
    {ID_MEASURE_CALIBRATE, "Calibrate", "Calibrate", kMeasureIconBase + 32959, true},
    {ID_MEASURE_CALIBRATETABLE, "Calibrate Table", "Calibrate Table", kMeasureIconBase + ID_MEASURE_LIST, true},
    {ID_MEASURE_SELECT, "Select", "Select", kMeasureIconBase + 32969, true},
    {ID_MEASURE_LINE, "Line (Normal)", "Line", kMeasureIconBase + 32961, true},
    {ID_MEASURE_PARALLEL, "Parallen", "Parallen", kMeasureIconBase + 32995, true},
    {ID_MEASURE_PERPENDICULAR, "Perpendicular", "Perpendicular", kMeasureIconBase + 32996, true},
    {ID_MEASURE_RECTANGLE, "Rectangle", "Rectangle", kMeasureIconBase + 32962, true},
    {ID_MEASURE_TWOPOINTCIRCLE, "Two Point Circle", "Two Point Circle", kMeasureIconBase + 32966, true},
    {ID_MEASURE_THREEPOINTCIRCLE, "Three Point Circle", "Three Point Circle", kMeasureIconBase + 32965, true},
    {ID_MEASURE_DIAMETERCIRCLE, "Diameter Circle", "Diameter Circle", kMeasureIconBase + 32997, true},
    {ID_MEASURE_CONCENTRICCIRCLE, "Concentric Circle", "Concentric Circle", kMeasureIconBase + 32998, true},
    {ID_MEASURE_POLYGON, "Polygon", "Polygon", kMeasureIconBase + 32964, true},
    {ID_MEASURE_ANGLE, "Angle", "Angle", kMeasureIconBase + 32967, true},
    {ID_MEASURE_COUNT, "Count", "Count", kMeasureIconBase + 32973, true},
    {ID_MEASURE_REMARK, "Remark", "Remark", kMeasureIconBase + 32968, true},
    {ID_MEASURE_ARC, "Arc", "Arc", kMeasureIconBase + 32985, true},
    {ID_MEASURE_DELETE, "Delete", "Delete", kMeasureIconBase + 32970, true},
    {ID_MEASURE_KEEPCURRENT, "Keep Current Measure", "Keep Current Measure", kMeasureIconBase + 32972, true},
    {ID_MEASURE_PRECISION, "Precision", "Precision", kMeasureIconBase + 32992, true},
    {ID_MEASURE_TABLE, "Measure Table", "Measure Table", kMeasureIconBase + 32971, true},
    {ID_MEASURE_SHOWSCALELINE, "Show Scale Line", "Show Scale Line", 0, true},
    {ID_VIEW_HISTOGRAM, "Histogram", "Histogram", 0, true},
    {ID_VIEW_MAGNIFIER, "Magnifier", "Magnifier", 32785, false},
    {ID_IMAGE_DELETE, "Image Delete", "Image Delete\nDel", 1236, false},
    // ---- end of measurement ----
};
}  // namespace

const CommandInfo* FindCommandInfo(UINT id) {
    for (const CommandInfo& c : kCommands)
        if (c.id == id) return &c;
    return nullptr;
}
