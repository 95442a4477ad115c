#include "app/dialogs/skewlogic.h"

#include <algorithm>
#include <cmath>

void CSkewLogic::Update() {
    slopeX = skewX / std::max(1, imageWidth);
    slopeY = skewY / std::max(1, imageHeight);
    angleX = std::atan(slopeX) * 57.29577950560105;
    angleY = std::atan(slopeY) * 57.29577950560105;
}
