#pragma once

#include "host_family.h"
#include "host_profile.h"
#include "operation_observer.h"

#include <QString>
#include <QStringList>

namespace tarn3d {

// Copies the TARN3D package beside the installer into a target's BIN, SYSTEM
// and BLOCKS folders and edits the loader list, or removes it again.
// Reports through the observer it borrows; keeps no state between calls.
class PackageInstaller {
public:
    // Which target folder a copy fills; BLOCKS counts its progress from 1.
    enum class Destination { Bin, System, Blocks };

    PackageInstaller(const QString& appDir, HostFamily family, OperationObserver& observer);

    HostFamily family() const { return family_; }
    // Folder of the package tree: appDir/TARN3D.
    QString packageDir() const;
    // appDir/TARN3D/x86|x64/tarn3d_Dll
    QString binPackageDir(const HostProfile& target) const;

    bool installFiles(const HostProfile& target);
    bool registerModule(const HostProfile& target, const QString& module, const QString& listName);
    bool uninstallFiles(const HostProfile& target);
    bool unregisterModule(const HostProfile& target, const QString& module, const QString& listName);

    bool copyTree(const QString& destinationRoot, const QString& sourceDir, const QString& subPath,
                  Destination destination);
    bool removeTree(const HostProfile& target, const QString& sourceDir, const QString& subPath);

    // Package files uninstall leaves in BIN because other products share them.
    static QStringList keepList();

private:
    QString listFilePath(const HostProfile& target, const QString& listName) const;

    QString appDir_;
    HostFamily family_;
    OperationObserver& observer_;
};

// The whole operations as the wizard and the unattended mode run them.
// Return true on success; the details end with the result line.
bool installPackage(PackageInstaller& installer, const HostProfile& target);
bool uninstallPackage(PackageInstaller& installer, const HostProfile& target);

// Name of the module in the loader list.
inline QString moduleName() { return QStringLiteral("tarn3D"); }

} // namespace tarn3d
