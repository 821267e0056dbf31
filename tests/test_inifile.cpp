#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "model/inifile.h"

namespace wp {
namespace {

TEST(IniFile, NamesIgnoreCaseAndValuesAreTrimmed) {
    IniFile ini;
    ini.parse("; comment\r\n[mirlo]\r\n  Chunksize = 20  \r\nHexfile=\"X.HEX\"\r\n[Other]\r\nchunksize=7\r\n");
    EXPECT_EQ(ini.readInt("Mirlo", "chunksize", 50), 20);
    EXPECT_EQ(ini.readString("MIRLO", "hexfile", ""), "X.HEX");
    EXPECT_EQ(ini.readInt("Other", "chunksize", 0), 7);
    EXPECT_EQ(ini.readInt("Mirlo", "missing", 5), 5);
    EXPECT_FALSE(ini.value("Nope", "chunksize").has_value());
}

TEST(IniFile, NumbersReadLikeProfileIntegers) {
    IniFile ini;
    ini.parse("[S]\na=12abc\nb=abc\nc=-3\nd=\ne=99999999999\n");
    EXPECT_EQ(ini.readInt("S", "a", 0), 12);  // leading digits count
    EXPECT_EQ(ini.readInt("S", "b", 7), 7);
    EXPECT_EQ(ini.readInt("S", "c", 0), -3);
    EXPECT_EQ(ini.readInt("S", "d", 4), 4);
    EXPECT_EQ(ini.readInt("S", "e", 4), 4);
}

TEST(IniFile, WholeIntegerTokens) {
    EXPECT_EQ(parseWholeInt(" 17 "), 17);
    EXPECT_EQ(parseWholeInt("-4"), -4);
    EXPECT_FALSE(parseWholeInt(",7").has_value());
    EXPECT_FALSE(parseWholeInt("7x").has_value());
    EXPECT_FALSE(parseWholeInt("").has_value());
    EXPECT_FALSE(parseWholeInt("-").has_value());
    EXPECT_FALSE(parseWholeInt("1234567890123456").has_value());
}

TEST(IniFile, EditsKeepOtherLinesAndSaveAtomically) {
    const auto dir = std::filesystem::temp_directory_path() / "wp_ini_test";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "lanset.ini").string();
    {
        std::ofstream f(path);
        f << "[Mirlo]\n; keep me\nchunksize=20\n[CurrentFile]\nweft_pos=3\nFileName=a.dob\n"
             "[WeavePilot]\ncommPort=2\n";
    }
    IniFile ini;
    ASSERT_TRUE(ini.load(path));
    ini.eraseSection("CurrentFile");
    ini.setValue("WeavePilot", "commPort", "4");
    ini.setValue("WeavePilot", "densityX", "1");
    ini.setValue("CurrentFile", "weft_pos", "17");
    std::string err;
    ASSERT_TRUE(ini.save(path, &err)) << err;

    IniFile again;
    ASSERT_TRUE(again.load(path));
    EXPECT_EQ(again.readInt("Mirlo", "chunksize", 0), 20);
    EXPECT_EQ(again.readInt("WeavePilot", "commPort", 0), 4);
    EXPECT_EQ(again.readInt("WeavePilot", "densityX", 0), 1);
    EXPECT_EQ(again.readInt("CurrentFile", "weft_pos", 0), 17);
    EXPECT_FALSE(again.value("CurrentFile", "FileName").has_value());
    EXPECT_NE(again.text().find("; keep me"), std::string::npos);
    // No temporary file is left behind.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
    std::filesystem::remove_all(dir);
}

TEST(IniFile, FailedSaveLeavesTheOldFile) {
    const auto dir = std::filesystem::temp_directory_path() / "wp_ini_ro";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "lanset.ini").string();
    { std::ofstream(path) << "[A]\nx=1\n"; }
    IniFile ini;
    ini.parse("[A]\nx=2\n");
    EXPECT_FALSE(ini.save((dir / "missing" / "lanset.ini").string()));
    IniFile old;
    ASSERT_TRUE(old.load(path));
    EXPECT_EQ(old.readInt("A", "x", 0), 1);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace wp
