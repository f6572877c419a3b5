// The sources are UTF-8; every literal must reach the program as GBK.
#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Charset, LiteralsCompileToGbk) {
    struct Row {
        const char* literal;
        std::string gbk;
    } rows[] = {
        {"信息", "\xD0\xC5\xCF\xA2"},
        {"错误", "\xB4\xED\xCE\xF3"},
        {"内存不足", "\xC4\xDA\xB4\xE6\xB2\xBB\xD7\xE3"},
    };
    for (const Row& row : rows) EXPECT_EQ(std::string(row.literal), row.gbk);
}

}  // namespace
