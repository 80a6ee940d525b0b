#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// The installer is built for one CAD family, chosen at configure time
// (TARN3D_HOST_FAMILY: 0 AutoCAD, 1 ZWCAD, 2 GstarCAD). Every per-family
// constant is a function of the family so the other families' rules stay
// testable in the same build.
#ifndef TARN3D_HOST_FAMILY
#define TARN3D_HOST_FAMILY 0
#endif

namespace tarn3d {

enum class HostFamily { AutoCAD = 0, ZWCAD = 1, GstarCAD = 2 };

constexpr HostFamily configuredFamily()
{
    return static_cast<HostFamily>(TARN3D_HOST_FAMILY);
}
static_assert(TARN3D_HOST_FAMILY >= 0 && TARN3D_HOST_FAMILY <= 2,
              "TARN3D_HOST_FAMILY must be 0 (AutoCAD), 1 (ZWCAD) or 2 (GstarCAD)");

// Word that prefixes the family's product names ("AutoCAD", "ZWCAD", "GCAD").
QString familyWord(HostFamily family);
// Registry roots scanned for the family, in scan order.
QStringList registryRoots(HostFamily family, bool nativeX64);
// The profile key holds the settings group the family needs (exact names).
bool hasProfileSettings(HostFamily family, const QStringList& subkeys);
// One of the value names is the search-path value (ignoring case).
bool hasSearchPathKey(HostFamily family, const QStringList& valueNames);
QString searchPathKey(HostFamily family);
QString loaderListName(HostFamily family);
QString pluginFileName(HostFamily family);
QString profileSettingsPath(HostFamily family, const QString& root, const QString& releaseGroup,
                            const QString& productGroup, const QString& profile);
// Releases that only exist as 32-bit builds (AutoCAD before 2010).
bool isOldRelease(HostFamily family, const QString& year);

// Release group (registry subkey) -> product name, ordered by group name.
QMap<QString, QString> versionCatalogue(HostFamily family);
// Product name -> label shown for OEM installations (ZWCAD only).
QMap<QString, QString> oemLabels(HostFamily family);

// The running-host probe looks for this process whatever the family.
inline QString hostProcessName() { return QStringLiteral("acad.exe"); }

} // namespace tarn3d
