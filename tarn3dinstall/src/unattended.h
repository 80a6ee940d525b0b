#pragma once

#include "platform.h"

#include <QStringList>
#include <QTextStream>

namespace tarn3d {

// Exit codes of the unattended mode.
enum UnattendedExit { ExitSuccess = 0, ExitFailure = 1, ExitNoTarget = 2 };

// The command line asks for the unattended mode (some argument starts with "--").
bool isUnattendedCommandLine(int argc, char** argv);

// Runs "--list", "--install LABEL" or "--uninstall LABEL" (also written
// "--install=LABEL"), "--help" or "--version" without a window. Details go
// to out; reasons for a failure and usage errors (one line ending in
// "see --help") to err.
// Returns 0 on success, 1 when the operation fails or the host is running,
// 2 when the label is unknown, no target exists or the command line is wrong.
int runUnattended(const QStringList& arguments, const Platform& platform, QTextStream& out, QTextStream& err);

} // namespace tarn3d
