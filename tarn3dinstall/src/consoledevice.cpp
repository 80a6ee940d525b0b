#include "consoledevice.h"

#include "consoletext.h"

namespace tarn3d {

ConsoleDevice::ConsoleDevice(std::FILE* stream, QObject* parent)
    : QIODevice(parent), writer_(quillfen::createConsoleWriter(stream))
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

ConsoleDevice::~ConsoleDevice() = default;

qint64 ConsoleDevice::readData(char* /*data*/, qint64 /*maxSize*/)
{
    return -1;
}

qint64 ConsoleDevice::writeData(const char* data, qint64 size)
{
    return writer_->write(std::string_view(data, static_cast<std::size_t>(size))) ? size : -1;
}

} // namespace tarn3d
