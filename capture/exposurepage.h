// The "Main" tab in long-exposure mode: the slider moves over exposure-table positions, and a
// typed time reaches the camera only on "Update time".
#pragma once

#include "capture/exposurepagebase.h"

class CExposurePage : public CExposurePageBase {
public:
    explicit CExposurePage(QWidget* parent = nullptr) : CExposurePageBase(CExposurePageLogic::kExposurePage, parent) {}
};
