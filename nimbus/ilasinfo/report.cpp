#include "report.h"

#include "wktsummary.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace nimbus::ilas {

Problem checkFileInParallel(const IlasReader& reader)
{
    Problem first = checkHeaderAndDirectory(reader);
    if (first.found())
        return first;
    const auto count = static_cast<std::int64_t>(reader.blocks().size());
    // Blocks after the lowest failure found so far are skipped; blocks before
    // it still run, so the block named is the lowest failing one.
    std::atomic<std::int64_t> lowestBad{std::numeric_limits<std::int64_t>::max()};
#pragma omp parallel
    {
        KdScratch scratch;
#pragma omp for schedule(dynamic, 1)
        for (std::int64_t i = 0; i < count; ++i) {
            if (i > lowestBad.load(std::memory_order_relaxed))
                continue;
            Problem p = checkBlock(reader, static_cast<std::size_t>(i), scratch);
            if (!p.found())
                continue;
#pragma omp critical(ilas_first_problem)
            if (i < lowestBad.load()) {
                lowestBad.store(i);
                first = std::move(p);
            }
        }
    }
    return first;
}

namespace {

const char* stateName(FileState state)
{
    switch (state) {
    case FileState::Unreadable:
        return "unreadable";
    case FileState::Damaged:
        return "damaged";
    case FileState::Unfinished:
        return "unfinished";
    case FileState::Complete:
        return "complete";
    }
    return "unknown";
}

std::string format(const char* pattern, double value)
{
    char text[400];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string coordinates(double x, double y, double z)
{
    return format("%.3f", x) + ", " + format("%.3f", y) + ", " + format("%.3f", z);
}

struct BlockSizes {
    std::int32_t smallest = 0, median = 0, largest = 0;
};

BlockSizes blockSizes(const IlasReader& reader)
{
    std::vector<std::int32_t> counts;
    for (const IlasBlockEntry& e : reader.blocks())
        counts.push_back(e.pointCount);
    BlockSizes sizes;
    if (counts.empty())
        return sizes;
    std::sort(counts.begin(), counts.end());
    sizes.smallest = counts.front();
    sizes.median = counts[(counts.size() - 1) / 2];
    sizes.largest = counts.back();
    return sizes;
}

// Minimal JSON: objects and arrays written in order, commas handled here.
class Json {
public:
    void open(char bracket) { separate(); text_ += bracket; first_ = true; }
    void close(char bracket) { text_ += bracket; first_ = false; }
    void key(const char* name) { separate(); text_ += quoted(name) + ':'; first_ = true; }
    void string(const std::string& value) { separate(); text_ += quoted(value); }
    void integer(std::int64_t value) { separate(); text_ += std::to_string(value); }
    void boolean(bool value) { separate(); text_ += value ? "true" : "false"; }
    // Full precision; JSON has no NaN or infinity, so those become null.
    void real(double value) { separate(); text_ += std::isfinite(value) ? format("%.17g", value) : "null"; }
    void triple(double x, double y, double z) { open('['); real(x); real(y); real(z); close(']'); }
    // "name": value, for the common value kinds.
    void member(const char* name, const std::string& value) { key(name); string(value); }
    void member(const char* name, const char* value) { key(name); string(value); }
    void member(const char* name, std::int64_t value) { key(name); integer(value); }
    void member(const char* name, std::int32_t value) { member(name, std::int64_t{value}); }
    void member(const char* name, bool value) { key(name); boolean(value); }
    void member(const char* name, double x, double y, double z) { key(name); triple(x, y, z); }
    const std::string& text() const { return text_; }

private:
    void separate()
    {
        if (!first_)
            text_ += ',';
        first_ = false;
    }
    static std::string quoted(const std::string& value)
    {
        std::string out = "\"";
        for (const char c : value) {
            const auto u = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                out += '\\';
                out += c;
            } else if (u < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", u);
                out += escape;
            } else {
                out += c;
            }
        }
        return out + '"';
    }

    std::string text_;
    bool first_ = true;
};

void jsonCheck(Json& json, const IlasReader& reader, const Problem& problem)
{
    json.key("check");
    json.open('{');
    json.member("ok", !problem.found());
    if (problem.found()) {
        json.key("block");
        if (problem.block >= 0)
            json.integer(problem.block);
        else
            json.string("file");
        json.member("rule", problem.rule);
        json.member("detail", problem.detail);
    } else {
        json.member("points", reader.header().pointCount);
    }
    json.close('}');
}

// The system's name and EPSG code, as one line of text.
std::string describeSystem(const std::string& wkt)
{
    crs::WktSummary s;
    if (!crs::summarizeWkt(wkt, s))
        return "not readable as WKT";
    return s.name + (s.epsg > 0 ? " (EPSG:" + std::to_string(s.epsg) + ")" : std::string(" (no EPSG code)"));
}

} // namespace

std::string counted(std::int64_t count, const char* noun)
{
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string textReport(const FileReport& report)
{
    const IlasReader& r = *report.reader;
    const IlasHeader& h = r.header();
    const bool complete = r.state() == FileState::Complete;
    std::string out = r.path() + "\n";
    auto line = [&out](const char* label, const std::string& value) {
        char text[32];
        std::snprintf(text, sizeof text, "  %-12s", label);
        out += text + value + "\n";
    };
    if (report.summary || (!complete && !report.check)) {
        const Problem& p = r.problem();
        const std::string state = stateName(r.state());
        line("state:", complete            ? state
                           : p.rule == state ? state + ": " + p.detail
                                             : state + " (" + p.text() + ")");
        if (r.hasHeader() && r.state() != FileState::Damaged) {
            line("version:", r.magic());
            line("created:", r.createdAt());
        }
        if (r.state() != FileState::Unreadable)
            line("file size:", std::to_string(r.fileSize()) + " bytes");
    }
    if (report.summary && complete) {
        line("origin:", coordinates(h.originX, h.originY, h.originZ));
        line("bounds:", r.blocks().empty() ? std::string("none (no blocks)")
                                           : "(" + coordinates(h.minX, h.minY, h.minZ) + ") to ("
                                               + coordinates(h.maxX, h.maxY, h.maxZ) + ")");
        line("points:", std::to_string(h.pointCount));
        line("blocks:", std::to_string(r.blocks().size()));
        if (!r.blocks().empty()) {
            const BlockSizes sizes = blockSizes(r);
            line("block size:", "smallest " + std::to_string(sizes.smallest) + ", median "
                                    + std::to_string(sizes.median) + ", largest " + std::to_string(sizes.largest)
                                    + " points");
        }
        line("colour:", h.hasColor ? "yes (16 bytes per point)" : "no (12 bytes per point)");
        if (!report.coordinateSystemError.empty())
            line("system:", "unknown (" + report.coordinateSystemError + ")");
        else if (!report.coordinateSystem.empty())
            line("system:", describeSystem(report.coordinateSystem));
    }
    if (report.blocks && complete) {
        char text[128];
        std::snprintf(text, sizeof text, "  %7s %14s %8s  %s\n", "block", "offset", "points", "box");
        out += text;
        for (std::size_t i = 0; i < r.blocks().size(); ++i) {
            const IlasBlockEntry& e = r.blocks()[i];
            const Box box = r.blockBox(i);
            std::snprintf(text, sizeof text, "  %7zu %14lld %8d  ", i, static_cast<long long>(e.dataOffset),
                          e.pointCount);
            out += text + ("(" + coordinates(box.min[0], box.min[1], box.min[2]) + ") to ("
                           + coordinates(box.max[0], box.max[1], box.max[2]) + ")\n");
        }
    }
    if (report.check) {
        const Problem& p = report.checkResult;
        if (!p.found())
            line("check:", "ok (" + counted(h.pointCount, "point") + " in "
                               + counted(static_cast<std::int64_t>(r.blocks().size()), "block") + ")");
        else
            line("check:", "FAILED " + (p.block >= 0 ? "at block " + std::to_string(p.block) + ", " : std::string())
                               + "rule " + p.rule + ": " + p.detail);
    }
    return out;
}

std::string jsonReport(const FileReport& report)
{
    const IlasReader& r = *report.reader;
    const IlasHeader& h = r.header();
    const bool complete = r.state() == FileState::Complete;
    Json json;
    json.open('{');
    json.member("file", r.path());
    json.member("state", stateName(r.state()));
    if (!complete) {
        json.key("problem");
        json.open('{');
        json.member("rule", r.problem().rule);
        json.member("detail", r.problem().detail);
        json.close('}');
    }
    if (r.state() != FileState::Unreadable)
        json.member("fileSize", static_cast<std::int64_t>(r.fileSize()));
    if (r.hasHeader() && r.state() != FileState::Damaged) {
        json.member("version", r.magic());
        json.member("createdAt", r.createdAt());
    }
    if (report.summary && complete) {
        json.member("origin", h.originX, h.originY, h.originZ);
        json.key("bounds");
        json.open('{');
        json.member("min", h.minX, h.minY, h.minZ);
        json.member("max", h.maxX, h.maxY, h.maxZ);
        json.close('}');
        json.member("pointCount", h.pointCount);
        json.member("blockCount", static_cast<std::int64_t>(r.blocks().size()));
        const BlockSizes sizes = blockSizes(r);
        json.key("blockSize");
        json.open('{');
        json.member("smallest", sizes.smallest);
        json.member("median", sizes.median);
        json.member("largest", sizes.largest);
        json.close('}');
        json.member("colour", h.hasColor == 1);
        crs::WktSummary system;
        if (!report.coordinateSystem.empty() && crs::summarizeWkt(report.coordinateSystem, system)) {
            json.key("coordinateSystem");
            json.open('{');
            json.member("name", system.name);
            if (system.epsg > 0)
                json.member("epsg", static_cast<std::int64_t>(system.epsg));
            json.member("wkt", report.coordinateSystem);
            json.close('}');
        }
    }
    if (report.blocks && complete) {
        json.key("blocks");
        json.open('[');
        for (std::size_t i = 0; i < r.blocks().size(); ++i) {
            const IlasBlockEntry& e = r.blocks()[i];
            const Box box = r.blockBox(i);
            json.open('{');
            json.member("index", e.index);
            json.member("offset", e.dataOffset);
            json.member("points", e.pointCount);
            json.member("min", box.min[0], box.min[1], box.min[2]);
            json.member("max", box.max[0], box.max[1], box.max[2]);
            json.close('}');
        }
        json.close(']');
    }
    if (report.check)
        jsonCheck(json, r, report.checkResult);
    json.close('}');
    return json.text();
}

} // namespace nimbus::ilas
