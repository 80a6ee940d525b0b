#pragma once

#include <QString>
#include <QStringList>
#include <memory>

namespace tarn3d {

// Read-only view of the current user's registry hive. Keys are addressed by
// their full path ("HKEY_CURRENT_USER\Software\..."); missing keys and values
// read as empty, never as an error.
class RegistryReader {
public:
    virtual ~RegistryReader() = default;
    // Names of the direct subkeys, sorted by plain string comparison.
    virtual QStringList subkeys(const QString& keyPath) const = 0;
    // Names of the key's values, sorted by plain string comparison.
    virtual QStringList valueNames(const QString& keyPath) const = 0;
    // The value's text (value names are matched ignoring case).
    virtual QString readString(const QString& keyPath, const QString& valueName) const = 0;
};

// The registry the program reads: the native hive in the Windows program;
// the recorded one below on other systems and in the programs built for
// tests (TARN3D_RECORDED_REGISTRY), so no test ever reads or changes the
// real hive. Defined by system_registry.cpp, which each program compiles
// itself.
std::unique_ptr<RegistryReader> createSystemRegistry(QString* error = nullptr);

// The export file named by TARN3D_REGISTRY_FILE (none set: an empty
// registry). A file that cannot be read yields an empty registry and a
// message in *error when error is given.
std::unique_ptr<RegistryReader> createRecordedRegistry(QString* error = nullptr);

#ifdef Q_OS_WIN
// The current user's hive of this machine.
std::unique_ptr<RegistryReader> createNativeRegistry();
#endif

} // namespace tarn3d
