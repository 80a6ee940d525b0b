#include "setreference.h"

#include "origin.h"

#include <QDomDocument>
#include <QDomElement>
#include <QFile>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <ogr_spatialref.h>

namespace fresco {

SetReference readSetReference(const QString &xmlPath)
{
    SetReference reference;
    osg::Vec3d origin;
    reference.originRead = readSrsOrigin(xmlPath, origin, [](const QString &) {});

    QFile file(xmlPath);
    QDomDocument document;
    if (!file.open(QIODevice::ReadOnly) || !document.setContent(&file, false))
        return reference;
    const QDomNodeList elements =
        document.documentElement().elementsByTagName(QStringLiteral("SRS"));
    if (elements.isEmpty())
        return reference;
    reference.srsText = elements.at(0).toElement().text().trimmed();
    reference.srsFound = !reference.srsText.isEmpty();
    return reference;
}

QByteArray projectionWkt(const QString &srsText)
{
    const QString text = srsText.trimmed();
    if (text.isEmpty() || text.contains(QStringLiteral("://")))
        return QByteArray();
    OGRSpatialReference srs;
    CPLPushErrorHandler(CPLQuietErrorHandler);
    const bool understood = srs.SetFromUserInput(text.toUtf8().constData()) == OGRERR_NONE;
    char *wkt = nullptr;
    const bool exported = understood && srs.exportToWkt(&wkt) == OGRERR_NONE && wkt && *wkt;
    CPLPopErrorHandler();
    const QByteArray result = exported ? QByteArray(wkt) : QByteArray();
    CPLFree(wkt);
    return result;
}

} // namespace fresco
