// The job flow of Fresco::start: one off-screen viewer per call, every tile
// of every set rendered straight down, the pictures of a set mosaicked into
// its rasters.
#include "fresco.h"

#include "bboxcomputer.h"
#include "errorguard.h"
#include "logfile.h"
#include "orthoviewer.h"
#include "tileset.h"
#include "viewpolygon.h"

#include <osg/StateSet>
#include <osgDB/ReadFile>
#include <osgDB/Registry>

#include <atomic>
#include <cmath>
#include <memory>

namespace {

constexpr double kFltMax = 3.4028234663852886e38;

// The scene graph's reader settings and the render index are process-wide,
// so only one job may run in a process at a time. Held for the whole call.
class JobSlot
{
public:
    JobSlot() : m_acquired(!running().exchange(true)) {}
    ~JobSlot()
    {
        if (m_acquired)
            running().store(false);
    }
    JobSlot(const JobSlot &) = delete;
    JobSlot &operator=(const JobSlot &) = delete;

    bool acquired() const { return m_acquired; }

private:
    static std::atomic<bool> &running()
    {
        static std::atomic<bool> flag{false};
        return flag;
    }
    bool m_acquired;
};

} // namespace

void Fresco::start(QStringList entries, QString outputFolder)
{
    fresco::ErrorGuard guard(m_errorCallback, QStringLiteral("Fresco::start"));

    JobSlot slot;
    if (!slot.acquired()) {
        errorLog(QStringLiteral("another job is running in this process."));
        return;
    }
    if (!(m_resolution > 0.0) || !std::isfinite(m_resolution)) {
        errorLog(QStringLiteral("invalid resolution: %1").arg(m_resolution));
        return;
    }

    std::unique_ptr<fresco::OrthoViewer> viewer(new fresco::OrthoViewer);
    if (!viewer->isValid()) {
        errorLog(QStringLiteral("init failed."));
        return;
    }

    m_outputFolder = std::move(outputFolder);

    for (const QString &entry : entries) {
        const fresco::TileSetLocation location = fresco::locateTileSet(entry);
        const osg::Vec3d offset = getOffsetFromXML(location.metadataFile);

        const QStringList tiles = fresco::listTileNames(location.dataFolder);
        if (tiles.isEmpty()) {
            errorLog(QStringLiteral("did not find any tile in dir: %1").arg(location.dataFolder));
            return;
        }

        std::map<int, osg::BoundingBoxd> boxes;
        std::map<int, osg::ref_ptr<osg::Image>> pictures;
        osg::BoundingBoxd overall(kFltMax, kFltMax, kFltMax, -kFltMax, -kFltMax, -kFltMax);

        fresco::ReaderPathScope readerPaths(location.root);
        const int count = tiles.size();
        for (int j = 0; j < count; ++j) {
            const float share = static_cast<float>(j) / static_cast<float>(count);
            percent(static_cast<float>(100.0 * static_cast<double>(share)));

            const QString file = fresco::tileRootFile(location.root, tiles.at(j));
            osg::ref_ptr<osg::Node> node = osgDB::readRefNodeFile(
                file.toLocal8Bit().toStdString(), osgDB::Registry::instance()->getOptions());
            if (!node) {
                errorLog(QStringLiteral("read file failed: %1").arg(file));
                continue;
            }
            node->getOrCreateStateSet()->setMode(
                GL_LIGHTING, osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE);

            fresco::BBoxComputer measure;
            node->accept(measure);
            const osg::BoundingBoxd box = measure.box();
            if (!fresco::BBoxComputer::isValid(box)) {
                errorLog(QStringLiteral("box invalid of: %1").arg(file));
                continue;
            }

            viewer->setPixelsPerUnit(static_cast<float>(1.0 / m_resolution));
            viewer->setModel(node);
            viewer->setTopDown(1);
            const int key = renderIndex;
            const bool rendered = viewer->render(key, fresco::viewPolygon(box));
            ++renderIndex;

            // The picture moves into this set's map, so it is freed once the
            // set's rasters are written rather than at the end of the job.
            osg::ref_ptr<osg::Image> picture;
            auto found = viewer->images().find(key);
            if (found != viewer->images().end()) {
                if (rendered)
                    picture = found->second;
                viewer->images().erase(found);
            }
            if (!picture.valid() || !picture->data()) {
                // A tile without a picture is left out of the raster like a
                // tile that could not be read, so that a refused huge tile
                // does not still make the set's raster huge.
                if (viewer->lastPictureTooLarge())
                    errorLog(QStringLiteral("render failed of: %1 (its picture of %2 x %3 pixels "
                                            "exceeds the limit of %4 pixels; use a coarser "
                                            "resolution)")
                                 .arg(file, QString::number(viewer->lastPictureWidth(), 'f', 0),
                                      QString::number(viewer->lastPictureHeight(), 'f', 0),
                                      QString::number(viewer->maxPicturePixels())));
                else
                    errorLog(QStringLiteral("render failed of: %1").arg(file));
                continue;
            }
            // Row 0 becomes the northern edge.
            picture->flipVertical();
            pictures[j] = picture;
            boxes[j] = box;
            overall.expandBy(box);
        }
        readerPaths.restore();
        // Each set has local coordinates of its own: its models would land
        // at the wrong place in the next set's views and paint over them.
        viewer->removeModels();

        combiImages(overall, pictures, boxes, location.baseName, offset, m_splitLen);
    }

    guard.dismiss();
    finish();
    fresco::writeLog("Debug 12");
    viewer.reset();
}
