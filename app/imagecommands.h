// The document's image and filter commands: the worker operations of the threaded ones, the
// handlers with their dialogs, and the commands that run at once on the UI thread.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/commandrouter.h"
#include "app/pelidordoc.h"

// The document's "Image" and "Filters" menus as router paths.
const std::vector<CCommandRouter::MenuItem>& DocumentImageMenu();
const std::vector<CCommandRouter::MenuItem>& DocumentFiltersMenu();

// Registers every command once; later calls do nothing.
void RegisterImageCommands();

// Skew slopes travel through the integer parameters as the bits of a float, so a skew of a few
// pixels over a wide image is not lost to a x1000 truncation.
int32_t SlopeToParam(double slope);
float SlopeFromParam(int32_t param);

// The kernels of the convolution filters; false for an id that is not one of them.
struct FilterKernel {
    LONG size;
    LONG kernel[25];
    LONG divisor;
    LONG offset;
};
bool FilterKernelOf(unsigned id, FilterKernel* out);
