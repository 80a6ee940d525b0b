#include "linereader.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <string>
#include <vector>

using namespace nimbus;

namespace {

std::vector<std::string> readAll(const QByteArray& content, std::size_t chunk,
                                 std::size_t* overlong = nullptr)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("lines.txt");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    LineReader reader(chunk);
    EXPECT_TRUE(reader.open(path));
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.next(line))
        lines.emplace_back(line);
    EXPECT_FALSE(reader.readFailed());
    if (overlong)
        *overlong = reader.overlongLines();
    return lines;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(LineReader, LinesLikeGetline)
{
    EXPECT_EQ(readAll("a\nb\n", 64), (Lines{"a", "b"}));
    EXPECT_EQ(readAll("a\nb", 64), (Lines{"a", "b"}));
    EXPECT_EQ(readAll("", 64), (Lines{}));
    EXPECT_EQ(readAll("\n", 64), (Lines{""}));
    EXPECT_EQ(readAll("a\n\nb\r\n", 64), (Lines{"a", "", "b\r"}));
}

TEST(LineReader, LinesSpanningChunksAreWhole)
{
    QByteArray content;
    Lines expected;
    for (int i = 0; i < 300; ++i) {
        std::string line = std::to_string(i * 7919) + "," + std::string(static_cast<std::size_t>(i % 13), 'x');
        expected.push_back(line);
        content += QByteArray::fromStdString(line) + "\n";
    }
    for (std::size_t chunk : {std::size_t(24), std::size_t(25), std::size_t(31), std::size_t(4096)})
        EXPECT_EQ(readAll(content, chunk), expected) << "chunk " << chunk;
}

TEST(LineReader, ByteOrderMarkIsNotPartOfTheFirstLine)
{
    EXPECT_EQ(readAll("\xEF\xBB\xBF" "1,2,3\n4,5,6\n", 64), (Lines{"1,2,3", "4,5,6"}));
    EXPECT_EQ(readAll("\xEF\xBB\xBF" "1,2,3\n", 6), (Lines{"1,2,3"}));
    // Only at the very start of the file.
    EXPECT_EQ(readAll("a\n\xEF\xBB\xBF" "b\n", 64), (Lines{"a", "\xEF\xBB\xBF" "b"}));
}

TEST(LineReader, OverlongLinesBecomeEmptyLines)
{
    std::size_t overlong = 0;
    const Lines lines = readAll("1 2 3\n" + QByteArray(100, '9') + "\n4 5 6\n" + QByteArray(50, '8'), 16, &overlong);
    EXPECT_EQ(lines, (Lines{"1 2 3", "", "4 5 6", ""}));
    EXPECT_EQ(overlong, 2u);
}

TEST(LineReader, MissingFilesAndFoldersAreReported)
{
    QTemporaryDir dir;
    for (const QString& path : {QStringLiteral("/nonexistent/folder/points.xyz"), dir.path()}) {
        LineReader reader;
        EXPECT_FALSE(reader.open(path));
        EXPECT_FALSE(reader.errorText().isEmpty());
        std::string_view line;
        EXPECT_FALSE(reader.next(line));
    }
}
