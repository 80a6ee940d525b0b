#pragma once

// The form in which the Qt-free libraries take a path held as a QString:
// UTF-8 on Windows (nativepath.h turns it into UTF-16 for the system), the
// file system's own bytes elsewhere.

#include <QFile>
#include <QString>
#include <string>

namespace quillfen {

inline std::string libraryPath(const QString& path)
{
#ifdef Q_OS_WIN
    return path.toUtf8().toStdString();
#else
    return QFile::encodeName(path).toStdString();
#endif
}

} // namespace quillfen
