// Lets the user pick a rectangle on the screen over the live picture. The camera view asks it
// for the cut region and the area white balance; the screen region overlay implements it, and
// tests give their own.
#pragma once

#include "platform/wintypes.h"

class IRegionChooser {
public:
    virtual ~IRegionChooser() = default;
    // Runs modally over `allowed` (screen coordinates). True on OK, with the chosen screen
    // rectangle (right and bottom exclusive; may be empty); false on Cancel.
    virtual bool ChooseRegion(const RECT& allowed, RECT* chosen) = 0;
};
