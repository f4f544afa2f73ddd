// Wide to 8-bit text and case-blind comparison.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(WideCharToMultiByte, ConvertsToUtf8WithTheTerminatorWhenTheLengthIsMinusOne)
{
    const wchar_t text[] = {L'a', 0xE9, 0x20AC, 0x1F600, 0};
    const char expected[] = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr), (int)sizeof expected);
    char out[32];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out, nullptr, nullptr), (int)sizeof expected);
    EXPECT_STREQ(out, expected);
    // An explicit length converts that many characters and adds no terminator.
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, 2, out, sizeof out, nullptr, nullptr), 3);
    EXPECT_EQ(std::string(out, 4), "a\xC3\xA9x");
}

TEST(WideCharToMultiByte, TooSmallAnOutputIsFilledAndFails)
{
    char out[4] = {'x', 'x', 'x', 'x'};
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"abcdef", -1, out, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::string(out, 4), "abcx");
}

TEST(WideCharToMultiByte, NonCharactersBecomeTheDefaultCharacter)
{
    const wchar_t text[] = {L'a', (wchar_t)0xD800, (wchar_t)0x110000, L'b', 0};
    char out[8];
    BOOL used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out, nullptr, &used), 5);
    EXPECT_STREQ(out, "a??b");
    EXPECT_TRUE(used);
}

TEST(WideCharToMultiByte, BadArgumentsFail)
{
    char out[8];
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, nullptr, -1, out, sizeof out, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"a", 0, out, sizeof out, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"a", -1, nullptr, 4, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(1252, 0, L"a", -1, out, sizeof out, nullptr, nullptr), 0);
}

TEST(LstrcmpiA, IgnoresTheCaseOfLetters)
{
    const struct {
        const char *a, *b;
        int sign;
    } cases[] = {
        {"Frame", "fRAME", 0}, {"abc", "abd", -1}, {"ABD", "abc", 1}, {"ab", "abc", -1},
        {"", "", 0},           {nullptr, "", 0},   {"a", nullptr, 1}, {"[", "A", -1}, // compared as lower case
    };
    for (const auto& c : cases) {
        const int r = lstrcmpiA(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << (c.a ? c.a : "null") << " " << (c.b ? c.b : "null");
    }
}

} // namespace
