#include "path_text.h"

namespace tarn3d {

namespace {
bool isSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}
} // namespace

QString joinPath(const QString& dir, const QString& name)
{
    if (dir.isEmpty() || isSeparator(dir.back()))
        return dir + name;
    return dir + QLatin1Char('/') + name;
}

QString normalizedEntry(const QString& entry)
{
    QString text = entry;
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (text.size() > 1 && text.endsWith(QLatin1Char('/')))
        text.chop(1);
    return text;
}

QString lastComponent(const QString& entry)
{
    return normalizedEntry(entry).section(QLatin1Char('/'), -1);
}

bool endsWithFolder(const QString& entry, const QString& folder)
{
    return normalizedEntry(entry).endsWith(normalizedEntry(folder), Qt::CaseInsensitive);
}

} // namespace tarn3d
