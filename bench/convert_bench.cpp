// Throughput of the XYZ text path: the whole conversion (reader, splitter,
// writer), the reader's parsing alone, and for comparison a parser that
// splits each line into strings and reads every field with a string stream.

#include "fastconvertor.h"
#include "linereader.h"
#include "splitline.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <locale>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr long long kBenchLines = 3000000;

// Survey-like lines: metre coordinates with millimetres over a 600 x 600 m
// area, so the splitter sees realistic cells.
bool writeXyz(const QString& path, long long lines)
{
    std::FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out)
        return false;
    std::mt19937_64 random(42);
    std::uniform_int_distribution<int> mm(0, 600000);
    std::uniform_int_distribution<int> height(0, 40000);
    std::vector<char> buffer(1 << 20);
    std::size_t used = 0;
    for (long long i = 0; i < lines; ++i) {
        if (buffer.size() - used < 128) {
            std::fwrite(buffer.data(), 1, used, out);
            used = 0;
        }
        const int x = mm(random), y = mm(random), z = height(random);
        used += static_cast<std::size_t>(std::snprintf(buffer.data() + used, 128, "%d.%03d,%d.%03d,%d.%03d\n",
                                                       512000 + x / 1000, x % 1000, 4310000 + y / 1000,
                                                       y % 1000, 100 + z / 1000, z % 1000));
    }
    std::fwrite(buffer.data(), 1, used, out);
    return std::fclose(out) == 0;
}

QString benchFile()
{
    static const QString path = [] {
        const QString p = QDir::temp().filePath(QStringLiteral("convert_bench_%1.xyz").arg(kBenchLines));
        if (QFileInfo(p).size() == 0 && !writeXyz(p, kBenchLines))
            std::fprintf(stderr, "cannot write %s\n", qPrintable(p));
        return p;
    }();
    return path;
}

// The way the format was first read: a copied line, a list of field
// strings, and a string stream per field.
long long streamParse(const QString& path, double& checksum)
{
    std::ifstream in(QFile::encodeName(path).toStdString());
    std::string line;
    long long points = 0;
    double x = 0, y = 0, z = 0;
    while (std::getline(in, line)) {
        const std::vector<std::string> fields = nimbus::splitLine(line, ',');
        if (fields.size() < 3)
            continue;
        std::istringstream fx(fields[0]), fy(fields[1]), fz(fields[2]);
        fx.imbue(std::locale::classic());
        fy.imbue(std::locale::classic());
        fz.imbue(std::locale::classic());
        fx >> x;
        fy >> y;
        fz >> z;
        checksum += x + y + z;
        ++points;
    }
    return points;
}

long long fastParse(const QString& path, double& checksum)
{
    nimbus::LineReader reader;
    if (!reader.open(path))
        return 0;
    // As the XYZ reader parses each of its pieces: runs of lines read in
    // one pass.
    std::string_view lines;
    double xyz[3];
    long long points = 0;
    while (reader.nextLines(lines)) {
        const char* p = lines.data();
        const char* const end = p + lines.size();
        while (p < end) {
            const char* lineEnd = end;
            if (nimbus::readFirstThreeFieldsOfLine(p, end, ',', xyz, &lineEnd)) {
                checksum += xyz[0] + xyz[1] + xyz[2];
                ++points;
            }
            p = lineEnd < end ? lineEnd + 1 : end;
        }
    }
    return points;
}

void setCounters(benchmark::State& state, long long points)
{
    state.SetItemsProcessed(state.iterations() * points);
    state.SetBytesProcessed(state.iterations() * QFileInfo(benchFile()).size());
}

void TextXyz(benchmark::State& state)
{
    const QString input = benchFile();
    for (auto _ : state) {
        nimbus::FastConvertor convertor;
        convertor.files = QStringList{input};
        bool converted = false;
        QObject::connect(&convertor, &nimbus::FastConvertor::fileFinished, &convertor,
                         [&](const QString&, const QString&, bool ok, const QString&) { converted = ok; },
                         Qt::DirectConnection);
        convertor.start();
        convertor.wait();
        if (!converted)
            state.SkipWithError("conversion failed");
    }
    QFile::remove(nimbus::FastConvertor::outputPathFor(input));
    setCounters(state, kBenchLines - 1);
}
BENCHMARK(TextXyz)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void TextXyzParseOnly(benchmark::State& state)
{
    const QString input = benchFile();
    double checksum = 0;
    long long points = 0;
    for (auto _ : state)
        points = fastParse(input, checksum);
    benchmark::DoNotOptimize(checksum);
    setCounters(state, points);
}
BENCHMARK(TextXyzParseOnly)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void TextXyzStringStreamBaseline(benchmark::State& state)
{
    const QString input = benchFile();
    double checksum = 0;
    long long points = 0;
    for (auto _ : state)
        points = streamParse(input, checksum);
    benchmark::DoNotOptimize(checksum);
    setCounters(state, points);
}
BENCHMARK(TextXyzStringStreamBaseline)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

int runParseComparison(const QString& path)
{
    const double megabytes = QFileInfo(path).size() / 1e6;
    for (int pass = 0; pass < 2; ++pass) {
        QElapsedTimer timer;
        timer.start();
        double checksum = 0;
        const long long points = pass == 0 ? fastParse(path, checksum) : streamParse(path, checksum);
        const double seconds = timer.nsecsElapsed() / 1e9;
        std::printf("%-22s %lld points, %.2f s, %.1f MB/s (checksum %.6g)\n",
                    pass == 0 ? "in-place parser:" : "string-stream parser:", points, seconds,
                    megabytes / seconds, checksum);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--write-xyz") == 0)
        return writeXyz(QString::fromLocal8Bit(argv[2]), std::atoll(argv[3])) ? 0 : 1;
    if (argc == 3 && std::strcmp(argv[1], "--parse-baseline") == 0)
        return runParseComparison(QString::fromLocal8Bit(argv[2]));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
