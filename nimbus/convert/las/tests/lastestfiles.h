#pragma once
// Helpers shared by the LAS/LAZ reader tests: paths of the shared sample
// files, whole-file decoding and byte-level file surgery on copies.

#include "lasreader.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace lastest {

// A file of the shared sample set, e.g. sample("testdata/las/laspy/simple.laz").
std::string sample(const char* relative);

QByteArray readBytes(const std::string& path);
void writeBytes(const std::string& path, const QByteArray& bytes);
std::string sha256Hex(const std::uint8_t* data, std::size_t size);

struct Decoded {
    bool opened = false;
    bool failed = false;
    std::string error;
    std::vector<std::uint8_t> records;
    std::vector<nimbus::las::LasPoint> points;
    std::size_t count = 0;
};

// Reads every record (or every point) of a file through LasReader.
Decoded decodeRecords(const std::string& path);
Decoded decodePoints(const std::string& path, unsigned threads);

// Points of both lists are equal field by field (x, y, z, red, green, blue).
bool samePoints(const std::vector<nimbus::las::LasPoint>& a, const std::vector<nimbus::las::LasPoint>& b,
                std::string& where);

} // namespace lastest
