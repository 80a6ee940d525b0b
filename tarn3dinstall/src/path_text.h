#pragma once

#include <QString>

namespace tarn3d {

// Search-path entries come from Windows and use either separator; these
// helpers treat '\' and '/' alike.

// "dir" + separator + "name", without doubling a separator dir already ends with.
QString joinPath(const QString& dir, const QString& name);
// The entry with '\' turned into '/' and trailing separators dropped.
QString normalizedEntry(const QString& entry);
// The last component of an entry (its directory name), trailing separators ignored.
QString lastComponent(const QString& entry);
// The entry ends with the relative folder name, separators compared alike, ignoring case.
bool endsWithFolder(const QString& entry, const QString& folder);

} // namespace tarn3d
