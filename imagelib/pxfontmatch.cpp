#include "imagelib/pxfontmatch.h"

#include <cstdlib>
#include <mutex>

#include <fontconfig/fontconfig.h>

std::string PxFontMatch::FindFile(const char* family, int weight, bool italic) {
    static std::mutex lock;
    std::lock_guard<std::mutex> g(lock);
    // Our own configuration, built once and kept for the life of the process.
    static FcConfig* config = [] {
        FcConfig* c = FcInitLoadConfigAndFonts();
        // Fontconfig keeps caches beyond its configurations; release all at exit.
        std::atexit([] {
            FcConfigDestroy(config);
            FcFini();
        });
        return c;
    }();
    if (!config) return std::string();
    std::string file;
    for (const char* fam : {family, "sans-serif"}) {
        if (!fam || !*fam) continue;
        FcPattern* pat = FcPatternCreate();
        FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(fam));
        FcPatternAddInteger(pat, FC_WEIGHT, FcWeightFromOpenType(weight > 0 ? weight : 400));
        FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcConfigSubstitute(config, pat, FcMatchPattern);
        FcDefaultSubstitute(pat);
        FcResult res;
        FcPattern* match = FcFontMatch(config, pat, &res);
        if (match) {
            FcChar8* f = nullptr;
            if (FcPatternGetString(match, FC_FILE, 0, &f) == FcResultMatch && f) file = reinterpret_cast<const char*>(f);
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pat);
        if (!file.empty()) break;
    }
    return file;
}
