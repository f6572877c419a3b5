// Settings files read as Windows reads them: one table, run against the stand-in on Linux and
// against the system's own call under Wine.
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "tests/runtime/helpers.h"

namespace {

class Settings : public testutil::FolderTest {
protected:
    Settings() : FolderTest("settings_test_tmp") {}
    // The key "dead" of "[options]", 7 where it is not there.
    uint32_t Dead(const std::string& content) const {
        Put("sorrel.ini", content);
        return ReadDead(std::filesystem::absolute(dir_ / "sorrel.ini").string());
    }
    static uint32_t ReadDead(const std::string& path) {
        return platform::slots.GetPrivateProfileIntA("options", "dead", 7, path.c_str());
    }
};

std::string Utf16(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}

TEST_F(Settings, ReadsAFileAsWindowsDoes) {
    const std::pair<std::string, uint32_t> rows[] = {
        {"[options]\r\ndead=1\r\n", 1},
        {"; 说明\r\n[options]\r\n dead\t=\t1\t\r\nother=0\r\n", 1},
        {"[options]\r\ndead=\"1\"\r\n", 1},
        {"[options]\r\ndead='1'\r\n", 1},
        {"[options]\r\ndead = \" 1 \"\r\n", 1},
        {"[options]\r\ndead=\"1\r\n", 0},
        {"[options]\r\ndead=0x1\r\n", 1},
        {"[options]\r\ndead=0x10\r\n", 16},
        {"[options]\r\ndead=12abc\r\n", 12},
        {"[options]\r\ndead=abc\r\n", 0},
        {Utf16("[options]\r\ndead=1\r\n"), 1},
        {Utf16("[options]\r\ndead=1\r\n").substr(2), 7},  // UTF-16 without its mark is no such file
        {"\xEF\xBB\xBF[options]\r\ndead=1\r\n", 1},
        {"[options]\r\ndead=1\r\n[options]\r\ndead=0\r\n", 1},
        {"[options]\r\n[options]\r\ndead=1\r\n", 7},  // the first section of the name is the one read
        {"[other]\r\ndead=1\r\n[ OPTIONS ]\r\nDead=2\r\n", 2},
        {"dead=1\r\n[options]\r\n", 7},
        {"[options]\r\ndead=1\r\ndead=0\r\n", 1},
        {"[options]\r\n;dead=1\r\n", 7},
        {"[options]\r\n;" + std::string(1100, 'x') + "dead=1\r\n", 7},
        {"[options]\r\n;" + std::string(2000, 'x') + "\r\ndead=1\r\n", 1},
        {"[options]\rdead=1\r", 1},
        {"[other]\rdead=0\r[options]\rdead=1\r", 1},
        {"[options]\ndead=1\n", 1},
    };
    for (const auto& [content, expected] : rows) EXPECT_EQ(Dead(content), expected) << content;
}

#if !defined(_WIN32)
// Only a regular file is read: a FIFO or a device at the name is as if absent, at once.
TEST_F(Settings, OnlyARegularFileIsRead) {
    const std::string fifo = std::filesystem::absolute(dir_ / "fifo.ini").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadDead(fifo), 7u);
    const std::string zero = std::filesystem::absolute(dir_ / "zero.ini").string();
    std::filesystem::create_symlink("/dev/zero", zero);
    EXPECT_EQ(ReadDead(zero), 7u);
}
#endif

}  // namespace
