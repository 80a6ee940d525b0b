#include "ilasformat.h"
#include "pointrecord.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <QDateTime>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace nimbus;

TEST(PointBuffer, CreateGivesRoomAndCount)
{
    PointBuffer* buffer = createPointBuffer(1000);
    ASSERT_NE(buffer, nullptr);
    ASSERT_NE(buffer->points, nullptr);
    EXPECT_EQ(buffer->count, 1000);
    EXPECT_EQ(buffer->capacity, 1000);
    EXPECT_TRUE(buffer->free);
    buffer->points[999] = PointRecord{1, 2, 3, 4, 5, 6, 7};
    releasePointBuffer(buffer);

    PointBuffer* empty = createPointBuffer(-3);
    EXPECT_EQ(empty->count, 0);
    EXPECT_EQ(empty->capacity, 0);
    releasePointBuffer(empty);
    releasePointBuffer(nullptr);
}

TEST(PointBuffer, SwapExchangesStorageCountAndFlagTogether)
{
    PointBuffer* reader = createPointBuffer(10);
    PointBuffer* splitter = createPointBuffer(20);
    PointRecord* readerStorage = reader->points;
    PointRecord* splitterStorage = splitter->points;
    reader->count = 7;
    reader->free = false;
    swapBuffers(*reader, *splitter);
    EXPECT_EQ(reader->points, splitterStorage);
    EXPECT_EQ(reader->count, 20);
    EXPECT_EQ(reader->capacity, 20);
    EXPECT_TRUE(reader->free);
    EXPECT_EQ(splitter->points, readerStorage);
    EXPECT_EQ(splitter->count, 7);
    EXPECT_EQ(splitter->capacity, 10);
    EXPECT_FALSE(splitter->free);
    releasePointBuffer(reader);
    releasePointBuffer(splitter);
}

// The address-space limit needs setrlimit; Windows has no per-process
// equivalent that Wine enforces, so this one runs on POSIX systems only.
#ifndef _WIN32
namespace {
// Runs in the death test's child process only.
void allocateBeyondAddressSpaceLimit()
{
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = 256u << 20;
    setrlimit(RLIMIT_AS, &limit);
    createPointBuffer(100000000); // 1.6 GB
}
} // namespace

TEST(PointBuffer, FailedAllocationPrintsTheMessageAndExitsNonZero)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#endif
    EXPECT_EXIT(allocateBeyondAddressSpaceLimit(), ::testing::ExitedWithCode(kAllocationFailureExitCode),
                "内存申请失败pos4！");
}
#endif

namespace {
void quietHandler()
{
    std::fputs("handler ran\n", stderr);
}
} // namespace

TEST(PointBuffer, InstalledHandlerRunsBeforeTheExit)
{
    EXPECT_EXIT(
        {
            setAllocationFailureHandler(&quietHandler);
            reportAllocationFailure();
        },
        ::testing::ExitedWithCode(kAllocationFailureExitCode), "handler ran");
}

TEST(IlasHeader, InitialHeaderHasPlaceholderValues)
{
    const IlasHeader header = makeInitialIlasHeader();
    unsigned char bytes[216];
    std::memcpy(bytes, &header, sizeof bytes);
    EXPECT_EQ(bytes[0], 1);
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(bytes[i], 0);
    EXPECT_EQ(header.blockCount, 0);
    EXPECT_EQ(header.directoryOffset, 216);
    EXPECT_EQ(header.pointCount, 0);
    EXPECT_EQ(header.originX, 0.0);
    EXPECT_EQ(header.minZ, 3.4028234663852886e38);
    EXPECT_EQ(header.maxY, 1.1754943508222875e-38);
    EXPECT_EQ(std::memcmp(bytes + 96, "Quillfen\0\0\0", 11), 0);
    for (int i = 104; i < 146; ++i)
        EXPECT_EQ(bytes[i], 0) << i;
    const QString created = QString::fromLatin1(header.createdAt);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                    .match(created)
                    .hasMatch())
        << created.toStdString();
    const QDateTime when = QDateTime::fromString(created, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    EXPECT_LE(std::llabs(when.secsTo(QDateTime::currentDateTime())), 5);
    for (int i = 146 + 19; i < 216; ++i)
        EXPECT_EQ(bytes[i], 0) << i;
}

namespace {
// Runs in a fresh process only: Qt reads the user's locale once per process.
void checkCreationTimeUnderLocale(const char* locale)
{
    qputenv("LC_ALL", locale);
    qputenv("LANG", locale);
    const IlasHeader header = makeInitialIlasHeader();
    const QString created = QString::fromLatin1(header.createdAt);
    std::fprintf(stderr, "createdAt %s\n", header.createdAt);
    const bool ascii = QRegularExpression(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}$"))
                           .match(created)
                           .hasMatch();
    std::_Exit(ascii ? 0 : 1);
}
} // namespace

TEST(IlasHeader, CreationTimeHasAsciiDigitsInAnyLocale)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Persian and Arabic write their own digits.
    EXPECT_EXIT(checkCreationTimeUnderLocale("fa_IR.UTF-8"), ::testing::ExitedWithCode(0), "createdAt");
    EXPECT_EXIT(checkCreationTimeUnderLocale("ar_EG.UTF-8"), ::testing::ExitedWithCode(0), "createdAt");
}
