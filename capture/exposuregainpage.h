// The "Main" tab in normal mode: every exposure change goes to the frame at once.
#pragma once

#include "capture/exposurepagebase.h"

class CExposureGainPage : public CExposurePageBase {
public:
    explicit CExposureGainPage(QWidget* parent = nullptr)
        : CExposurePageBase(CExposurePageLogic::kExposureGainPage, parent) {}
};
