#pragma once
// What ilasinfo prints about one file: the summary, the block table and the
// check result, as aligned text or as one JSON object per file.

#include "ilascheck.h"
#include "ilasreader.h"

#include <string>

namespace nimbus::ilas {

// The first broken rule of the whole file (none when it passes), checking
// the blocks in parallel; the lowest failing block is the one named.
Problem checkFileInParallel(const IlasReader& reader);

struct FileReport {
    const IlasReader* reader = nullptr;
    bool summary = true;
    bool blocks = false;
    bool check = false;
    Problem checkResult; // when `check`
    // The coordinate system from the .prj beside the file (WKT, empty when
    // there is none), or why that file could not be read.
    std::string coordinateSystem;
    std::string coordinateSystemError;
};

// "1 block", "2 blocks": `count` and the noun, plural unless one.
std::string counted(std::int64_t count, const char* noun);

std::string textReport(const FileReport& report);
// One JSON object: "file", "state", then "summary", "blocks", "check" as asked.
std::string jsonReport(const FileReport& report);

} // namespace nimbus::ilas
