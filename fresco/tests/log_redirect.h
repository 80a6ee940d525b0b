// Gives a test a step log of its own while it is in scope, so tests neither
// mix their lines into the user's log nor read each other's. On Linux the log
// moves to `folder` through $XDG_STATE_HOME. On Windows the library (a DLL
// with its own copy of the log code) asks the system where the log goes, so
// the log stays there: the existing one is set aside meanwhile and put back
// afterwards (the Windows suite runs its tests one at a time).
#pragma once

#include "logfile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>

namespace fresco::testing {

class ScopedLogFolder
{
public:
    explicit ScopedLogFolder(const QString &folder)
    {
#ifdef _WIN32
        (void)folder;
        m_path = QString::fromStdString(fresco::logFilePath());
        m_aside = m_path + QStringLiteral(".aside-%1").arg(QCoreApplication::applicationPid());
        QFile::remove(m_aside);
        if (QFile::exists(m_path))
            QFile::rename(m_path, m_aside);
#else
        m_path = folder + QStringLiteral("/tarn3dLog.txt");
        m_hadState = qEnvironmentVariableIsSet("XDG_STATE_HOME");
        m_savedState = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", folder.toLocal8Bit());
#endif
    }
    ~ScopedLogFolder()
    {
#ifdef _WIN32
        QFile::remove(m_path);
        if (QFile::exists(m_aside))
            QFile::rename(m_aside, m_path);
#else
        if (m_hadState)
            qputenv("XDG_STATE_HOME", m_savedState);
        else
            qunsetenv("XDG_STATE_HOME");
#endif
    }
    ScopedLogFolder(const ScopedLogFolder &) = delete;
    ScopedLogFolder &operator=(const ScopedLogFolder &) = delete;

    // Where the lines go while this object lives.
    QString logPath() const { return m_path; }

private:
    QString m_path;
#ifdef _WIN32
    QString m_aside;
#else
    bool m_hadState = false;
    QByteArray m_savedState;
#endif
};

} // namespace fresco::testing
