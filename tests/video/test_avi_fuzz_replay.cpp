// Replays the committed AVI fuzz seeds through the start page's reader under the sanitizers, so
// that a fixed crash stays fixed. The corpus is QUILLORY_FUZZ_CORPUS, else the source tree's.
#include "video/avifile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

fs::path AviCorpus() {
    if (const char* env = std::getenv("QUILLORY_FUZZ_CORPUS"); env && *env) return fs::path(env) / "avi";
    return fs::path(__FILE__).parent_path() / ".." / ".." / "fuzz" / "corpus" / "avi";
}

}  // namespace

TEST(AviFuzzReplay, EverySeedReadsOrFailsWithAReason) {
    const fs::path folder = AviCorpus();
    if (!fs::is_directory(folder)) GTEST_SKIP() << "no AVI fuzz corpus at " << folder;
    int replayed = 0;
    int decoded = 0;
    for (const fs::directory_entry& seed : fs::directory_iterator(folder)) {
        if (!seed.is_regular_file()) continue;
        SCOPED_TRACE(seed.path().string());
        const auto sizeBefore = fs::file_size(seed.path());
        CAviFile avi;
        if (avi.OpenForRead(seed.path().string())) {
            ASSERT_GT(avi.Width(), 0);
            ASSERT_GT(avi.Height(), 0);
            EXPECT_LE(static_cast<int64_t>(avi.Width()) * avi.Height(), CAviFile::kMaxReadPixels);
            if (avi.ReadFrame(0)) {
                ASSERT_NE(avi.FrameBits(), nullptr);
                ++decoded;
            }
            avi.ReadFrame(1);
            // Back to the first frame after a later one.
            avi.ReadFrame(0);
        } else {
            EXPECT_FALSE(avi.LastError().empty());
        }
        EXPECT_EQ(fs::file_size(seed.path()), sizeBefore);  // only read
        ++replayed;
    }
    EXPECT_GT(replayed, 0) << "the corpus at " << folder << " holds no seed";
    // The committed seeds are valid recordings; replayed crash inputs may be added beside them.
    EXPECT_GE(decoded, 1);
}
