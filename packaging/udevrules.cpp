// Writes the udev rules that give the desktop's user access to every camera the hub knows: one
// line per vendor:product pair of the hub's own table, so the two cannot drift apart.
#include <cstdio>

#include "vekcamera/UsbCameraScanner.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s RULES-FILE\n", argv[0]);
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(out,
                 "# The microscope cameras Quillory drives: the user at the seat may open them.\n"
                 "# Made from the camera hub's table when Quillory is built.\n");
    for (const KnownUsbCamera& c : CUsbCameraScanner::KnownCameras())
        std::fprintf(out,
                     "SUBSYSTEM==\"usb\", ATTR{idVendor}==\"%04x\", ATTR{idProduct}==\"%04x\", TAG+=\"uaccess\"\n",
                     c.vendorId, c.productId);
    const bool written = std::fflush(out) == 0 && !std::ferror(out);
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "%s: could not be written\n", argv[1]);
        return 1;
    }
    return 0;
}
