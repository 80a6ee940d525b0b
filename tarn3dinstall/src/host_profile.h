#pragma once

#include <QString>

namespace tarn3d {

// One install target: a CAD profile whose support search path points at the
// Tarn plug-in's folders. Plain value record, copied freely.
struct HostProfile {
    QString productName;    // catalogue name, e.g. "AutoCAD2018"; also the package subfolder
    QString profileName;    // registry profile name after the KOV and OEM rewrites
    QString binDir;         // plug-in BIN folder (search-path entry)
    QString systemDir;      // plug-in SYSTEM folder (search-path entry)
    QString blocksDir;      // plug-in BLOCKS folder; may be empty
    QString extraSystemDir; // Fenn products: the Fenn system folder holding the loader list
    bool x86 = false;       // 32-bit host: the 32-bit package goes in
    bool oem = false;       // found under the OEM registry root
};

} // namespace tarn3d
