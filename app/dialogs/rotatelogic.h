// What the rotate dialog's fields do to each other, without widgets.
#pragma once

#include <QStringView>

class CRotateLogic {
public:
    // The angle typed, clamped to 0..360; text that is no number counts as 0.
    // `changed` tells whether clamping altered what was typed (only then is the edit rewritten).
    static float ClampAngle(const QStringView text, bool* changed);
    static int QuarterLeft(int pos) { return ((pos % 360 + 360) % 360 + 270) % 360; }
    static int QuarterRight(int pos) { return ((pos % 360 + 360) % 360 + 90) % 360; }
    // The thumbnail size: at most `limit` pixels on the long side, at least 1 each way.
    static void ThumbnailSize(int width, int height, int limit, int* outWidth, int* outHeight);
    // Index maps of the command: -1 for an index that runs no operation.
    static int InterpolationMethod(int index);
    static int OverflowMethod(int index);
    static int ResampleInterpolation(int qualityIndex);
};
