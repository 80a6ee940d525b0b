#include "partfilelock.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbus {

bool PartFileLock::acquire(const QString& path)
{
    release();
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat opened, named;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &opened) != 0
        || ::stat(name.constData(), &named) != 0 || opened.st_dev != named.st_dev
        || opened.st_ino != named.st_ino) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

void PartFileLock::release()
{
    if (handle_ == kNoHandle)
        return;
    ::close(static_cast<int>(handle_)); // drops the lock
    handle_ = kNoHandle;
}

} // namespace nimbus
