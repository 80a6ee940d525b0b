#include "setreference.h"

#include "origin.h"

#include <QDomDocument>
#include <QDomElement>
#include <QFile>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>

#include <cstdlib>
#include <ogr_spatialref.h>

namespace fresco {

namespace {

// A WKT may carry an EPSG code for a system whose parameters it then changes
// (production sets name "EPSG:4547" over a local central meridian). GeoTIFF
// stores such a system by its code alone, which would move the raster, so
// the code goes when the parameters are not the code's own.
void dropAuthorityThatDisagrees(OGRSpatialReference &srs)
{
    const char *authority = srs.GetAuthorityName(nullptr);
    const char *code = srs.GetAuthorityCode(nullptr);
    if (!authority || !code || !EQUAL(authority, "EPSG"))
        return;
    OGRSpatialReference registered;
    if (registered.importFromEPSG(atoi(code)) == OGRERR_NONE && srs.IsSame(&registered))
        return;
    OGR_SRSNode *root = srs.GetRoot();
    const int child = root ? root->FindChild("AUTHORITY") : -1;
    if (child >= 0)
        root->DestroyChild(child);
}

} // namespace

SetReference readSetReference(const QString &xmlPath,
                              const std::function<void(const QString &)> &report)
{
    SetReference reference;
    QFile file(xmlPath);
    QDomDocument document;
    if (!file.open(QIODevice::ReadOnly) || !document.setContent(&file, false)) {
        report(QStringLiteral("parse xml file failed:%1").arg(xmlPath));
        return reference;
    }
    reference.originRead = srsOriginOf(document, reference.origin);
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
    if (understood)
        dropAuthorityThatDisagrees(srs);
    char *wkt = nullptr;
    const bool exported = understood && srs.exportToWkt(&wkt) == OGRERR_NONE && wkt && *wkt;
    CPLPopErrorHandler();
    const QByteArray result = exported ? QByteArray(wkt) : QByteArray();
    CPLFree(wkt);
    return result;
}

} // namespace fresco
