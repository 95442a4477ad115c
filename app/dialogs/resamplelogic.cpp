#include "app/dialogs/resamplelogic.h"

#include <algorithm>
#include <cmath>

CResampleLogic::CResampleLogic(int w, int h)
    : ratio(h > 0 ? static_cast<float>(w) / h : 1.0f), imageWidth(w), imageHeight(h) {
    height = std::max(1, static_cast<int>(100 / ratio));
}

int CResampleLogic::Scaled(float f, int size) {
    const double v = std::fabs(static_cast<double>(f)) * size;
    return v >= 2147483647.0 ? 2147483647 : std::max(1, static_cast<int>(v));
}

bool CResampleLogic::WidthTyped(const QString& text) {
    bool ok = false;
    const uint v = text.trimmed().toUInt(&ok);
    factorMode = false;
    if (!ok || v > 2147483647u) return false;
    width = static_cast<int>(v);
    if (!keepAspect || ratio <= 0) return false;
    height = std::max(1, static_cast<int>(width / ratio));
    return true;
}

bool CResampleLogic::HeightTyped(const QString& text) {
    bool ok = false;
    const uint v = text.trimmed().toUInt(&ok);
    factorMode = false;
    if (!ok || v > 2147483647u) return false;
    height = static_cast<int>(v);
    if (!keepAspect) return false;
    width = std::max(1, static_cast<int>(height * ratio));
    return true;
}

bool CResampleLogic::FactorIncomplete(const QString& t) {
    return t.endsWith('.') || (t.contains('.') && t.endsWith('0'));
}

bool CResampleLogic::FactorTyped(const QString& text) {
    factorMode = true;
    const QString t = text.trimmed();
    if (FactorIncomplete(t)) return false;
    bool ok = false;
    const double f = t.toDouble(&ok);
    if (!ok || !std::isfinite(f)) return false;
    factor = static_cast<float>(f);
    width = Scaled(factor, imageWidth);
    height = Scaled(factor, imageHeight);
    return true;
}
