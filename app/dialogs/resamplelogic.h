// The resample dialog's coupled fields, without widgets: width and height follow the aspect
// ratio, both follow the factor; a field follows only what the user typed elsewhere.
#pragma once

#include <QString>

class CResampleLogic {
public:
    CResampleLogic(int imageWidth, int imageHeight);

    // Each returns true when the other fields changed. Text that does not parse (yet) changes
    // nothing; the field typed is never rewritten.
    bool WidthTyped(const QString& text);
    bool HeightTyped(const QString& text);
    bool FactorTyped(const QString& text);
    // A factor still being typed ("1.", "1.50") leaves width and height alone.
    static bool FactorIncomplete(const QString& text);
    // trunc(|factor| * size), at least 1.
    static int Scaled(float factor, int size);

    bool keepAspect = true;
    bool factorMode = true;
    float ratio;
    float factor = 2.0f;
    int width = 100;
    int height;
    int imageWidth, imageHeight;
};
