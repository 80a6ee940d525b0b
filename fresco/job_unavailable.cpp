// Stand-in for builds without the off-screen renderer: a job cannot run, so
// start() only says so through the error callback.
#include "fresco.h"

#include <utility>

void Fresco::start(QStringList entries, QString outputFolder)
{
    Q_UNUSED(entries);
    m_outputFolder = std::move(outputFolder);
    errorLog(QStringLiteral("init failed."));
}
