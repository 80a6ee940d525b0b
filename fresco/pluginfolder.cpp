#include "pluginfolder.h"

#ifdef _WIN32
#include <osgDB/Registry>

#include <QDir>
#include <QFileInfo>
#include <QString>

#include <iterator>

#include <algorithm>

#define NOMINMAX
#include <windows.h>
#endif

namespace fresco {

void addLibraryFolderToPluginSearch()
{
#ifdef _WIN32
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS
                                | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&addLibraryFolderToPluginSearch), &module))
        return;
    wchar_t name[32768];
    const DWORD length = GetModuleFileNameW(module, name, static_cast<DWORD>(std::size(name)));
    if (length == 0 || length >= std::size(name))
        return;
    const QString file = QString::fromWCharArray(name, static_cast<int>(length));
    const std::string folder =
        QDir::toNativeSeparators(QFileInfo(file).absolutePath()).toLocal8Bit().toStdString();
    osgDB::FilePathList &paths = osgDB::Registry::instance()->getLibraryFilePathList();
    if (std::find(paths.begin(), paths.end(), folder) == paths.end())
        paths.push_back(folder);
#endif
}

} // namespace fresco
