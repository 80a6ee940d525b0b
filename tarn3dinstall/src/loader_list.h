#pragma once

#include <QByteArray>

namespace tarn3d {

// The host's loader list file: one module name per line. Other products'
// lines may be in any code page and end in CR LF or LF, so the list is
// handled as bytes: only lines holding our module are looked at or changed,
// and every other byte stays as it was. A line holds the module when it
// equals the name exactly once blanks (and a leading UTF-8 byte order mark)
// are ignored.

// How many lines hold `module`.
int countModuleLines(const QByteArray& list, const QByteArray& module);

// The list with `module` added as a last line ended by CR LF; a CR LF goes
// before it only when the list does not already end with a line end. A list
// that holds the module already comes back unchanged.
QByteArray withModuleLine(const QByteArray& list, const QByteArray& module);

// The list without every line that holds `module`, each with its line end.
QByteArray withoutModuleLines(const QByteArray& list, const QByteArray& module);

} // namespace tarn3d
