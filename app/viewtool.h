// What a press in an image view does: the tool of its document.
#pragma once

enum ViewTool : int {
    kToolNone = -1,  // after the text is placed, until a tool is chosen again
    kToolMove = 0,
    kToolSelect = 1,
    kToolZoom = 2,
    kToolText = 3,
    kToolTracker = 4,
    kToolMeasure = 6,
};
