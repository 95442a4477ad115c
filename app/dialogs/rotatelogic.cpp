#include "app/dialogs/rotatelogic.h"

#include <QString>

#include <algorithm>
#include <cmath>

float CRotateLogic::ClampAngle(const QStringView text, bool* changed) {
    bool parsed = false;
    double v = text.toString().trimmed().toDouble(&parsed);
    bool altered = false;
    if (!parsed || !std::isfinite(v) || v < 0) {
        altered = !(parsed && v == 0);
        v = 0;
    } else if (v > 360) {
        v = 360;
        altered = true;
    }
    if (changed) *changed = altered;
    return static_cast<float>(v);
}

void CRotateLogic::ThumbnailSize(int width, int height, int limit, int* outWidth, int* outHeight) {
    const int longest = std::max(1, std::max(width, height));
    const double s = std::min(1.0, static_cast<double>(limit) / longest);
    *outWidth = std::max(1, static_cast<int>(width * s));
    *outHeight = std::max(1, static_cast<int>(height * s));
}

int CRotateLogic::InterpolationMethod(int index) {
    static const int kMap[] = {1, 2, 4, 5, 3, 6, 8};
    return index >= 0 && index < 7 ? kMap[index] : -1;
}

int CRotateLogic::OverflowMethod(int index) {
    static const int kMap[] = {2, 2, 2, 4, 5, 6, 3};
    return index >= 0 && index < 7 ? kMap[index] : -1;
}

int CRotateLogic::ResampleInterpolation(int qualityIndex) {
    static const int kMap[] = {2, 4, 5, 3, 6, 8};
    return qualityIndex >= 2 && qualityIndex <= 7 ? kMap[qualityIndex - 2] : -1;
}
