#pragma once
// Scratch files for the PCD reader tests.

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace pcdtest {

inline std::string scratchPath(const std::string& name)
{
    const auto dir = std::filesystem::temp_directory_path() / "nimbus_pcd_tests";
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

inline std::string writeScratch(const std::string& name, const std::string& bytes)
{
    const std::string path = scratchPath(name);
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
    return path;
}

template <typename T> void append(std::string& out, T value)
{
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out.append(bytes, sizeof value);
}

inline std::string sharedTestData(const std::string& relative)
{
    return std::string(QUILLFEN_SOURCE_DIR "/../shared/testdata/") + relative;
}

} // namespace pcdtest
