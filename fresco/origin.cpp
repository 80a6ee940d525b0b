#include "origin.h"

#include <QDomDocument>
#include <QDomElement>
#include <QDomNodeList>
#include <QDomText>
#include <QFile>
#include <QStringList>

#include <cmath>

namespace fresco {

namespace {

double coordinate(const QString &part)
{
    bool ok = false;
    const double value = part.trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

} // namespace

bool readSrsOrigin(const QString &xmlPath, osg::Vec3d &origin,
                   const std::function<void(const QString &)> &report)
{
    origin.set(0.0, 0.0, 0.0);

    QFile file(xmlPath);
    QDomDocument document;
    if (!file.open(QIODevice::ReadOnly) || !document.setContent(&file, false)) {
        report(QStringLiteral("parse xml file failed:%1").arg(xmlPath));
        file.close();
        return false;
    }
    file.close();
    return srsOriginOf(document, origin);
}

bool srsOriginOf(const QDomDocument &document, osg::Vec3d &origin)
{
    origin.set(0.0, 0.0, 0.0);
    const QDomNodeList elements =
        document.documentElement().elementsByTagName(QStringLiteral("SRSOrigin"));
    if (elements.isEmpty())
        return false;

    const QString text = elements.at(0).firstChild().toText().data();
    const QStringList parts = text.split(QLatin1Char(','), Qt::KeepEmptyParts);
    // An empty or short origin is treated like a missing one rather than read
    // past the parts that exist.
    if (parts.size() < 3)
        return false;

    origin.set(coordinate(parts.at(0)), coordinate(parts.at(1)), coordinate(parts.at(2)));
    return true;
}

} // namespace fresco
