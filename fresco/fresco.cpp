#include "fresco.h"

#include "errorguard.h"
#include "mosaic.h"
#include "origin.h"
#include "pixelgrid.h"
#include "setreference.h"

#include <utility>

Fresco::Fresco()
    : m_imageFmt(QStringLiteral(".tif")),
      m_background(0),
      m_resolution(0.2),
      m_splitLen(0.0)
{
}

Fresco::Fresco(const Fresco &other) = default;
Fresco &Fresco::operator=(const Fresco &other) = default;
Fresco::~Fresco() = default;

// Spelled out because not every standard library marks the moves of
// std::function noexcept, and moving must not throw for the host's containers.
Fresco::Fresco(Fresco &&other) noexcept
    : m_outputFolder(std::move(other.m_outputFolder)),
      m_imageFmt(std::move(other.m_imageFmt)),
      m_background(other.m_background),
      m_resolution(other.m_resolution),
      m_splitLen(other.m_splitLen),
      m_percentCallback(std::move(other.m_percentCallback)),
      m_finishCallback(std::move(other.m_finishCallback)),
      m_errorCallback(std::move(other.m_errorCallback)),
      m_creationOptions(std::move(other.m_creationOptions)),
      m_overviews(other.m_overviews),
      m_mask(other.m_mask),
      m_warningCallback(std::move(other.m_warningCallback)),
      m_supersample(other.m_supersample),
      m_targetAligned(other.m_targetAligned),
      m_writtenCallback(std::move(other.m_writtenCallback))
{
}

Fresco &Fresco::operator=(Fresco &&other) noexcept
{
    m_outputFolder = std::move(other.m_outputFolder);
    m_imageFmt = std::move(other.m_imageFmt);
    m_background = other.m_background;
    m_resolution = other.m_resolution;
    m_splitLen = other.m_splitLen;
    m_percentCallback = std::move(other.m_percentCallback);
    m_finishCallback = std::move(other.m_finishCallback);
    m_errorCallback = std::move(other.m_errorCallback);
    m_creationOptions = std::move(other.m_creationOptions);
    m_overviews = other.m_overviews;
    m_mask = other.m_mask;
    m_warningCallback = std::move(other.m_warningCallback);
    m_supersample = other.m_supersample;
    m_targetAligned = other.m_targetAligned;
    m_writtenCallback = std::move(other.m_writtenCallback);
    return *this;
}

void Fresco::setBackground(int background)
{
    m_background = background;
}

void Fresco::setResolution(double resolution)
{
    m_resolution = resolution;
}

void Fresco::setSplitLen(double splitLen)
{
    m_splitLen = splitLen;
}

void Fresco::setImageFmt(QString fmt)
{
    m_imageFmt = std::move(fmt);
    if (m_imageFmt != QLatin1String(".img") && m_imageFmt != QLatin1String(".tif"))
        m_imageFmt = QStringLiteral(".tif");
}

void Fresco::setPercentCallback(std::function<void(float)> callback)
{
    m_percentCallback = std::move(callback);
}

void Fresco::setFinishCallback(std::function<void()> callback)
{
    m_finishCallback = std::move(callback);
}

void Fresco::setErrorLog(std::function<void(QString)> callback)
{
    m_errorCallback = std::move(callback);
}

void Fresco::setCreationOptions(QStringList options)
{
    m_creationOptions = std::move(options);
}

void Fresco::setOverviews(bool build)
{
    m_overviews = build;
}

void Fresco::setMask(bool write)
{
    m_mask = write;
}

void Fresco::setWarningLog(std::function<void(QString)> callback)
{
    m_warningCallback = std::move(callback);
}

void Fresco::setSupersample(int n)
{
    m_supersample = n < 1 ? 1 : (n > 16 ? 16 : n);
}

void Fresco::setWrittenLog(std::function<void(QString)> callback)
{
    m_writtenCallback = std::move(callback);
}

void Fresco::setTargetAlignedPixels(bool aligned)
{
    m_targetAligned = aligned;
}

void Fresco::requestStop()
{
    m_stop.requested.store(true);
}

void Fresco::warningLog(const QString &text)
{
    if (m_warningCallback)
        m_warningCallback(text);
}

void Fresco::errorLog(QString text)
{
    if (m_errorCallback)
        m_errorCallback(std::move(text));
}

void Fresco::finish()
{
    if (m_finishCallback)
        m_finishCallback();
}

void Fresco::percent(float value)
{
    if (m_percentCallback)
        m_percentCallback(value);
}

osg::Vec3d Fresco::getOffsetFromXML(const QString &xmlPath)
{
    fresco::ErrorGuard guard(m_errorCallback, QStringLiteral("Fresco::getOffsetFromXML"));
    osg::Vec3d origin;
    if (fresco::readSrsOrigin(xmlPath, origin, [this](const QString &text) { errorLog(text); }))
        guard.dismiss();
    return origin;
}

fresco::SetReference Fresco::readSetMetadata(const QString &xmlPath)
{
    // Reports as getOffsetFromXML: the same step of the job.
    fresco::ErrorGuard guard(m_errorCallback, QStringLiteral("Fresco::getOffsetFromXML"));
    fresco::SetReference reference =
        fresco::readSetReference(xmlPath, [this](const QString &text) { errorLog(text); });
    if (reference.originRead)
        guard.dismiss();
    return reference;
}

void Fresco::fillMosaicSettings(fresco::MosaicSettings &settings) const
{
    settings.outputFolder = m_outputFolder;
    settings.imageFmt = m_imageFmt;
    settings.background = m_background;
    settings.resolution = m_resolution;
    settings.creationOptions = m_creationOptions;
    settings.overviews = m_overviews;
    settings.mask = m_mask;
    settings.stop = &m_stop.requested;
    if (m_writtenCallback)
        settings.written = [this](const QString &path) { m_writtenCallback(path); };
}

void Fresco::combiImages(osg::BoundingBoxd &overallBox,
                         std::map<int, osg::ref_ptr<osg::Image>> &pictures,
                         std::map<int, osg::BoundingBoxd> &boxes, QString name,
                         osg::Vec3d offset, double splitLen)
{
    fresco::ErrorGuard guard(m_errorCallback, QStringLiteral("Fresco::combiImages"));
    fresco::MosaicSettings settings;
    fillMosaicSettings(settings);
    if (fresco::writeMosaic(settings, overallBox, pictures, boxes, name, offset, splitLen,
                            [this](const QString &text) { errorLog(text); })
        != fresco::MosaicResult::Failed)
        guard.dismiss();
}

fresco::MosaicResult Fresco::writeRasters(const fresco::PixelGrid &grid,
                                          const osg::BoundingBoxd &overallBox,
                                          fresco::PictureSpill &spill, const QString &name,
                                          double splitLen, const QByteArray &projectionWkt)
{
    // Reports as combiImages does: it is the same step of the job.
    fresco::ErrorGuard guard(m_errorCallback, QStringLiteral("Fresco::combiImages"));
    fresco::MosaicSettings settings;
    fillMosaicSettings(settings);
    settings.projectionWkt = projectionWkt;
    const fresco::MosaicResult result =
        fresco::writeGridMosaic(settings, grid, overallBox, spill, name, splitLen,
                                [this](const QString &text) { errorLog(text); });
    // A stop that was asked for is no failure of this step.
    if (result != fresco::MosaicResult::Failed)
        guard.dismiss();
    return result;
}
