#pragma once

#include <QString>

namespace tarn3d {

// Edits a host's loader list file: one module name per line, local 8-bit
// text, Windows line ends. Every change replaces the file atomically, so a
// crash or a full disk leaves the old file in place, never a truncated one.

// Adds `module` on a new last line unless a line already holds it. Fails when
// the file is missing, unreadable, read-only or cannot be replaced.
bool addModuleLine(const QString& listFile, const QString& module);

// Removes the first line holding `module`; the file is then rewritten with
// every other line trimmed, blank lines dropped and each line ended by a
// line break. A file without the module is left untouched. Fails when the
// file exists but cannot be read or replaced; a missing file is no failure.
bool removeModuleLine(const QString& listFile, const QString& module);

} // namespace tarn3d
