#include "video/avlibraries.h"

#include <gtest/gtest.h>

#include <string>

// A missing or foreign FFmpeg library leaves the libraries unusable with the reason, never a
// crash at the first call.
TEST(AvLibraries, MissingLibraryOrFunctionIsReported) {
    std::vector<std::string> names = CAvLibraries::DefaultNames();
    names.push_back("libquillory-no-such-video-library.so.0");
    const CAvLibraries missing(names);
    EXPECT_FALSE(missing.Loaded());
    EXPECT_NE(missing.Error().find("libquillory-no-such-video-library.so.0 is not installed"), std::string::npos)
        << missing.Error();

    const CAvLibraries foreign({"libz.so.1"});
    EXPECT_FALSE(foreign.Loaded());
    EXPECT_NE(foreign.Error().find("lack the function av_"), std::string::npos) << foreign.Error();

    EXPECT_TRUE(CAvLibraries::Shared().Loaded()) << CAvLibraries::Shared().Error();
}
