// Stand-in used when the LAS/LAZ reader is not part of the build: LAS and
// LAZ inputs fail with a clear reason instead of being skipped silently.

#include "readers.h"
#include "readersession.h"

namespace nimbus {

bool convertLasFile(FastConvertor* convertor, QString path)
{
    ReaderSession session(convertor, path, QStringLiteral("准备中:"));
    return session.fail(QStringLiteral("LAS/LAZ support is not built"));
}

} // namespace nimbus
