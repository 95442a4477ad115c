// The skew dialog's derived values, without widgets. Slopes are kept as doubles so a skew of a
// few pixels over a wide image survives to the operation.
#pragma once

class CSkewLogic {
public:
    // Recomputes slopes and angles from the skews and the image size.
    void Update();

    int imageWidth = 1, imageHeight = 1;
    double skewX = 5.5, skewY = -5.0;
    double angleX = 0.4, angleY = 0.5;
    double slopeX = 0.6, slopeY = 0.7;
};
