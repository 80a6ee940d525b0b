#pragma once

#include <QDir>
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

inline QString keptShared(const QString& fileName)
{
    return QStringLiteral("保留 %1（其他产品共用的运行库）\n").arg(fileName);
}
inline QString kept(const QString& fileName) { return QStringLiteral("保留 %1\n").arg(fileName); }
inline QString notInstalled() { return QStringLiteral("TARN3D 模块未安装，没有要卸载的文件。\n"); }

// Why an operation stopped; paths are shown in the system's own form.
inline QString shown(const QString& path) { return QDir::toNativeSeparators(path); }
inline QString packageIncomplete(const QString& path)
{
    return QStringLiteral("安装包不完整，缺少 %1\n").arg(shown(path));
}
inline QString noTargetFolder(const QString& what) { return QStringLiteral("目标没有 %1 文件夹\n").arg(what); }
inline QString listMissing(const QString& path) { return QStringLiteral("找不到加载列表 %1\n").arg(shown(path)); }
inline QString readOnly(const QString& path)
{
    return QStringLiteral("%1 是只读文件，未做任何更改\n").arg(shown(path));
}
inline QString folderInTheWay(const QString& path)
{
    return QStringLiteral("%1 是文件夹，不能替换，未做任何更改\n").arg(shown(path));
}
inline QString cannotRead(const QString& path, const QString& reason)
{
    return QStringLiteral("无法读取 %1：%2\n").arg(shown(path), reason);
}
inline QString cannotCreateFolder(const QString& path, const QString& reason)
{
    return QStringLiteral("无法创建文件夹 %1：%2\n").arg(shown(path), reason);
}
inline QString cannotWrite(const QString& path, const QString& reason)
{
    return QStringLiteral("无法写入 %1：%2\n").arg(shown(path), reason);
}
inline QString cannotBackUp(const QString& path, const QString& reason)
{
    return QStringLiteral("无法备份 %1：%2\n").arg(shown(path), reason);
}
inline QString cannotMove(const QString& path, const QString& reason)
{
    return QStringLiteral("无法移动 %1：%2\n").arg(shown(path), reason);
}
inline QString cannotReplace(const QString& path, const QString& reason)
{
    return QStringLiteral("无法替换 %1：%2\n").arg(shown(path), reason);
}
inline QString partlyDeleted() { return QStringLiteral("其中部分内容无法删除"); }
inline QString undone() { return QStringLiteral("已撤销本次的全部更改。\n"); }
inline QString notRestored(const QString& path, const QString& oldCopy, const QString& reason)
{
    if (oldCopy.isEmpty())
        return QStringLiteral("无法恢复 %1：%2\n").arg(shown(path), reason);
    return QStringLiteral("无法恢复 %1（原文件在 %2）：%3\n").arg(shown(path), shown(oldCopy), reason);
}
inline QString leftBehind(const QString& path, const QString& reason)
{
    return QStringLiteral("无法删除 %1：%2\n").arg(shown(path), reason);
}

inline QString installDone() { return QStringLiteral("安装完成"); }
inline QString installFailed() { return QStringLiteral("安装失败"); }
inline QString uninstallDone() { return QStringLiteral("卸载完成"); }
inline QString uninstallFailed() { return QStringLiteral("卸载失败"); }

inline QString noHostTitle() { return QStringLiteral("提示"); }
inline QString noHostText() { return QStringLiteral("没有安装tarn,无法安装3d模块"); }
inline QString closeHostText() { return QStringLiteral("安装前请关闭当前打开的CAD。"); }
inline QString okButton() { return QStringLiteral("确定"); }

} // namespace tarn3d::texts
