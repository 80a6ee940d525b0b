#include "loader_list.h"

namespace tarn3d {

namespace {

const char kUtf8Bom[] = "\xEF\xBB\xBF";

// One line of the list: [begin, end) is its text, next the start of the
// following line (past the LF).
struct Line {
    int begin;
    int end;
    int next;
};

template <class Visit> void forEachLine(const QByteArray& list, Visit visit)
{
    int begin = list.startsWith(kUtf8Bom) ? 3 : 0;
    while (begin < list.size()) {
        const int lf = list.indexOf('\n', begin);
        const int end = lf < 0 ? list.size() : lf;
        visit(Line{begin, end, lf < 0 ? end : lf + 1});
        begin = lf < 0 ? list.size() : lf + 1;
    }
}

bool holds(const QByteArray& list, const Line& line, const QByteArray& module)
{
    return list.mid(line.begin, line.end - line.begin).trimmed() == module;
}

} // namespace

int countModuleLines(const QByteArray& list, const QByteArray& module)
{
    int count = 0;
    forEachLine(list, [&](const Line& line) {
        if (holds(list, line, module))
            ++count;
    });
    return count;
}

QByteArray withModuleLine(const QByteArray& list, const QByteArray& module)
{
    if (countModuleLines(list, module) > 0)
        return list;
    QByteArray result = list;
    // Without a line end the last line would run into ours, and the next
    // installer that appends would run into ours as well.
    if (!result.isEmpty() && !result.endsWith('\n'))
        result += "\r\n";
    result += module;
    result += "\r\n";
    return result;
}

QByteArray withoutModuleLines(const QByteArray& list, const QByteArray& module)
{
    QByteArray result;
    result.reserve(list.size());
    int copied = 0;
    forEachLine(list, [&](const Line& line) {
        if (!holds(list, line, module))
            return;
        result += list.mid(copied, line.begin - copied);
        copied = line.next;
    });
    result += list.mid(copied);
    return result;
}

} // namespace tarn3d
