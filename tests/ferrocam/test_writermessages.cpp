// The driver's still writers show their file and memory messages through the program that
// loads it, while its own JPEG entry stays silent.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "stillwriters.h"

namespace {
std::vector<std::string> g_shown;
}  // namespace

extern "C" void VekHostMessageBox(const char* text, const char* caption) {
    g_shown.push_back(std::string(caption) + ": " + text);
}

TEST(DriverWriterMessages, FileMessagesReachTheProgramAndTheSaveItselfStaysSilent) {
    ASSERT_NE(GetStillWriterMessageBox(), nullptr);  // installed when the driver is loaded
    g_shown.clear();
    const std::string missing = (std::filesystem::temp_directory_path() /
                                 ("no-such-folder-" + std::to_string(::getpid())) / "x.jpg")
                                    .string();
    std::vector<BYTE> image(4 * 4 * 3, 100);
    EXPECT_EQ(SaveJpegFile(missing.c_str(), image.data(), 4, 4), 0);  // no "Write Error" after it
    EXPECT_EQ(SaveJpegFile(missing.c_str(), nullptr, 4, 4), 0);       // no "No Image!"
    ASSERT_EQ(g_shown.size(), 1u);
    EXPECT_EQ(g_shown[0], "Ferrocam: JpegFile :\nCan't open " + missing + "\n");
}
