#pragma once
// Reads an ilas file back for the tests through the ilas reader library and
// checks it against every rule of the format.

#include "ilasformat.h"
#include "pointrecord.h"

#include <QString>

#include <array>
#include <string>
#include <vector>

struct IlasContents {
    nimbus::IlasHeader header{};
    std::vector<nimbus::IlasBlockEntry> blocks;
    // Every stored point in absolute coordinates (origin + offset).
    std::vector<std::array<double, 3>> points;
    // The same points as stored: float offsets from the origin.
    std::vector<std::array<float, 3>> offsets;
    // Their colours (red, green, blue), when the file has colour.
    std::vector<std::array<std::uint8_t, 3>> colours;
    std::string problem; // empty when the file is a complete, consistent ilas file
};

IlasContents readIlas(const QString& path);

// Writes `content` to `path`, creating folders as needed.
void writeFile(const QString& path, const QByteArray& content);
