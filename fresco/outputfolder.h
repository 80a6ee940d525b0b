// Whether a job can write its rasters at all, asked before the first tile is
// rendered rather than after the last.
#pragma once

#include <QString>

namespace fresco {

// Empty when files can be created in `folder`; otherwise why not, e.g.
// "it does not exist" or "Permission denied". Creates and removes one
// hidden file to find out.
QString outputFolderProblem(const QString &folder);

} // namespace fresco
