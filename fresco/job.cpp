// The job flow of Fresco::start: one off-screen viewer per call, every tile
// of every set rendered straight down, the pictures of a set mosaicked into
// its rasters.
#include "fresco.h"

#include "bboxcomputer.h"
#include "errorguard.h"
#include "levelreadcallback.h"
#include "logfile.h"
#include "mosaic.h"
#include "orthoviewer.h"
#include "outputfolder.h"
#include "picturespill.h"
#include "pixelgrid.h"
#include "pluginfolder.h"
#include "setreference.h"
#include "tileset.h"
#include "viewpolygon.h"

#include <osg/StateSet>
#include <osgDB/ReadFile>
#include <osgDB/Registry>

#include <atomic>
#include <climits>
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
    // Only a request made while this job runs may stop it.
    m_stop.requested.store(false);
    // A stop asked for by the host is reported once, without the guard's text.
    const auto stopped = [&] {
        errorLog(QStringLiteral("stopped"));
        guard.dismiss();
    };

    if (!(m_resolution > 0.0) || !std::isfinite(m_resolution)) {
        errorLog(QStringLiteral("invalid resolution: %1").arg(m_resolution));
        return;
    }
    // Rendering a large set takes long; a folder that cannot take its
    // rasters is said before the first tile.
    if (!entries.isEmpty()) {
        const QString problem = fresco::outputFolderProblem(outputFolder);
        if (!problem.isEmpty()) {
            errorLog(QStringLiteral("output folder cannot be written: %1 (%2)")
                         .arg(outputFolder, problem));
            return;
        }
    }

    fresco::addLibraryFolderToPluginSearch();
    std::unique_ptr<fresco::OrthoViewer> viewer(new fresco::OrthoViewer);
    if (!viewer->isValid()) {
        errorLog(QStringLiteral("init failed."));
        return;
    }

    m_outputFolder = std::move(outputFolder);

    viewer->setSupersample(m_supersample);
    for (const QString &entry : entries) {
        const fresco::TileSetLocation location = fresco::locateTileSet(entry);
        const fresco::SetReference reference = readSetMetadata(location.metadataFile);
        const osg::Vec3d offset = reference.origin;
        const QByteArray projection = projectionOfSet(reference, location.metadataFile);
        // Any error while the set is rendered makes its rasters incomplete
        // or misplaced: they must not replace good ones of the same name.
        bool setFailed = !reference.originRead;

        const QStringList tiles = fresco::listTileNames(location.dataFolder);
        if (tiles.isEmpty()) {
            errorLog(QStringLiteral("did not find any tile in dir: %1").arg(location.dataFolder));
            return;
        }

        // Every tile is drawn on the set's pixel grid, covering whole pixels,
        // so its picture goes into the raster without resampling.
        const fresco::PixelGrid grid(m_resolution, offset, m_targetAligned);

        // Pictures wait on disk until the last tile has fixed the raster's
        // size; memory holds one at a time.
        fresco::PictureSpill spill(m_outputFolder);
        osg::BoundingBoxd overall(kFltMax, kFltMax, kFltMax, -kFltMax, -kFltMax, -kFltMax);

        fresco::ReaderPathScope readerPaths(location.root);
        const int count = tiles.size();
        for (int j = 0; j < count; ++j) {
            if (m_stop.requested.load()) {
                stopped();
                return;
            }
            const float share = static_cast<float>(j) / static_cast<float>(count);
            percent(static_cast<float>(100.0 * static_cast<double>(share)));

            const QString file = fresco::tileRootFile(location.root, tiles.at(j));
            osg::ref_ptr<osg::Node> node = osgDB::readRefNodeFile(
                file.toLocal8Bit().toStdString(), osgDB::Registry::instance()->getOptions());
            reportLevelReads(*viewer, file);
            if (!node) {
                errorLog(QStringLiteral("read file failed: %1").arg(file));
                setFailed = true;
                continue;
            }
            node->getOrCreateStateSet()->setMode(
                GL_LIGHTING, osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE);

            fresco::BBoxComputer measure;
            node->accept(measure);
            const osg::BoundingBoxd box = measure.box();
            if (!fresco::BBoxComputer::isValid(box)) {
                errorLog(QStringLiteral("box invalid of: %1").arg(file));
                setFailed = true;
                continue;
            }

            const fresco::PixelRect rect = grid.covering(box);
            const double z = fresco::viewPolygonHeight(box);
            const double west = grid.localX(rect.column);
            const double east = grid.localX(rect.column + rect.columns);
            const double north = grid.localY(rect.row);
            const double south = grid.localY(rect.row + rect.rows);
            const std::vector<osg::Vec3d> view = {
                osg::Vec3d(west, south, z), osg::Vec3d(east, south, z), osg::Vec3d(east, north, z),
                osg::Vec3d(west, north, z)};

            viewer->setPixelsPerUnit(static_cast<float>(1.0 / m_resolution));
            viewer->setModel(node);
            viewer->setTopDown(1);
            osg::ref_ptr<osg::Image> picture;
            if (rect.columns <= INT_MAX && rect.rows <= INT_MAX)
                picture = viewer->render(view, static_cast<int>(rect.columns),
                                         static_cast<int>(rect.rows));
            reportLevelReads(*viewer, file);
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
                setFailed = true;
                continue;
            }
            // Row 0 becomes the northern edge.
            picture->flipVertical();
            // A picture that cannot be kept makes the set's raster
            // impossible; the writing step reports it.
            if (!spill.addPlaced(j, box, rect, picture.get()))
                break;
            overall.expandBy(box);
        }
        readerPaths.restore();
        // Each set has local coordinates of its own: its models would land
        // at the wrong place in the next set's views and paint over them.
        viewer->removeModels();

        QString name = location.baseName;
        if (setFailed) {
            name += QStringLiteral(".partial");
            warningLog(QStringLiteral("errors while rendering %1: its rasters are written as %2 "
                                      "and replace no earlier raster")
                           .arg(location.baseName, name + m_imageFmt));
        }
        if (m_stop.requested.load()
            || writeRasters(grid, overall, spill, name, m_splitLen, projection)
                   == fresco::MosaicResult::Stopped) {
            stopped();
            return;
        }
    }

    guard.dismiss();
    finish();
    fresco::writeLog("Debug 12");
    viewer.reset();
}

void Fresco::reportLevelReads(fresco::OrthoViewer &viewer, const QString &rootFile)
{
    fresco::LevelReadCallback *reads = viewer.levelReads();
    if (!reads)
        return;
    QStringList notes;
    for (const auto &damaged : reads->takeDamagedFiles())
        notes << QStringLiteral("damaged geometry left out (%1 drawables): %2")
                     .arg(damaged.second)
                     .arg(QString::fromLocal8Bit(damaged.first.c_str()));
    for (const std::string &file : reads->takeUnreadLevels()) {
        const QString path = QString::fromLocal8Bit(file.c_str());
        // A root that cannot be read is an error of its own.
        if (path == rootFile)
            continue;
        notes << QStringLiteral("level file could not be read, a coarser level is drawn "
                                "instead: %1")
                     .arg(path);
    }
    for (const QString &note : notes) {
        fresco::writeLog(note.toLocal8Bit().toStdString());
        warningLog(note);
    }
}

QByteArray Fresco::projectionOfSet(const fresco::SetReference &reference,
                                   const QString &metadataFile)
{
    // Without its origin a set stays in local coordinates, which no named
    // system describes; that failure has been reported already.
    if (!reference.srsFound || !reference.originRead)
        return QByteArray();
    const QByteArray wkt = fresco::projectionWkt(reference.srsText);
    if (wkt.isEmpty()) {
        const QString note =
            QStringLiteral("coordinate system not understood, rasters written without one: %1 (%2)")
                .arg(reference.srsText, metadataFile);
        fresco::writeLog(note.toLocal8Bit().toStdString());
        warningLog(note);
    }
    return wkt;
}
