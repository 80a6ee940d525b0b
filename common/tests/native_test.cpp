// UTF-8 names reaching the file system intact, and the text conversions
// under them, on this system (under Wine for the Windows build).
#include "consoletext.h"
#include "nativepath.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using namespace quillfen;

namespace {

// "测试" and U+1F600 (a surrogate pair in UTF-16).
const std::string kChinese = "\xE6\xB5\x8B\xE8\xAF\x95";
const std::string kEmoji = "\xF0\x9F\x98\x80";

std::filesystem::path scratchFolder()
{
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::filesystem::temp_directory_path() / ("quillfen_native_" + std::to_string(stamp));
}

} // namespace

TEST(NativeText, ConvertsBothWaysAndReplacesDamage)
{
    const std::wstring wide = wideFromUtf8("a" + kChinese + kEmoji);
    ASSERT_EQ(wide.size(), sizeof(wchar_t) == 2 ? 5u : 4u);
    EXPECT_EQ(wide[1], L'\x6D4B');
    EXPECT_EQ(wide[2], L'\x8BD5');
    EXPECT_EQ(utf8FromWide(wide), "a" + kChinese + kEmoji);
    // A cut sequence, a stray continuation byte, an overlong '/' and a lone
    // surrogate each become U+FFFD; nothing is dropped silently.
    EXPECT_EQ(wideFromUtf8("\xE6\xB5"), std::wstring(1, L'\xFFFD'));
    EXPECT_EQ(wideFromUtf8("x\x80y"), (std::wstring{L'x', L'\xFFFD', L'y'}));
    EXPECT_EQ(wideFromUtf8("\xC0\xAF"), std::wstring(1, L'\xFFFD'));
    EXPECT_EQ(wideFromUtf8("\xED\xA0\x80"), std::wstring(1, L'\xFFFD'));
    EXPECT_EQ(utf8FromWide(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
}

TEST(NativeText, CompleteLengthStopsBeforeACutCharacter)
{
    const std::string text = "ab" + kChinese;
    EXPECT_EQ(completeUtf8Length(text), text.size());
    EXPECT_EQ(completeUtf8Length(text.substr(0, text.size() - 1)), 5u);
    EXPECT_EQ(completeUtf8Length(text.substr(0, text.size() - 2)), 5u);
    EXPECT_EQ(completeUtf8Length(kEmoji.substr(0, 3)), 0u);
    EXPECT_EQ(completeUtf8Length(kEmoji), 4u);
    EXPECT_EQ(completeUtf8Length(""), 0u);
    EXPECT_EQ(completeUtf8Length("\x80\x80\x80\x80\x80"), 5u);
}

TEST(NativePath, ChineseNamedFolderAndFileRoundTrip)
{
    const std::filesystem::path base = scratchFolder();
    const std::string folder = utf8Path(base) + "/" + kChinese;
    std::error_code ec;
    ASSERT_TRUE(std::filesystem::create_directories(fileSystemPath(folder), ec)) << ec.message();
    const std::string file = folder + "/" + kChinese + kEmoji + ".txt";

    std::FILE* out = openFile(file, "wb");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::fwrite("xyz", 1, 3, out), 3u);
    EXPECT_EQ(std::fclose(out), 0);

    // The name the system stored is the one asked for, not a code page's
    // approximation of it.
    bool seen = false;
    for (const auto& entry : std::filesystem::directory_iterator(fileSystemPath(folder)))
        seen = seen || utf8Path(entry.path().filename()) == kChinese + kEmoji + ".txt";
    EXPECT_TRUE(seen);

    std::FILE* in = openFile(file, "rb");
    ASSERT_NE(in, nullptr);
    char buffer[8] = {};
    EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, in), 3u);
    std::fclose(in);
    EXPECT_EQ(std::string(buffer), "xyz");
    EXPECT_EQ(openFile(folder + "/missing.txt", "rb"), nullptr);
    std::filesystem::remove_all(base, ec);
}

TEST(ConsoleWriter, PipesAndFilesGetTheUtf8Bytes)
{
    const std::filesystem::path base = scratchFolder();
    std::error_code ec;
    std::filesystem::create_directories(base, ec);
    const std::string name = utf8Path(base / "console.txt");
    std::FILE* file = openFile(name, "wb");
    ASSERT_NE(file, nullptr);
    {
        const auto writer = createConsoleWriter(file);
        // A character cut between two writes arrives whole.
        EXPECT_TRUE(writer->write("a" + kChinese.substr(0, 2)));
        EXPECT_TRUE(writer->write(kChinese.substr(2) + "b"));
    }
    std::fclose(file);
    std::FILE* in = openFile(name, "rb");
    ASSERT_NE(in, nullptr);
    char buffer[32] = {};
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, in);
    std::fclose(in);
    EXPECT_EQ(std::string(buffer, got), "a" + kChinese + "b");
    std::filesystem::remove_all(base, ec);
}
