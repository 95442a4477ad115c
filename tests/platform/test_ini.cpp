#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/inifile.h"
#include "platform/registry.h"
#include "filebytes.h"
#include "filesizelimit.h"
#include "scopedenv.h"
#include "tempdir.h"

namespace fs = std::filesystem;

namespace {

class IniTest : public ::testing::Test {
protected:
    void SetUp() override { env_.Set("XDG_CONFIG_HOME", dir_.string()); }
    void TearDown() override { env_.Restore(); }
    TempDir scratch_;
    const fs::path& dir_ = scratch_.Path();
    ScopedEnv env_;
};

}  // namespace

TEST_F(IniTest, NamesIgnoreCaseAndKeepTheirSpelling) {
    IniFile ini((dir_ / "a.ini").string());
    ini.SetValue("Options", "JpegQuality", "75");
    ini.SetValue("OPTIONS", "jpegquality", "80");
    std::string v;
    ASSERT_TRUE(ini.GetValue("options", "JPEGQUALITY", v));
    EXPECT_EQ(v, "80");
    EXPECT_EQ(ini.Sections(), std::vector<std::string>{"Options"});
    EXPECT_EQ(ini.Keys("options"), std::vector<std::string>{"JpegQuality"});
    EXPECT_TRUE(ini.RemoveValue("OPTIONS", "jpegQUALITY"));
    EXPECT_FALSE(ini.GetValue("Options", "JpegQuality", v));
}

TEST_F(IniTest, SaveAndLoadRoundTripAnyText) {
    const std::string path = (dir_ / "sub" / "deeper" / "b.ini").string();
    IniFile ini(path);
    ini.SetValue("S", "multi", "line one\nline two\\end\r");
    ini.SetValue("S", "spaces", "  padded  ");
    ini.SetValue("T", "x", "=equals=");
    ASSERT_TRUE(ini.Save());
    IniFile back(path);
    ASSERT_TRUE(back.Load());
    std::string v;
    ASSERT_TRUE(back.GetValue("s", "MULTI", v));
    EXPECT_EQ(v, "line one\nline two\\end\r");
    ASSERT_TRUE(back.GetValue("S", "spaces", v));
    EXPECT_EQ(v, "  padded  ");
    ASSERT_TRUE(back.GetValue("t", "x", v));
    EXPECT_EQ(v, "=equals=");
    // Only the final file is left: the temporary one was renamed.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "sub" / "deeper"), fs::directory_iterator{}), 1);
}

TEST_F(IniTest, ADamagedFileLoadsWhatMakesSense) {
    const fs::path path = dir_ / "bad.ini";
    WriteFile(path, "orphan=1\n[broken\n\x01\x02\n=novalue\n[Good]\r\nkey = value \r\n[good]\nkey2=two\n");
    IniFile ini(path.string());
    ASSERT_TRUE(ini.Load());
    std::string v;
    ASSERT_TRUE(ini.GetValue("", "orphan", v));
    EXPECT_EQ(v, "1");
    ASSERT_TRUE(ini.GetValue("GOOD", "key", v));
    EXPECT_EQ(v, " value ");
    ASSERT_TRUE(ini.GetValue("good", "key2", v));
    EXPECT_EQ(ini.Sections().size(), 2u);

    IniFile missing((dir_ / "none.ini").string());
    EXPECT_FALSE(missing.Load());
    EXPECT_TRUE(missing.Sections().empty());
}

TEST_F(IniTest, SaveFailureLeavesTheOldFile) {
    IniFile ini((dir_ / "c.ini").string());
    ini.SetValue("A", "b", "1");
    ASSERT_TRUE(ini.Save());
    // A value past the size the process may write: the save fails whoever runs the test.
    ini.SetValue("A", "b", std::string(64 * 1024, '2'));
    {
        FileSizeLimit limit(4096);
        EXPECT_FALSE(ini.Save());
    }
    IniFile back((dir_ / "c.ini").string());
    ASSERT_TRUE(back.Load());
    std::string v;
    back.GetValue("A", "b", v);
    EXPECT_EQ(v, "1");
}

TEST_F(IniTest, RegistryKeysMapToFilesUnderTheConfigFolder) {
    std::string file, section;
    ASSERT_TRUE(RegistryLocation("Software\\OSTREL\\Ferrosens\\setupa", file, section));
    EXPECT_EQ(file, (dir_ / "OSTREL" / "Ferrosens.ini").string());
    EXPECT_EQ(section, "setupa");
    EXPECT_FALSE(RegistryLocation("Software\\..\\x", file, section));
    EXPECT_FALSE(RegistryLocation("", file, section));

    RegKey key;
    EXPECT_FALSE(key.Open("Software\\OSTREL\\Ferrosens\\setupa"));
    ASSERT_TRUE(key.Create("Software\\OSTREL\\Ferrosens\\setupa"));
    EXPECT_TRUE(key.WriteDword("paraTeam", 3));
    EXPECT_TRUE(key.WriteString("rowtime", "157.33333"));
    key.Close();

    RegKey again;
    ASSERT_TRUE(again.Open("software\\ostrel\\ferrosens\\SETUPA"));
    DWORD v = 99;
    EXPECT_TRUE(again.ReadDword("PARATEAM", v));
    EXPECT_EQ(v, 3u);
    std::string s = "unchanged";
    EXPECT_TRUE(again.ReadString("rowTime", s, 200));
    EXPECT_EQ(s, "157.33333");
    // Missing, too long or not a DWORD: the destination stays.
    v = 7;
    EXPECT_FALSE(again.ReadDword("nothing", v));
    EXPECT_FALSE(again.ReadDword("rowtime", v));
    EXPECT_EQ(v, 7u);
    s = "kept";
    EXPECT_FALSE(again.ReadString("rowtime", s, 5));
    EXPECT_EQ(s, "kept");
    EXPECT_TRUE(again.DeleteValue("rowtime"));
    EXPECT_FALSE(again.ReadString("rowtime", s, 200));
    EXPECT_NE(ReadFile<std::string>(dir_ / "OSTREL" / "Ferrosens.ini").find("paraTeam=dword:00000003"), std::string::npos);
}

TEST_F(IniTest, ABatchOfRegistryWritesLandsTogetherAtItsCommit) {
    const fs::path file = dir_ / "OSTREL" / "Ferrosens.ini";
    RegKey key;
    ASSERT_TRUE(key.Create("Software\\OSTREL\\Ferrosens\\setupb"));
    key.BeginBatch();
    EXPECT_TRUE(key.WriteDword("gamma", 5));
    EXPECT_TRUE(key.WriteString("rowtime", "12.5"));
    EXPECT_FALSE(key.WriteDword("bad=name", 1)) << "refused at once, as outside a batch";
    EXPECT_EQ(ReadFile<std::string>(file).find("gamma"), std::string::npos) << "nothing written before the commit";
    EXPECT_TRUE(key.CommitBatch());
    EXPECT_NE(ReadFile<std::string>(file).find("gamma=dword:00000005"), std::string::npos);
    EXPECT_NE(ReadFile<std::string>(file).find("rowtime=12.5"), std::string::npos);
    // After the commit writes go straight to the file again; a batch closed uncommitted is dropped.
    EXPECT_TRUE(key.WriteDword("contrast", 2));
    EXPECT_NE(ReadFile<std::string>(file).find("contrast=dword:00000002"), std::string::npos);
    key.BeginBatch();
    EXPECT_TRUE(key.WriteDword("lost", 1));
    key.Close();
    EXPECT_EQ(ReadFile<std::string>(file).find("lost"), std::string::npos);
    EXPECT_FALSE(key.CommitBatch());
}

TEST_F(IniTest, HandEditedDwordsAreReadCarefully) {
    fs::create_directories(dir_ / "Maker");
    {
        std::ofstream out(dir_ / "Maker" / "Tool.ini");
        out << "[k]\ndec=42\nhex=dword:0000ffff\nneg=-1\nbig=dword:1ffffffff\nhuge=99999999999\njunk=12ab\n";
    }
    RegKey key;
    ASSERT_TRUE(key.Open("Software\\Maker\\Tool\\k"));
    DWORD v = 0;
    EXPECT_TRUE(key.ReadDword("dec", v));
    EXPECT_EQ(v, 42u);
    EXPECT_TRUE(key.ReadDword("hex", v));
    EXPECT_EQ(v, 0xFFFFu);
    for (const char* bad : {"neg", "big", "huge", "junk"}) {
        v = 5;
        EXPECT_FALSE(key.ReadDword(bad, v)) << bad;
        EXPECT_EQ(v, 5u) << bad;
    }
}

TEST_F(IniTest, ConfigHomeFallsBackToHome) {
    env_.Set("XDG_CONFIG_HOME", nullptr);
    const char* home = std::getenv("HOME");
    EXPECT_EQ(ConfigHome(), std::string(home && home[0] ? home : ".") + "/.config");
    env_.Set("XDG_CONFIG_HOME", "relative/path");
    EXPECT_EQ(ConfigHome(), std::string(home && home[0] ? home : ".") + "/.config");
}

TEST_F(IniTest, AFileThatCannotBeReadIsNeverOverwritten) {
    // Too large to be read: a write through the registry or the INI class must not replace it
    // with the one value it was asked to write.
    const fs::path path = dir_ / "OSTREL" / "Ferrosens.ini";
    fs::create_directories(path.parent_path());
    WriteFile(path, "[setupa]\nparaTeam=dword:00000003\n");
    fs::resize_file(path, 17u * 1024 * 1024);

    RegKey key;
    EXPECT_FALSE(key.Create("Software\\OSTREL\\Ferrosens\\setupb"));
    EXPECT_FALSE(key.Open("Software\\OSTREL\\Ferrosens\\setupa"));
    IniFile ini(path.string());
    EXPECT_FALSE(ini.Load());
    ini.SetValue("setupa", "paraTeam", "dword:00000001");
    EXPECT_FALSE(ini.Save());
    EXPECT_EQ(fs::file_size(path), 17u * 1024 * 1024);

    // A missing file is simply empty and can be written.
    IniFile fresh((dir_ / "new.ini").string());
    EXPECT_FALSE(fresh.Load());
    fresh.SetValue("A", "b", "1");
    EXPECT_TRUE(fresh.Save());
}

TEST_F(IniTest, HandEditedFilesReadAsOnWindows) {
    const fs::path path = dir_ / "edited.ini";
    WriteFile(path, "\xEF\xBB\xBF[CAMERA]\r\nCAMERA_LUMO01=0\r\ncamera_lumo01=1\r\n[Camera]\r\nCAMERA_LUMO01=2\r\nX=5\r\n"
                    "Path=D:\\Photos\\Brellan\r\n"
                    "[CAMERA_2\r\nY=7\r\n");
    IniFile ini(path.string());
    ASSERT_TRUE(ini.Load());
    EXPECT_EQ(ini.Sections(), std::vector<std::string>{"CAMERA"});
    std::string v;
    ASSERT_TRUE(ini.GetValue("camera", "Camera_Lumo01", v));
    EXPECT_EQ(v, "0");
    ASSERT_TRUE(ini.GetValue("CAMERA", "x", v));
    EXPECT_EQ(v, "5");
    // A backslash that is not one of the escapes written here is kept.
    ASSERT_TRUE(ini.GetValue("CAMERA", "path", v));
    EXPECT_EQ(v, "D:\\Photos\\Brellan");
    // Under a header that lost its bracket: not a value of the section before.
    EXPECT_FALSE(ini.GetValue("CAMERA", "Y", v));
}

TEST_F(IniTest, RegistryRefusesNamesItCouldNotReadBack) {
    RegKey key;
    EXPECT_FALSE(key.Create("Software\\Maker\\Tool\\bad]name"));
    EXPECT_FALSE(key.Create("Software\\Maker\\Tool\\line\nbreak"));
    ASSERT_TRUE(key.Create("Software\\Maker\\Tool\\ padded "));  // kept inside the brackets
    EXPECT_TRUE(key.WriteDword("v", 2));
    ASSERT_TRUE(key.Open("Software\\Maker\\Tool\\ padded "));
    ASSERT_TRUE(key.Create("Software\\Maker\\Tool\\k"));
    for (const char* bad : {"", "a=b", "line\nbreak", ";comment", "#hash", "[x]", " lead", "trail "})
        EXPECT_FALSE(key.WriteDword(bad, 1)) << bad;
    EXPECT_TRUE(key.WriteDword("fine name", 1));
    DWORD v = 0;
    EXPECT_TRUE(key.ReadDword("FINE NAME", v));
    EXPECT_EQ(v, 1u);
}

TEST_F(IniTest, OnlyRegularFilesAreRead) {
    // A pipe has no writer and no end: opening or reading it must not wait.
    const fs::path pipe = dir_ / "pipe.ini";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    IniFile fifo(pipe.string());
    EXPECT_FALSE(fifo.Load());
    EXPECT_FALSE(fifo.Save());
    EXPECT_TRUE(fs::is_fifo(pipe));
    // A folder where the file should be is not an empty profile to write over.
    fs::create_directories(dir_ / "folder.ini" / "inside");
    IniFile folder((dir_ / "folder.ini").string());
    EXPECT_FALSE(folder.Load());
    folder.SetValue("A", "b", "1");
    EXPECT_FALSE(folder.Save());
    EXPECT_TRUE(fs::is_directory(dir_ / "folder.ini" / "inside"));
}

TEST_F(IniTest, SavingKeepsTheFilePermissions) {
    const fs::path path = dir_ / "private.ini";
    IniFile ini(path.string());
    ini.SetValue("A", "b", "1");
    ASSERT_TRUE(ini.Save());
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    ini.SetValue("A", "b", "2");
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}
