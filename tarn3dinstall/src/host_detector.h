#pragma once

#include "host_family.h"
#include "host_profile.h"
#include "registry_reader.h"

#include <QList>
#include <QMap>
#include <functional>

namespace tarn3d {

// Finds the CAD profiles in which the Tarn plug-in is configured by walking
// the family's registry roots. Borrows the registry; holds no other state.
class HostDetector {
public:
    HostDetector(HostFamily family, const RegistryReader& registry, bool nativeX64,
                 std::function<QString()> programFiles);

    // Every target under every root of the family, in discovery order.
    QList<HostProfile> scanHosts() const;
    // Appends the targets found under one root.
    void scanRoot(const QString& root, bool x86, QList<HostProfile>& profiles) const;

    // Build of the plug-in in a BIN folder, from its marker files:
    // 1 = 32-bit, 0 = 64-bit, 2 = undecided (both or neither marker).
    static int pluginBitness(const QString& binDir);

private:
    bool readProfile(const QString& root, const QString& releaseGroup, const QString& productGroup,
                     const QString& profile, bool oem, HostProfile& record) const;
    void classifyEntries(const QStringList& entries, bool fenn, bool brae, HostProfile& record) const;

    HostFamily family_;
    const RegistryReader& registry_;
    bool nativeX64_;
    std::function<QString()> programFiles_;
};

// Marker files of the plug-in's BIN folder (compared ignoring case).
QString marker32FileName();
QString marker64FileName();

// Combo label of a target, e.g. "Tarn10.1 for AutoCAD2018 x64".
QString targetLabel(const HostProfile& profile, const QMap<QString, QString>& oemLabels);
// Label -> target; a later target with the same label replaces the earlier one.
QMap<QString, HostProfile> labelTargets(const QList<HostProfile>& profiles,
                                        const QMap<QString, QString>& oemLabels);
// The module file is present in the target's BIN folder.
bool moduleFilePresent(const HostProfile& profile, HostFamily family);

} // namespace tarn3d
