// ilasinfo as a user runs it: on what nimbusconvert writes, on damaged
// copies, and the LAS round trip LAS -> ilas -> LAS -> ilas.

#include "ilasreader.h"
#include "qtnativepath.h"
#include "pointexport.h"
#include "report.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

using namespace nimbus::ilas;

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome run(const char* program, const QStringList& arguments)
{
    QProcess process;
    process.start(QString::fromLocal8Bit(program), arguments);
    Outcome o;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return o;
    o.exitCode = process.exitCode();
    // UTF-8 on every platform; Windows ends lines written to a pipe with CRLF.
    o.out = QString::fromUtf8(process.readAllStandardOutput()).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    o.err = QString::fromUtf8(process.readAllStandardError()).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return o;
}

Outcome ilasinfo(const QStringList& arguments)
{
    return run(ILASINFO_PATH, arguments);
}

template <typename T>
void put(QByteArray& bytes, int offset, T value)
{
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

template <typename T>
T get(const QByteArray& bytes, int offset)
{
    T value{};
    std::memcpy(&value, bytes.constData() + offset, sizeof value);
    return value;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A LAS 1.2 file (point format 2 with colour, else 0), scale 0.001: points
// on a 7 mm-ish lattice over 60 m x 40 m so every 20 m cell holds many.
const double kOffset[3] = {500000.0, 4000000.0, 100.0};

QByteArray makeLas(int count, bool colour)
{
    const int recordSize = colour ? 26 : 20;
    QByteArray las(227 + count * recordSize, '\0');
    std::memcpy(las.data(), "LASF", 4);
    las[24] = 1;
    las[25] = 2;
    put<std::uint16_t>(las, 94, 227);
    put<std::uint32_t>(las, 96, 227);
    las[104] = colour ? 2 : 0;
    put<std::uint16_t>(las, 105, static_cast<std::uint16_t>(recordSize));
    put<std::uint32_t>(las, 107, static_cast<std::uint32_t>(count));
    for (int a = 0; a < 3; ++a) {
        put<double>(las, 131 + 8 * a, 0.001);
        put<double>(las, 155 + 8 * a, kOffset[a]);
    }
    std::int32_t low[3] = {INT32_MAX, INT32_MAX, INT32_MAX}, high[3] = {INT32_MIN, INT32_MIN, INT32_MIN};
    for (int i = 0; i < count; ++i) {
        const std::int32_t xyz[3] = {(i * 7919) % 60000, (i * 104729) % 40000, (i * 31) % 5000};
        const int r = 227 + i * recordSize;
        for (int a = 0; a < 3; ++a) {
            put<std::int32_t>(las, r + 4 * a, xyz[a]);
            low[a] = std::min(low[a], xyz[a]);
            high[a] = std::max(high[a], xyz[a]);
        }
        if (colour) {
            put<std::uint16_t>(las, r + 20, static_cast<std::uint16_t>(i % 256 * 256));
            put<std::uint16_t>(las, r + 22, static_cast<std::uint16_t>((i * 7) % 256 * 256));
            put<std::uint16_t>(las, r + 24, static_cast<std::uint16_t>(65535));
        }
    }
    for (int a = 0; a < 3; ++a) {
        put<double>(las, 179 + 16 * a, kOffset[a] + high[a] * 0.001);
        put<double>(las, 187 + 16 * a, kOffset[a] + low[a] * 0.001);
    }
    return las;
}

struct Point {
    std::array<double, 3> xyz;
    std::array<int, 3> rgb;
    bool operator<(const Point& o) const { return xyz < o.xyz; }
};

std::vector<Point> sortedPoints(const IlasReader& reader)
{
    std::vector<Point> points;
    for (std::size_t b = 0; b < reader.blocks().size(); ++b) {
        const BlockView view = reader.block(b);
        for (std::int32_t k = 0; k < view.count(); ++k) {
            const AbsoluteXyz a = reader.absolute(view.point(k));
            Point p{{a.x, a.y, a.z}, {-1, -1, -1}};
            if (view.hasColour())
                p.rgb = {view.colour(k).red, view.colour(k).green, view.colour(k).blue};
            points.push_back(p);
        }
    }
    std::sort(points.begin(), points.end());
    return points;
}

// Converts `las` (written into its own folder) and returns the ilas path.
QString convert(const QTemporaryDir& dir, const QString& name, const QByteArray& las)
{
    QDir(dir.path()).mkpath(name);
    const QString input = dir.filePath(name + "/" + name + ".las");
    writeAll(input, las);
    const Outcome o = run(NIMBUSCONVERT_PATH, {input});
    EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
    return dir.filePath(name + "/" + name + ".ilas");
}

} // namespace

TEST(IlasInfo, LasRoundTripKeepsEveryPointToTheMillimetre)
{
    QTemporaryDir dir;
    for (const bool colour : {true, false}) {
        SCOPED_TRACE(colour);
        const QString tag = colour ? "c" : "g";
        const QString first = convert(dir, tag + "first", makeLas(6000, colour));
        Outcome o = ilasinfo({"--check", first});
        EXPECT_EQ(o.exitCode, 0) << o.out.toStdString();
        EXPECT_TRUE(o.out.contains("check:      ok")) << o.out.toStdString();

        const QString exported = dir.filePath(tag + "export.las");
        o = ilasinfo({"--export", exported, first});
        ASSERT_EQ(o.exitCode, 0) << o.err.toStdString();
        IlasReader original;
        ASSERT_TRUE(original.open(quillfen::libraryPath(first)));
        const auto count = static_cast<std::uint32_t>(original.header().pointCount);
        ASSERT_GT(count, 5000u);

        // The exported header and first record, by hand.
        const QByteArray las = readAll(exported);
        const int recordSize = colour ? 26 : 20;
        ASSERT_EQ(las.size(), 227 + static_cast<int>(count) * recordSize);
        EXPECT_EQ(las.left(4), QByteArray("LASF"));
        EXPECT_EQ(las[24], 1);
        EXPECT_EQ(las[25], 2);
        EXPECT_EQ(get<std::uint32_t>(las, 96), 227u);
        EXPECT_EQ(las[104], colour ? 2 : 0);
        EXPECT_EQ(get<std::uint16_t>(las, 105), recordSize);
        EXPECT_EQ(get<std::uint32_t>(las, 107), count);
        EXPECT_EQ(get<double>(las, 131), 0.001);
        EXPECT_EQ(get<double>(las, 155), original.header().originX);
        EXPECT_EQ(get<double>(las, 171), original.header().originZ);
        const StoredXyz p0 = original.block(0).point(0);
        EXPECT_EQ(get<std::int32_t>(las, 227), std::lround(p0.x * 1000.0));
        EXPECT_EQ(get<std::int32_t>(las, 235), std::lround(p0.z * 1000.0));
        if (colour) {
            EXPECT_EQ(get<std::uint16_t>(las, 247), original.block(0).colour(0).red * 257);
            EXPECT_EQ(get<std::uint16_t>(las, 251), 65535);
        }

        const QString second = convert(dir, tag + "second", las);
        IlasReader again;
        ASSERT_TRUE(again.open(quillfen::libraryPath(second)));
        const std::vector<Point> before = sortedPoints(original);
        const std::vector<Point> after = sortedPoints(again);
        ASSERT_EQ(after.size(), before.size());
        for (std::size_t i = 0; i < before.size(); ++i) {
            for (int a = 0; a < 3; ++a)
                ASSERT_NEAR(after[i].xyz[a], before[i].xyz[a], 0.001) << i;
            if (colour) {
                ASSERT_EQ(after[i].rgb, before[i].rgb) << i;
            }
        }

        // Text export: one line per point, millimetres.
        const QString xyz = dir.filePath(tag + "export.xyz");
        ASSERT_EQ(ilasinfo({"--export", xyz, first}).exitCode, 0);
        const QList<QByteArray> lines = readAll(xyz).split('\n');
        ASSERT_EQ(lines.size(), static_cast<int>(count) + 1);
        const AbsoluteXyz a0 = original.absolute(p0);
        QByteArray expected = QByteArray::number(a0.x, 'f', 3) + " " + QByteArray::number(a0.y, 'f', 3) + " "
            + QByteArray::number(a0.z, 'f', 3);
        if (colour)
            expected += " " + QByteArray::number(original.block(0).colour(0).red) + " "
                + QByteArray::number(original.block(0).colour(0).green) + " 255";
        EXPECT_EQ(lines[0], expected);
    }
}

TEST(IlasInfo, CheckNamesTheBrokenRuleOfDamagedCopies)
{
    QTemporaryDir dir;
    const QString good = convert(dir, "good", makeLas(6000, true));
    const QByteArray bytes = readAll(good);
    ASSERT_GT(bytes.size(), 216);
    const auto directory = get<std::int64_t>(bytes, 8);
    const auto firstCount = get<std::int32_t>(bytes, static_cast<int>(directory) + 4);
    ASSERT_GE(firstCount, 3);

    struct Case {
        const char* name;
        QByteArray bytes;
        const char* expected;
    };
    std::vector<Case> cases;
    QByteArray b = bytes;
    put<float>(b, 216 + 12 * 2, 1e6f); // point 2 of block 0 far outside its box
    cases.push_back({"moved", b, "at block 0, rule block-box"});
    b = bytes;
    std::memcpy(b.data() + 216 + 12, bytes.constData() + 216 + 24, 12); // points 1 and 2 swapped
    std::memcpy(b.data() + 216 + 24, bytes.constData() + 216 + 12, 12);
    cases.push_back({"swapped", b, "at block 0, rule kd-order"});
    cases.push_back({"truncated", bytes.left(bytes.size() - 40), "rule file-size"});
    b = bytes;
    std::memset(b.data() + 104, 0, 15);
    cases.push_back({"unfinished", b, "rule unfinished"});
    b = bytes;
    put<std::int64_t>(b, static_cast<int>(directory) + 8, bytes.size() + 1000); // block 0 past the end
    cases.push_back({"past", b, "at block 0, rule block-range"});
    b = bytes;
    put<std::int64_t>(b, 16, 1); // the header counts 1 point
    cases.push_back({"count", b, "rule point-count"});
    b = bytes;
    put<std::int64_t>(b, static_cast<int>(directory) + 8, 217); // block 0 one byte late
    cases.push_back({"offset", b, "at block 0, rule block-offset"});
    b = bytes;
    std::memcpy(b.data() + 146, "2024-02-30 08:30:00", 19);
    cases.push_back({"created", b, "rule created-at"});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString(c.name) + ".ilas");
        writeAll(path, c.bytes);
        const Outcome o = ilasinfo({"--check", path});
        EXPECT_EQ(o.exitCode, 1);
        EXPECT_TRUE(o.out.contains(QString("FAILED ") + c.expected)) << o.out.toStdString();
        // Only the kd order may be off in what is exported.
        for (const char* suffix : {".las", ".xyz"}) {
            const QString exported = dir.filePath(QString(c.name) + "-export" + suffix);
            const Outcome e = ilasinfo({"--export", exported, path});
            const bool exportable = QByteArray(c.name) == "swapped";
            EXPECT_EQ(e.exitCode, exportable ? 0 : 1) << suffix << e.err.toStdString();
            EXPECT_EQ(QFile::exists(exported), exportable) << suffix;
            EXPECT_EQ(QDir(dir.path()).entryList({"*.part*"}, QDir::Files), QStringList()) << suffix;
        }
    }

    const Outcome json = ilasinfo({"--check", "--json", good, dir.filePath("swapped.ilas")});
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_TRUE(json.out.contains("\"check\":{\"ok\":true")) << json.out.toStdString();
    EXPECT_TRUE(json.out.contains("\"check\":{\"ok\":false,\"block\":0,\"rule\":\"kd-order\""))
        << json.out.toStdString();

    // A summary of an unfinished file says so and fails; nothing is exported from it.
    Outcome o = ilasinfo({dir.filePath("unfinished.ilas")});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_TRUE(o.out.contains("state:      unfinished")) << o.out.toStdString();
    o = ilasinfo({"--export", dir.filePath("u.las"), dir.filePath("unfinished.ilas")});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_FALSE(QFile::exists(dir.filePath("u.las")));
}

TEST(IlasInfo, UsageErrorsExitWithTwo)
{
    EXPECT_EQ(ilasinfo({}).exitCode, 2);
    EXPECT_EQ(ilasinfo({"--frobnicate", "a.ilas"}).exitCode, 2);
    EXPECT_EQ(ilasinfo({"--export", "out.ply", "a.ilas"}).exitCode, 2);
    EXPECT_EQ(ilasinfo({"--export", "out.las", "a.ilas", "b.ilas"}).exitCode, 2);
    const Outcome help = ilasinfo({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("--check"));
}

// Names outside any 8-bit code page: a Chinese-named file in a Chinese-named
// folder converted into another, read back by the reader and by ilasinfo,
// and exported beside it.
TEST(IlasInfo, ChineseNamedFoldersAndFilesRoundTrip)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString inputFolder = dir.filePath(QStringLiteral("测试输入"));
    const QString outputFolder = dir.filePath(QStringLiteral("输出"));
    ASSERT_TRUE(QDir().mkpath(inputFolder));
    ASSERT_TRUE(QDir().mkpath(outputFolder));
    const QString input = inputFolder + QStringLiteral("/测试.las");
    writeAll(input, makeLas(3000, true));

    const Outcome converted = run(NIMBUSCONVERT_PATH, {"-o", outputFolder, input});
    ASSERT_EQ(converted.exitCode, 0) << converted.err.toStdString();
    const QString output = outputFolder + QStringLiteral("/测试.ilas");
    ASSERT_TRUE(QFile::exists(output));

    IlasReader reader;
    ASSERT_TRUE(reader.open(quillfen::libraryPath(output)));
    EXPECT_EQ(reader.header().pointCount, 3000);

    const QString exported = outputFolder + QStringLiteral("/导出.las");
    const Outcome info = ilasinfo({"--check", output});
    EXPECT_EQ(info.exitCode, 0) << info.err.toStdString();
    const Outcome exportRun = ilasinfo({"--export", exported, output});
    EXPECT_EQ(exportRun.exitCode, 0) << exportRun.err.toStdString();
    EXPECT_EQ(readAll(exported).size(), 227 + 3000 * 26);
}

TEST(IlasInfo, ExportOfAFileCutWhileReadFailsAndRemovesStaleTemporaries)
{
    QTemporaryDir dir;
    const QString ilas = convert(dir, "cut", makeLas(6000, false));
    const QString output = dir.filePath("cut.xyz");
    // Left by an export that was killed: removed by the next one.
    writeAll(output + ".part0", "stale");
    IlasReader reader;
    ASSERT_TRUE(reader.open(quillfen::libraryPath(ilas)));
    std::string error;
    ASSERT_TRUE(exportXyz(reader, quillfen::libraryPath(output), error)) << error;
    EXPECT_EQ(QDir(dir.path()).entryList({"*.part*"}, QDir::Files), QStringList());

    // Cut to its first block's half after it was opened: the blocks are read
    // from the file again, and reading through the mapping would end in a bus
    // error.
    ASSERT_TRUE(QFile::remove(output));
    const auto firstCount = reader.blocks().at(0).pointCount;
    if (!QFile::resize(ilas, 216 + 12 * (firstCount / 2))) {
#ifdef Q_OS_WIN
        // Windows refuses to cut a file the reader holds open: the export
        // then reads what was there.
        EXPECT_TRUE(exportXyz(reader, quillfen::libraryPath(output), error)) << error;
        return;
#else
        FAIL() << "cannot cut " << ilas.toStdString();
#endif
    }
    const std::string las = quillfen::libraryPath(dir.filePath("cut.las"));
    EXPECT_FALSE(exportXyz(reader, quillfen::libraryPath(output), error));
    EXPECT_NE(error.find("file changed while reading"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(exportLas(reader, las, error));
    EXPECT_NE(error.find("file changed while reading"), std::string::npos) << error;
    EXPECT_EQ(QDir(dir.path()).entryList({"cut.*"}, QDir::Files), QStringList());
    EXPECT_EQ(QDir(dir.path()).entryList({"*.part*"}, QDir::Files), QStringList());
}

TEST(IlasInfo, CheckOfAFileCutWhileReadFailsWithoutASignal)
{
    QTemporaryDir dir;
    const QString ilas = convert(dir, "cut", makeLas(6000, false));
    IlasReader reader;
    ASSERT_TRUE(reader.open(quillfen::libraryPath(ilas)));
    ASSERT_GE(reader.blocks().size(), 2u);
    ASSERT_FALSE(checkFileInParallel(reader).found());

    // Cut inside the last block after opening, then inside the first, at a
    // page boundary: every block is read from the file again, where reading
    // it through the mapping would end in a bus error at the first page past
    // the end. The lowest block no longer whole is named.
    const std::size_t last = reader.blocks().size() - 1;
    for (const std::size_t cutBlock : {last, std::size_t{0}}) {
        const nimbus::IlasBlockEntry e = reader.blocks()[cutBlock];
        const qint64 cut = (e.dataOffset + 12 * e.pointCount) / 4096 * 4096;
        ASSERT_GT(cut, e.dataOffset);
        if (!QFile::resize(ilas, cut)) {
#ifdef _WIN32
            // Windows refuses to shorten a file while it is mapped: nothing
            // changed under the reader.
            EXPECT_FALSE(checkFileInParallel(reader).found());
            return;
#else
            FAIL() << "cannot cut " << ilas.toStdString();
#endif
        }
        for (const Problem& p : {checkFile(reader), checkFileInParallel(reader)}) {
            EXPECT_EQ(p.block, static_cast<std::int64_t>(cutBlock));
            EXPECT_EQ(p.rule, "file-changed");
            EXPECT_EQ(p.detail.rfind("file changed while reading: ", 0), 0u) << p.detail;
        }
        FileReport report;
        report.reader = &reader;
        report.check = true;
        report.checkResult = checkFileInParallel(reader);
        EXPECT_NE(textReport(report).find("  check:      FAILED at block " + std::to_string(cutBlock)
                                          + ", rule file-changed: file changed while reading: "),
                  std::string::npos)
            << textReport(report);
    }
    // The same file opened anew is damaged, and ilasinfo says so with status 1.
    const Outcome o = ilasinfo({"--check", ilas});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_TRUE(o.out.contains("file-size")) << o.out.toStdString();
}

TEST(IlasInfo, CoordinateSystemIsShownAndTravelsThroughTheExport)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("utm.las");
    writeAll(input, readAll(QStringLiteral(QUILLFEN_SOURCE_DIR "/../shared/testdata/las/pdal/autzen-utm.las")));
    Outcome o = run(NIMBUSCONVERT_PATH, {"--min-cell-points", "1", input});
    ASSERT_EQ(o.exitCode, 0) << o.err.toStdString();
    const QString ilas = dir.filePath("utm.ilas");
    o = ilasinfo({ilas});
    EXPECT_TRUE(o.out.contains("  system:     NAD83 / UTM zone 10N (EPSG:26910)\n")) << o.out.toStdString();
    o = ilasinfo({"--check", ilas});
    EXPECT_TRUE(o.out.contains("ok (1065 points in ")) << o.out.toStdString();

    // One of each is counted in the singular.
    const QString single = dir.filePath("single.las");
    writeAll(single, readAll(QStringLiteral(QUILLFEN_SOURCE_DIR "/../shared/testdata/las/pdal/permutations/1.0_0.las")));
    ASSERT_EQ(run(NIMBUSCONVERT_PATH, {"--min-cell-points", "1", single}).exitCode, 0);
    o = ilasinfo({"--check", dir.filePath("single.ilas")});
    EXPECT_TRUE(o.out.contains("  check:      ok (1 point in 1 block)\n")) << o.out.toStdString();
    o = ilasinfo({"--version"});
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_TRUE(o.out.startsWith("ilasinfo ") && o.out.endsWith("\n") && o.out.count('\n') == 1) << o.out.toStdString();

    // An EPSG system goes out as three GeoTIFF keys naming it by code.
    const QString exported = dir.filePath("back.las");
    ASSERT_EQ(ilasinfo({"--export", exported, ilas}).exitCode, 0);
    QByteArray las = readAll(exported);
    EXPECT_EQ(get<std::uint32_t>(las, 96), 227u + 54u + 32u);
    EXPECT_EQ(get<std::uint32_t>(las, 100), 1u);
    EXPECT_EQ(las.mid(227 + 2, 16), QByteArray("LASF_Projection\0", 16));
    EXPECT_EQ(get<std::uint16_t>(las, 227 + 18), 34735);
    EXPECT_EQ(get<std::uint16_t>(las, 227 + 20), 32);
    const std::array<std::uint16_t, 16> keys = {1, 1, 0, 3, 1024, 0, 1, 1, 1025, 0, 1, 1, 3072, 0, 1, 26910};
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(get<std::uint16_t>(las, 227 + 54 + 2 * k), keys[k]) << k;
    // ... which the converter reads back into the same system.
    ASSERT_EQ(run(NIMBUSCONVERT_PATH, {"--min-cell-points", "1", exported}).exitCode, 0);
    EXPECT_EQ(readAll(dir.filePath("back.prj")), readAll(dir.filePath("utm.prj")));

    // A system without an EPSG code goes out as a WKT record, and comes back
    // from it byte for byte.
    const QByteArray local = "LOCAL_CS[\"site grid\",LOCAL_DATUM[\"pillar 7\",0],UNIT[\"metre\",1]]";
    writeAll(dir.filePath("utm.prj"), local + "\n");
    o = ilasinfo({ilas});
    EXPECT_TRUE(o.out.contains("  system:     site grid (no EPSG code)\n")) << o.out.toStdString();
    ASSERT_EQ(ilasinfo({"--export", exported, ilas}).exitCode, 0);
    las = readAll(exported);
    EXPECT_EQ(get<std::uint16_t>(las, 227 + 18), 2112);
    EXPECT_EQ(las.mid(227 + 54, get<std::uint16_t>(las, 227 + 20)), local + QByteArray(1, '\0'));
    ASSERT_EQ(run(NIMBUSCONVERT_PATH, {"--min-cell-points", "1", exported}).exitCode, 0);
    EXPECT_EQ(readAll(dir.filePath("back.prj")), local);

    // A .prj that cannot be a coordinate system stops the export rather
    // than letting the points lose where they lie.
    writeAll(dir.filePath("utm.prj"), QByteArray(2 << 20, 'x'));
    QFile::remove(exported);
    o = ilasinfo({"--export", exported, ilas});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_TRUE(o.err.contains("too large")) << o.err.toStdString();
    EXPECT_FALSE(QFile::exists(exported));
}
