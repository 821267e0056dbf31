#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "model/inifile.h"

namespace wp {
namespace {

TEST(IniFile, NamesIgnoreCaseAndValuesAreTrimmed) {
    IniFile ini;
    ini.parse(
        "; comment\r\n[mirlo]\r\n  Chunksize = 20  "
        "\r\nHexfile=\"X.HEX\"\r\n[Other]\r\nchunksize=7\r\n");
    EXPECT_EQ(ini.readInt("Mirlo", "chunksize", 50), 20);
    EXPECT_EQ(ini.readString("MIRLO", "hexfile", ""), "X.HEX");
    EXPECT_EQ(ini.readInt("Other", "chunksize", 0), 7);
    EXPECT_EQ(ini.readInt("Mirlo", "missing", 5), 5);
    EXPECT_FALSE(ini.value("Nope", "chunksize").has_value());
}

TEST(IniFile, FilesFromOtherSystemsReadAlike) {
    // A byte-order mark, CR-only and mixed line ends, a comment after a
    // header, keys before any section, a section given twice and a key given twice.
    IniFile ini;
    ini.parse(
        "\xEF\xBB\xBFstray=1\r[WIF] ; first\rVersion=1.1\r\n# note\n[Text]\nTitle=a=b\n"
        "[wif]\nversion=9\nDate=1997\n[Empty]\n");
    EXPECT_EQ(ini.readString("WIF", "Version", ""), "1.1");
    EXPECT_EQ(ini.readString("WIF", "date", ""), "1997");
    EXPECT_EQ(ini.readString("TEXT", "title", ""), "a=b");
    EXPECT_FALSE(ini.value("", "stray").has_value());
    EXPECT_TRUE(ini.hasSection("empty"));
    EXPECT_FALSE(ini.hasSection("Stray"));
    std::vector<std::string> seen;
    ini.forEachEntry("Wif", [&](std::string_view k, std::string_view v) {
        seen.push_back(std::string(k) + ":" + std::string(v));
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"Version:1.1", "version:9", "Date:1997"}));
    // A copy reads alike after the original changes.
    const IniFile copy = ini;
    ini.parse("[Other]\nx=1\n");
    EXPECT_EQ(copy.readString("WIF", "Version", ""), "1.1");
    EXPECT_FALSE(ini.hasSection("WIF"));
    // Values keep their commas and backslashes: lists and escapes are the reader's business.
    ini.parse("[S]\nlist = 1, 2,3 \npath=C:\\new\\x\n");
    EXPECT_EQ(ini.readString("s", "LIST", ""), "1, 2,3");
    EXPECT_EQ(ini.readString("s", "path", ""), "C:\\new\\x");
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

TEST(IniFile, SavesThroughSymbolicLinksAndRefusesWhatIsNoFile) {
    namespace fs = std::filesystem;
    const auto dir = fs::temp_directory_path() / ("wp_ini_links_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "real");
    const std::string target = (dir / "real" / "lanset.ini").string();
    { std::ofstream(target) << "[A]\nx=1\n"; }
    fs::create_symlink("real/lanset.ini", dir / "link.ini");
    fs::create_symlink(dir / "link.ini", dir / "chain.ini");
    std::string err;
    ASSERT_TRUE(writeFileAtomically((dir / "chain.ini").string(), "new", &err)) << err;
    EXPECT_TRUE(fs::is_symlink(dir / "chain.ini"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
    std::ifstream in(target);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "new");
    // The replaced file keeps its permissions; a new one is readable by all.
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(writeFileAtomically((dir / "chain.ini").string(), "newer", &err)) << err;
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    // A link to a file not there yet creates it.
    fs::create_symlink("real/fresh.txt", dir / "dangling");
    ASSERT_TRUE(writeFileAtomically((dir / "dangling").string(), "x", &err)) << err;
    EXPECT_TRUE(fs::is_regular_file(dir / "real" / "fresh.txt"));
    EXPECT_EQ(fs::status(dir / "real" / "fresh.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);

    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    struct Refused {
        std::string path, says;
    };
    for (const Refused& r :
         {Refused{(dir / "real").string(), "is a folder"},
          Refused{(dir / "fifo").string(), "is a FIFO"}, Refused{"/dev/null", "is a device"}}) {
        err.clear();
        EXPECT_FALSE(writeFileAtomically(r.path, "x", &err)) << r.path;
        EXPECT_NE(err.find(r.says), std::string::npos) << err;
    }
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    fs::create_symlink("link.ini", dir / "loop1");
    fs::remove(dir / "link.ini");
    fs::create_symlink("loop1", dir / "link.ini");
    EXPECT_FALSE(writeFileAtomically((dir / "loop1").string(), "x", &err));
    fs::remove_all(dir);
}

}  // namespace
}  // namespace wp
