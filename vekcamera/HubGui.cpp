#include "vekcamera/HubGui.h"

#include "platform/debugout.h"

void HubMessageBox(const char* text) {
    if (VekHostMessageBox)
        VekHostMessageBox(text, "VekCamera");
    else
        DebugPrintf("VekCamera: %s\n", text);
}
