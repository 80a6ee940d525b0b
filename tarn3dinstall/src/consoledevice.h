#pragma once

#include <QIODevice>
#include <cstdio>
#include <memory>

namespace quillfen {
class ConsoleWriter;
}

namespace tarn3d {

// A write-only device over stdout or stderr for a QTextStream set to UTF-8:
// the bytes reach the console as wide text on Windows and stay UTF-8 in
// pipes and files (see consoletext.h).
class ConsoleDevice : public QIODevice {
public:
    explicit ConsoleDevice(std::FILE* stream, QObject* parent = nullptr);
    ~ConsoleDevice() override;
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    std::unique_ptr<quillfen::ConsoleWriter> writer_;
};

} // namespace tarn3d
