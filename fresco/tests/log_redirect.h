// Sends the step log to a folder of the test's own while it is in scope, so
// tests neither touch the user's log nor read each other's lines: through
// $XDG_STATE_HOME on Linux, through a log location without a usable drive D:
// on Windows.
#pragma once

#include "logfile.h"

#include <QByteArray>
#include <QString>

namespace fresco::testing {

class ScopedLogFolder : public fresco::LogLocation
{
public:
    explicit ScopedLogFolder(const QString &folder) : m_folder(folder)
    {
#ifdef _WIN32
        fresco::setLogLocation(this);
#else
        m_hadState = qEnvironmentVariableIsSet("XDG_STATE_HOME");
        m_savedState = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", folder.toLocal8Bit());
#endif
    }
    ~ScopedLogFolder() override
    {
#ifdef _WIN32
        fresco::setLogLocation(nullptr);
#else
        if (m_hadState)
            qputenv("XDG_STATE_HOME", m_savedState);
        else
            qunsetenv("XDG_STATE_HOME");
#endif
    }
    ScopedLogFolder(const ScopedLogFolder &) = delete;
    ScopedLogFolder &operator=(const ScopedLogFolder &) = delete;

    bool fixedPathUsable() const override { return false; }
    QString localDataFolder() const override { return m_folder; }

    // Where the lines go while this object lives.
    QString logPath() const { return m_folder + QStringLiteral("/tarn3dLog.txt"); }

private:
    QString m_folder;
    bool m_hadState = false;
    QByteArray m_savedState;
};

} // namespace fresco::testing
