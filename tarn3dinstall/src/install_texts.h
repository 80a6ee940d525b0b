#pragma once

#include <QString>

// User-facing texts of the installer, shared by the wizard and the
// unattended mode.
namespace tarn3d::texts {

inline QString copying(const QString& fileName) { return QStringLiteral("正在复制 %1\n").arg(fileName); }
inline QString removing(const QString& fileName) { return QStringLiteral("正在卸载 %1\n").arg(fileName); }
inline QString installFailedDetail() { return QStringLiteral("安装失败..."); }
inline QString installDoneDetail() { return QStringLiteral("安装完成..."); }
inline QString uninstallFailedDetail() { return QStringLiteral("卸载失败..."); }
inline QString uninstallDoneDetail() { return QStringLiteral("卸载完成..."); }

inline QString installDone() { return QStringLiteral("安装完成"); }
inline QString installFailed() { return QStringLiteral("安装失败"); }
inline QString uninstallDone() { return QStringLiteral("卸载完成"); }
inline QString uninstallFailed() { return QStringLiteral("卸载失败"); }

inline QString noHostTitle() { return QStringLiteral("提示"); }
inline QString noHostText() { return QStringLiteral("没有安装tarn,无法安装3d模块"); }
inline QString closeHostText() { return QStringLiteral("安装前请关闭当前打开的CAD。"); }
inline QString okButton() { return QStringLiteral("确定"); }

} // namespace tarn3d::texts
