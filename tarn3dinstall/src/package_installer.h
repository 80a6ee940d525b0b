#pragma once

#include "file_system.h"
#include "host_family.h"
#include "host_profile.h"
#include "operation_observer.h"

#include <QString>
#include <QStringList>
#include <memory>

namespace tarn3d {

// Copies the TARN3D package beside the installer into a target's BIN, SYSTEM
// and BLOCKS folders and adds the module to the loader list, or removes it
// again. Each operation checks the package and the target first and then
// runs as one transaction: on any failure every step is undone, so the
// folders and the list are as they were. Reports through the observer it
// borrows; keeps no state between calls.
class PackageInstaller {
public:
    // Which target folder a copy fills; BLOCKS counts its progress from 1.
    enum class Destination { Bin, System, Blocks };

    // `files` is the disk to work on; null means the real one.
    PackageInstaller(const QString& appDir, HostFamily family, OperationObserver& observer,
                     FileSystem* files = nullptr);

    HostFamily family() const { return family_; }
    // Folder of the package tree: appDir/TARN3D.
    QString packageDir() const;
    // appDir/TARN3D/x86|x64/tarn3d_Dll
    QString binPackageDir(const HostProfile& target) const;
    // appDir/TARN3D/x86|x64/<product>/<module file>
    QString moduleSourcePath(const HostProfile& target) const;
    // The loader list edited for the target (in the Fenn system folder when it has one).
    QString listFilePath(const HostProfile& target) const;

    // Install or update. The details end with "安装完成..." or, after the
    // reason, with "安装失败...". A target without BIN fails without a line.
    bool install(const HostProfile& target);
    // The details end with "卸载完成..." or, after the reason, "卸载失败...".
    bool uninstall(const HostProfile& target);

    // Package files uninstall leaves in BIN because other products share them.
    static QStringList keepList();

private:
    QString appDir_;
    HostFamily family_;
    OperationObserver& observer_;
    std::unique_ptr<FileSystem> ownFiles_;
    FileSystem& files_;
};

// The whole operations as the wizard and the unattended mode run them.
bool installPackage(PackageInstaller& installer, const HostProfile& target);
bool uninstallPackage(PackageInstaller& installer, const HostProfile& target);

// Name of the module in the loader list.
inline QString moduleName() { return QStringLiteral("tarn3D"); }

} // namespace tarn3d
