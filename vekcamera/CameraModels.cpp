#include "vekcamera/CameraModels.h"

#include "vekcamera/IdSet.h"

const char* const kUnknownDeviceName = "Unknow Device";

const char* CameraDisplayName(int cameraId) {
    switch (cameraId) {
    case 0: return "Directshow";
    case 1: return "LUMO-01";
    case 3: return "LUMO-03";
    case 4: return "LUMO-04";
    case 8: return "LUMO-08";
    case 10: return "LUMO-10";
    case 11: return "LUMO-11";
    case 12: return "LUMO-12";
    case 13: return "LUMO-13";
    case 14: return "LUMO-14";
    case 16: return "LUMO-16";
    case 17: return "LUMO-17";
    case 18: return "LUMO-18";
    case 21: return "LUMO-21";
    case 23: return "LUMO-23";
    case 24: return "LUMO-24";
    case 25: return "LUMO-25";
    case 26: return "LUMO-26";
    case 27: return "LUMO-27";
    case 28: return "LUMO-28";
    case 29: return "LUMO-29";
    case 30: return "LUMO-30";
    case 31: return "LUMO-31";
    case 32: return "LUMO-32";
    case 33: return "LUMO-33";
    case 34: return "LUMO-34";
    case 35: return "LUMO-04";  // variants sold under the name of the older model
    case 36: return "LUMO-08";
    case 37: return "LUMO-17";
    case 38: return "LUMO-38";
    default: return nullptr;
    }
}

BYTE CameraDecodeType(int cameraId) {
    if (IdSet{1, 4, 8, 26, 27, 28, 29, 31, 32}.Has(cameraId))
        return 2;
    if (IdSet{3, 11, 23}.Has(cameraId))
        return 3;
    if (IdSet{14, 21, 25, 30, 35, 36}.Has(cameraId))
        return 0;
    return 4;
}

int CameraFlip(int cameraId) {
    return IdSet{5, 6, 8, 11, 13, 14, 15, 16, 17, 21, 23, 25, 36, 37}.Has(cameraId) ? 1 : 0;
}

ResolutionChoices ResolutionChoicesFor(int cameraId) {
    switch (cameraId) {
    case 1: return {{"3488*2616", "1600*1200", "1280*960", "800*600", "640*480"}, 0};
    case 3:
    case 18: return {{"2592*1944", "1280*960", "1024*768", "640*480"}, 0};
    case 4:
    case 35: return {{"2048*1536", "1024*768", "640*480"}, 0};
    case 8:
    case 36: return {{"1280*1024", "640*480", "320*240 "}, 0};
    case 10:
    case 11:
    case 12:
    case 13:
    case 23: return {{"1360*1024"}, 0};
    case 14: return {{"320*240 ", "2048*1536 ", "1024*768_BIN", "512*384_BIN", "800*500 ROI"}, 1};
    case 16: return {{"1360*1024", "680*512", "340*256"}, 0};
    case 17: return {{"1360*1024", "680*512 2*2Bin", "452*340 3*3Bin", "340*256 4*4Bin"}, 0};
    case 21: return {{"3032*2016", "1516*1008"}, 0};
    case 24:
    case 26: return {{"1600*1200"}, 0};
    case 25: return {{"3264*2448", "1956*1467", "640*480"}, 0};
    case 27: return {{"3664*2748", "1600*1200", "1280*960", "800*600", "640*480"}, 0};
    case 28: return {{"3664*2748", "1600*1200", "1280*960", "800*600", "640*480"}, -1};
    case 29: return {{"2568*1954", "1024*768", "1280*960 2X2Bin", "640*480 4X4Bin"}, 1};
    case 30: return {{"2592*1944", "1280 X 960", "1024 X 768", "640 X 480"}, 1};
    case 31: return {{"1276*1038", "664*512Bin"}, 1};
    case 32: return {{"2048*1536", "1024*768", "684*512"}, 1};
    case 33:
    case 34:
    case 38: return {{"1360*1024", "680*512 2*2Bin", "340*250 4*4Bin"}, 1};
    case 37: return {{"1360*1024", "680*512 2*2Bin", "340*256 4*4Bin"}, 0};
    default: return {};
    }
}
