// ilasinfo: shows what an ilas file holds, checks it against every rule of
// the format and exports its points as LAS or text.
//
// Exit status: 0 every file complete (and, with --check, passing every
// rule); 1 a file unreadable, damaged, unfinished, failing a rule, or an
// export failed; 2 the command line is wrong.

#include "pointexport.h"
#include "nativepath.h"
#include "prjfile.h"
#include "report.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace nimbus::ilas;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: ilasinfo [--blocks] [--check] [--json] FILE.ilas...\n"
    "       ilasinfo --export OUT.las|OUT.xyz FILE.ilas\n"
    "\n"
    "Without options, prints a summary of each file: complete or unfinished,\n"
    "version, creation time, origin, bounds, point and block counts, block sizes,\n"
    "whether it holds colour, and the coordinate system's name and EPSG code when\n"
    "FILE.prj (OGC WKT, written by nimbusconvert) lies beside it.\n"
    "\n"
    "  --blocks      also list every block: index, byte offset, points, box\n"
    "  --check       verify every rule of the format (magic, sizes and offsets,\n"
    "                point counts, header bounds, every point inside its block's\n"
    "                box, block size limit, kd order of each block) and name the\n"
    "                first failing block and rule\n"
    "  --json        print one JSON object per file, in a JSON array\n"
    "  --export OUT  write the points to OUT: LAS 1.2 (point format 0, or 2 with\n"
    "                colour; scale 0.001, offsets at the ilas origin) when OUT ends\n"
    "                in .las, text (x y z [r g b] per line, millimetres) when .xyz;\n"
    "                a LAS file carries the coordinate system of FILE.prj: GeoTIFF\n"
    "                keys when an EPSG code names it, else an OGC WKT record\n"
    "  --help        show this text\n"
    "  --version     print the version and exit\n"
    "\n"
    "Exit status: 0 all files complete (and passing --check), 1 a file is\n"
    "unreadable, damaged, unfinished or fails a check, or the export failed,\n"
    "2 usage error.\n";

int usageError(const std::string& message)
{
    std::fprintf(stderr, "ilasinfo: %s\n%s", message.c_str(), kUsage);
    return kExitUsage;
}

std::string lowerExtension(const std::string& path)
{
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

// The coordinate system beside `ilasPath`: true with `wkt` empty when there
// is none; false when the file is there but unreadable.
bool coordinateSystemOf(const std::string& ilasPath, std::string& wkt, std::string& error)
{
    nimbus::Reason why;
    if (nimbus::crs::readPrj(nimbus::crs::prjPathBeside(ilasPath), wkt, why) || why.empty())
        return true;
    error = why.text();
    return false;
}

int exportFile(const std::string& input, const std::string& output)
{
    IlasReader reader;
    if (!reader.open(input)) {
        std::fprintf(stderr, "ilasinfo: %s: %s\n", input.c_str(), reader.problem().text().c_str());
        return kExitFailed;
    }
    std::string error;
    std::string system;
    if (!coordinateSystemOf(input, system, error)) {
        // Exporting without it would silently drop where the points lie.
        std::fprintf(stderr, "ilasinfo: %s: %s\n", input.c_str(), error.c_str());
        return kExitFailed;
    }
    const bool ok = lowerExtension(output) == "las" ? exportLas(reader, output, error, system)
                                                    : exportXyz(reader, output, error);
    if (!ok) {
        std::fprintf(stderr, "ilasinfo: cannot export %s to %s: %s\n", input.c_str(), output.c_str(), error.c_str());
        return kExitFailed;
    }
    std::printf("exported %lld points to %s\n", static_cast<long long>(reader.header().pointCount), output.c_str());
    return kExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    bool blocks = false, check = false, json = false;
    std::string exportPath;
    std::vector<std::string> files;
    bool optionsOver = false;
    // UTF-8 on every system, so names outside the ANSI code page survive.
    const std::vector<std::string> args = quillfen::utf8Arguments(argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = args[i];
        if (optionsOver || arg.empty() || arg[0] != '-' || arg == "-") {
            files.push_back(arg);
        } else if (arg == "--") {
            optionsOver = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        } else if (arg == "--version") {
            std::printf("ilasinfo %s\n", NIMBUS_VERSION);
            return kExitOk;
        } else if (arg == "--blocks") {
            blocks = true;
        } else if (arg == "--check") {
            check = true;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--export") {
            if (i + 1 >= argc)
                return usageError("--export needs an output file");
            if (!exportPath.empty())
                return usageError("--export given twice");
            exportPath = args[++i];
        } else {
            return usageError("unknown option " + arg);
        }
    }
    if (files.empty())
        return usageError("no ilas file given");

    if (!exportPath.empty()) {
        if (blocks || check || json)
            return usageError("--export cannot be combined with --blocks, --check or --json");
        if (files.size() != 1)
            return usageError("--export takes exactly one ilas file");
        const std::string ext = lowerExtension(exportPath);
        if (ext != "las" && ext != "xyz")
            return usageError("--export writes .las or .xyz files, not " + exportPath);
        return exportFile(files.front(), exportPath);
    }

    int status = kExitOk;
    if (json)
        std::fputs("[", stdout);
    for (std::size_t i = 0; i < files.size(); ++i) {
        IlasReader reader;
        // The check reads each block from the file, not from the mapping.
        reader.open(files[i]);
        FileReport report;
        report.reader = &reader;
        report.summary = !check || blocks;
        report.blocks = blocks;
        report.check = check;
        coordinateSystemOf(files[i], report.coordinateSystem, report.coordinateSystemError);
        if (check)
            report.checkResult = checkFileInParallel(reader);
        if (reader.state() != FileState::Complete || report.checkResult.found())
            status = kExitFailed;
        if (json) {
            std::printf("%s\n%s", i ? "," : "", jsonReport(report).c_str());
        } else {
            std::fputs(textReport(report).c_str(), stdout);
        }
    }
    if (json)
        std::fputs("\n]\n", stdout);
    return status;
}
