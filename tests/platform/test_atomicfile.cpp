#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/atomicfile.h"
#include "filebytes.h"
#include "filesizelimit.h"
#include "tempdir.h"

namespace fs = std::filesystem;

namespace {

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override { std::ofstream(target_) << "old"; }

    // What the folder holds besides the target: a failed or finished write leaves nothing.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_))
            if (e.path() != target_)
                names.push_back(e.path().filename().string());
        return names;
    }

    TempDir scratch_;
    const fs::path& dir_ = scratch_.Path();
    const fs::path target_ = dir_ / "profile.ini";
};

TEST_F(AtomicFileTest, ReplacesTheTargetKeepingItsMode) {
    ASSERT_EQ(::chmod(target_.c_str(), 0640), 0);
    AtomicFile file(target_.string());
    ASSERT_TRUE(file.Create());
    EXPECT_EQ(fs::path(file.TempPath()).parent_path(), dir_);
    ASSERT_TRUE(file.Write("new", 3));
    EXPECT_EQ(ReadFile<std::string>(target_), "old");  // nothing shows before the commit
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(file.Error(), 0);
    EXPECT_EQ(ReadFile<std::string>(target_), "new");
    struct stat st {};
    ASSERT_EQ(::stat(target_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(AtomicFileTest, AFailedWriteKeepsTheOldFileAndSaysWhy) {
    const std::vector<char> data(256 * 1024, 'x');
    {
        FileSizeLimit limit(4096);
        AtomicFile file(target_.string());
        ASSERT_TRUE(file.Create());
        // The stream may buffer: the failure shows by the commit at the latest.
        file.Write(data.data(), data.size());
        EXPECT_FALSE(file.Commit());
        EXPECT_EQ(file.Error(), EFBIG);
        EXPECT_FALSE(file.RenameFailed());
    }
    EXPECT_EQ(ReadFile<std::string>(target_), "old");
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(AtomicFileTest, FailuresToCreateOrReplaceKeepTheirErrno) {
    AtomicFile nowhere((dir_ / "missing" / "file").string());
    EXPECT_FALSE(nowhere.Create());
    EXPECT_EQ(nowhere.Error(), ENOENT);

    // A folder in the target's place cannot be replaced by a file.
    const fs::path folder = dir_ / "folder";
    fs::create_directories(folder / "inside");
    {
        AtomicFile file(folder.string());
        ASSERT_TRUE(file.Create());
        ASSERT_TRUE(file.Write("x", 1));
        EXPECT_FALSE(file.Commit());
        EXPECT_TRUE(file.RenameFailed());
        EXPECT_EQ(file.Error(), EISDIR);
    }
    EXPECT_TRUE(fs::is_directory(folder / "inside"));
    fs::remove_all(folder);
    EXPECT_TRUE(Leftovers().empty());
}

}  // namespace
