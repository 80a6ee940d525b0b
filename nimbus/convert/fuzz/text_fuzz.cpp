// Feeds arbitrary bytes to what the XYZ, DAT and PTS readers do with their
// input: the chunked line reader (through a scratch file, with a chunk small
// enough that lines cross chunks and overlong lines occur) and the field and
// number parsers on every line, each way the readers call them.

#include "linereader.h"
#include "splitline.h"

#include <QFile>
#include <QString>

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

QString scratchPath()
{
    static const QString path = QStringLiteral("/tmp/text_fuzz_%1.xyz").arg(getpid());
    return path;
}

void parseLine(std::string_view line)
{
    double xyz[3];
    for (const char separator : {',', ' '}) {
        (void)nimbus::splitLine(line, separator);
        for (int first : {0, 2})
            (void)nimbus::readThreeFields(line, separator, first, xyz);
        // The fast path reads a run of lines and says where the first ends.
        const char* p = line.data();
        const char* const end = p + line.size();
        while (p < end) {
            const char* lineEnd = end;
            (void)nimbus::readFirstThreeFieldsOfLine(p, end, separator, xyz, &lineEnd);
            if (lineEnd < p || lineEnd > end)
                __builtin_trap(); // a line end outside the text
            p = lineEnd < end ? lineEnd + 1 : end;
        }
    }
    (void)nimbus::readThreeNumbers(line, xyz);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    parseLine(std::string_view(reinterpret_cast<const char*>(data), size));

    QFile scratch(scratchPath());
    if (!scratch.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    scratch.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    scratch.close();
    // Lines one at a time, then runs of lines, as the readers take them.
    nimbus::LineReader reader(64);
    if (!reader.open(scratchPath()))
        __builtin_trap();
    std::string_view text;
    std::uint64_t handed = 0;
    if (reader.next(text)) {
        parseLine(text);
        handed += text.size();
    }
    while (reader.nextLines(text)) {
        if (text.empty())
            __builtin_trap(); // a run holds at least one line
        parseLine(text);
        handed += text.size();
    }
    if (reader.readFailed() || reader.consumed() > reader.fileSize())
        __builtin_trap();
    return 0;
}
