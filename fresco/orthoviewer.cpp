#include "orthoviewer.h"

#include "idlerenderer.h"
#include "levelreadcallback.h"
#include "logfile.h"

#include <osg/ClipPlane>
#include <osg/DisplaySettings>
#include <osg/Notify>
#include <osg/Viewport>
#include <osgDB/DatabasePager>
#include <osgDB/Registry>

#include <osg/Group>

#include <algorithm>
#include <climits>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iostream>
#include <limits>
#include <thread>

namespace fresco {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Number of parts of at most `surface` pixels that cover `total` pixels; all
// but the last are full size.
int partCount(int total, int surface)
{
    return (total + surface - 1) / surface;
}

// An X server started without -noreset resets when its last client leaves
// and refuses connections for a moment; under load that moment can last
// seconds. Context creation is retried for this long.
constexpr double kContextRetrySeconds = 15.0;

// Creates a context from the traits `make` returns, retrying with growing
// pauses; the windowing system's complaints about each failed attempt are
// silenced ("init failed." says it once).
template <typename MakeTraits>
osg::ref_ptr<osg::GraphicsContext> createContextPatiently(MakeTraits make,
                                                          osg::ref_ptr<osg::GraphicsContext::Traits> &traits)
{
    const osg::NotifySeverity notifyLevel = osg::getNotifyLevel();
    osg::setNotifyLevel(osg::FATAL);
    osg::ref_ptr<osg::GraphicsContext> context;
    const Clock::time_point started = Clock::now();
    int pauseMs = 20;
    for (;;) {
        traits = make();
        context = osg::GraphicsContext::createGraphicsContext(traits.get());
        if (context.valid() || secondsSince(started) > kContextRetrySeconds)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        pauseMs = std::min(pauseMs * 2, 500);
    }
    osg::setNotifyLevel(notifyLevel);
    return context;
}

osg::ref_ptr<osg::GraphicsContext::Traits> surfaceTraits(osg::DisplaySettings *display,
                                                         const OrthoViewerSettings &settings)
{
    osg::ref_ptr<osg::GraphicsContext::Traits> traits = new osg::GraphicsContext::Traits(display);
    unsigned int width = 1024;
    unsigned int height = 1024;
    if (osg::GraphicsContext::WindowingSystemInterface *wsi =
            osg::GraphicsContext::getWindowingSystemInterface()) {
        osg::GraphicsContext::ScreenIdentifier screen;
        screen.readDISPLAY();
        screen.setUndefinedScreenDetailsToDefaultScreen();
        unsigned int screenWidth = 0;
        unsigned int screenHeight = 0;
        wsi->getScreenResolution(screen, screenWidth, screenHeight);
        if (screenWidth > 0 && screenHeight > 0) {
            width = screenWidth;
            height = screenHeight;
        }
    }
    if (settings.maxSurfaceWidth > 0)
        width = std::min<unsigned int>(width, static_cast<unsigned int>(settings.maxSurfaceWidth));
    if (settings.maxSurfaceHeight > 0)
        height = std::min<unsigned int>(height, static_cast<unsigned int>(settings.maxSurfaceHeight));
    traits->x = 0;
    traits->y = 0;
    traits->width = static_cast<int>(width);
    traits->height = static_cast<int>(height);
    traits->pbuffer = true;
    traits->readDISPLAY();
    traits->setUndefinedScreenDetailsToDefaultScreen();
    return traits;
}

} // namespace

OrthoViewer::OrthoViewer(const OrthoViewerSettings &settings)
    : m_settings(settings)
{
    osg::DisplaySettings *display = osg::DisplaySettings::instance().get();
    m_savedThreadHint = display->getNumOfDatabaseThreadsHint();
    display->setNumOfDatabaseThreadsHint(2);

    // Every node read while this viewer lives passes through the level
    // callback, the tile roots read by the job included.
    osgDB::Registry *registry = osgDB::Registry::instance();
    m_levelReads = new LevelReadCallback(registry->getReadFileCallback());
    registry->setReadFileCallback(m_levelReads.get());

    m_viewer = new osgViewer::Viewer;

    // A one-pixel surface opened first holds a connection to the display
    // for the viewer's whole life, so the server cannot reset under the job
    // (asking the screen's size opens and closes a connection of its own).
    osg::ref_ptr<osg::GraphicsContext::Traits> traits;
    m_keeper = createContextPatiently(
        [display] {
            osg::ref_ptr<osg::GraphicsContext::Traits> small = new osg::GraphicsContext::Traits(display);
            small->width = 1;
            small->height = 1;
            small->pbuffer = true;
            small->readDISPLAY();
            small->setUndefinedScreenDetailsToDefaultScreen();
            return small;
        },
        traits);
    if (m_keeper.valid())
        m_context = createContextPatiently([&] { return surfaceTraits(display, m_settings); }, traits);
    if (!m_context.valid()) {
        std::cout << "init failed." << std::endl;
        return;
    }
    m_surfaceWidth = traits->width;
    m_surfaceHeight = traits->height;

    m_camera = new osg::Camera;
    // Transparent: the alpha of a picture tells what was drawn, whatever
    // its colour (black shadow and water included).
    m_camera->setClearColor(osg::Vec4(0.0f, 0.0f, 0.0f, 0.0f));
    // A camera made here lacks the default state a view gives its own, depth
    // testing above all: without it overlapping surfaces would show in
    // drawing order instead of the topmost.
    m_camera->getOrCreateStateSet()->setGlobalDefaults();
    m_camera->setGraphicsContext(m_context.get());
    m_camera->setViewport(new osg::Viewport(0, 0, traits->width, traits->height));
    // The surface's own visual is left as it is (some drivers refuse an
    // alpha channel on it): the view is drawn into an RGBA frame buffer
    // object whose pixels land in m_target after each drawn frame.
    m_camera->setRenderTargetImplementation(osg::Camera::FRAME_BUFFER_OBJECT);
    m_target = new osg::Image;
    m_target->allocateImage(traits->width, traits->height, 1, GL_RGBA, GL_UNSIGNED_BYTE, 1);
    m_target->setInternalTextureFormat(GL_RGBA8);
    m_camera->attach(osg::Camera::COLOR_BUFFER, m_target.get());
    m_camera->attach(osg::Camera::DEPTH_BUFFER, GL_DEPTH_COMPONENT24);
    m_viewer->setCamera(m_camera.get());

    if (osgDB::DatabasePager *pager = m_viewer->getDatabasePager()) {
        pager->setDoPreCompile(false);
        pager->setTargetMaximumNumberOfPageLOD(100);
    }

    m_renderer = new IdleRenderer(m_camera.get());
    m_camera->setRenderer(m_renderer.get());
    m_viewer->setThreadingModel(osgViewer::ViewerBase::SingleThreaded);

    m_clipNode = new osg::ClipNode;
}

OrthoViewer::~OrthoViewer()
{
    writeLog("Debug 13");
    osg::DisplaySettings::instance()->setNumOfDatabaseThreadsHint(m_savedThreadHint);

    writeLog("Debug 14");
    // The pager's threads must be done with the scene before it goes.
    if (osgDB::DatabasePager *pager = m_viewer.valid() ? m_viewer->getDatabasePager() : nullptr)
        pager->cancel();
    writeLog("Debug 15");
    if (m_clipNode.valid())
        m_clipNode->removeChildren(0, m_clipNode->getNumChildren());
    writeLog("Debug 16");
    if (m_viewer.valid())
        m_viewer->setSceneData(nullptr);
    m_clipNode = nullptr;

    writeLog("Debug 17");
    osg::ref_ptr<osg::Camera> camera = m_camera;
    m_camera = nullptr;
    writeLog("Debug 18");
    // The view gets a bare camera of its own, so destroying the viewer later
    // touches neither the context nor the renderer released here.
    if (m_viewer.valid() && camera.valid())
        m_viewer->setCamera(new osg::Camera);
    writeLog("Debug 19");
    m_renderer = nullptr;
    writeLog("Debug 20");
    writeLog("Debug 21");
    if (camera.valid())
        camera->detach(osg::Camera::COLOR_BUFFER);
    m_target = nullptr;
    writeLog("Debug 22");
    if (m_context.valid())
        m_context->close();
    writeLog("Debug 23");
    if (camera.valid())
        camera->setGraphicsContext(nullptr);
    writeLog("Debug 24");
    if (camera.valid())
        camera->setRenderer(nullptr);
    writeLog("Debug 25");
    camera = nullptr;
    writeLog("Debug 26");
    m_context = nullptr;
    m_viewer = nullptr;
    if (m_keeper.valid())
        m_keeper->close();
    m_keeper = nullptr;
    // Only now, with the pager gone, can no read be inside the callback.
    osgDB::Registry *registry = osgDB::Registry::instance();
    if (registry->getReadFileCallback() == m_levelReads.get())
        registry->setReadFileCallback(m_levelReads->next());
    m_levelReads = nullptr;
}

void OrthoViewer::setModel(osg::ref_ptr<osg::Node> node)
{
    if (!isValid())
        return;
    if (node.valid())
        m_clipNode->addChild(node.get());
    if (m_viewer->getSceneData() != m_clipNode.get())
        m_viewer->setSceneData(m_clipNode.get());
    if (!m_viewer->isRealized())
        m_viewer->realize();
}

void OrthoViewer::removeModels()
{
    if (m_clipNode.valid())
        m_clipNode->removeChildren(0, m_clipNode->getNumChildren());
}

bool OrthoViewer::fitPolygon(const std::vector<osg::Vec3d> &polygon)
{
    const std::size_t count = polygon.size();
    if (count < 3) {
        std::cout << "num of points is less than 3." << std::endl;
        return false;
    }
    for (const osg::Vec3d &point : polygon) {
        if (!point.valid())
            return false;
    }

    // Area normal, summed in single precision.
    osg::Vec3f sum(0.0f, 0.0f, 0.0f);
    const osg::Vec3f last(polygon[count - 1]);
    for (std::size_t i = 0; i < count; ++i) {
        const osg::Vec3f current(polygon[i]);
        const osg::Vec3f next(polygon[(i + 1) % count]);
        sum += (current - last) ^ (next - current);
    }
    osg::Vec3f normal32 = sum;
    const osg::Vec3f up(0.0f, 0.0f, 1.0f);
    // A polygon without area (a tile flat in x or y) is framed as level.
    if (normal32.normalize() == 0.0f || normal32 * up > 0.3f)
        normal32 = up;
    const osg::Vec3d normal(normal32);

    osg::Vec3d a;
    osg::Vec3d b;
    bool haveEdge = false;
    if (m_topDown) {
        for (std::size_t i = 0; i < count && !haveEdge; ++i) {
            const osg::Vec3d &from = polygon[(i + count - 1) % count];
            const osg::Vec3d &to = polygon[i];
            osg::Vec3d direction = to - from;
            if (direction.normalize() > 0.0 && direction.x() >= 0.9999) {
                a = from;
                b = to;
                haveEdge = true;
            }
        }
        if (!haveEdge) {
            // No edge runs east (a tile without width): keep east as x.
            a = polygon[0];
            b = polygon[0] + osg::Vec3d(1.0, 0.0, 0.0);
            haveEdge = true;
        }
    } else {
        double longest = -1.0;
        for (std::size_t i = 0; i < count; ++i) {
            const osg::Vec3d &from = polygon[(i + count - 1) % count];
            const osg::Vec3d &to = polygon[i];
            const double length = (to - from).length();
            if (length > longest) {
                longest = length;
                a = from;
                b = to;
            }
        }
    }

    osg::Vec3d uAxis = b - a;
    uAxis.normalize();
    osg::Vec3f vAxis32 = normal32 ^ osg::Vec3f(b - a);
    vAxis32.normalize();
    const osg::Vec3d vAxis(vAxis32);

    double uMin = 0, uMax = 0, vMin = 0, vMax = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const osg::Vec3d offset = polygon[i] - a;
        const double u = offset * uAxis;
        const double v = offset * vAxis;
        if (i == 0 || u < uMin) uMin = u;
        if (i == 0 || u > uMax) uMax = u;
        if (i == 0 || v < vMin) vMin = v;
        if (i == 0 || v > vMax) vMax = v;
    }
    const osg::Vec3d centre = a + uAxis * ((uMin + uMax) / 2) + vAxis * ((vMin + vMax) / 2);
    m_halfWidth = (uMax - uMin) / 2;
    m_halfHeight = (vMax - vMin) / 2;

    double depth = -std::numeric_limits<double>::max();
    for (const osg::Vec3d &point : polygon)
        depth = std::max(depth, (point - centre) * normal);
    const osg::Vec3d eye = centre + normal * (depth + m_eyeMargin);

    if (m_clipNode->getNumClipPlanes() > 0)
        m_clipNode->removeClipPlane(0u);
    const osg::Vec3d through = (normal * osg::Vec3d(0.0, 0.0, 1.0) > 0.99562) ? eye + normal * 10.0 : eye;
    m_clipNode->addClipPlane(new osg::ClipPlane(0, osg::Plane(-normal, through)));

    m_camera->setViewMatrixAsLookAt(eye, centre, vAxis);
    return true;
}

bool OrthoViewer::prepare(const std::vector<osg::Vec3d> &polygon)
{
    m_lastPartCount = 0;
    m_lastPictureTooLarge = false;
    m_lastPictureWidth = 0;
    m_lastPictureHeight = 0;
    if (!isValid() || !(m_pixelsPerUnit > 0.0f) || !std::isfinite(m_pixelsPerUnit))
        return false;
    if (!m_viewer->isRealized())
        setModel(nullptr);
    if (!m_viewer->isRealized())
        return false;
    return fitPolygon(polygon);
}

osg::ref_ptr<osg::Image> OrthoViewer::render(const std::vector<osg::Vec3d> &polygon)
{
    if (!prepare(polygon))
        return nullptr;
    const double a = m_halfWidth * m_pixelsPerUnit;
    const double b = m_halfHeight * m_pixelsPerUnit;
    const double limit = static_cast<double>(m_settings.maxPicturePixels);
    if (!(a >= 0 && b >= 0))
        return nullptr;
    m_lastPictureWidth = std::trunc(2 * a + 2);
    m_lastPictureHeight = std::trunc(2 * b + 2);
    if ((2 * a + 2) * (2 * b + 2) > limit || 2 * a + 2 > limit || 2 * b + 2 > limit) {
        m_lastPictureTooLarge = true;
        return nullptr;
    }
    // The projection follows the whole number of pixels, so that pixels stay
    // square and the footprint stays centred.
    m_viewWidth = static_cast<int>(m_lastPictureWidth);
    m_viewHeight = static_cast<int>(m_lastPictureHeight);
    const double p = m_pixelsPerUnit;
    m_projHalfWidth = m_viewWidth / (2 * p);
    m_projHalfHeight = m_viewHeight / (2 * p);
    return drawView();
}

osg::ref_ptr<osg::Image> OrthoViewer::render(const std::vector<osg::Vec3d> &polygon, int width,
                                             int height)
{
    if (width < 1 || height < 1 || !prepare(polygon))
        return nullptr;
    const int n = m_supersample;
    m_lastPictureWidth = static_cast<double>(width) * n;
    m_lastPictureHeight = static_cast<double>(height) * n;
    const double limit = static_cast<double>(m_settings.maxPicturePixels);
    if (m_lastPictureWidth * m_lastPictureHeight > limit || m_lastPictureWidth > INT_MAX / 4
        || m_lastPictureHeight > INT_MAX / 4) {
        m_lastPictureTooLarge = true;
        return nullptr;
    }
    m_viewWidth = width * n;
    m_viewHeight = height * n;
    m_projHalfWidth = m_halfWidth;
    m_projHalfHeight = m_halfHeight;
    osg::ref_ptr<osg::Image> drawn = drawView();
    if (!drawn || n == 1)
        return drawn;

    osg::ref_ptr<osg::Image> picture = new osg::Image;
    picture->allocateImage(width, height, 1, GL_RGBA, GL_UNSIGNED_BYTE, 1);
    if (!picture->data())
        return nullptr;
    const unsigned int samples = static_cast<unsigned int>(n * n);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            // Colours weighted by their coverage, so that a half-covered
            // pixel keeps the model's colour and says "half" in its alpha.
            unsigned int sum[3] = {0, 0, 0};
            unsigned int alpha = 0;
            for (int dy = 0; dy < n; ++dy) {
                const unsigned char *p = drawn->data(column * n, row * n + dy);
                for (int dx = 0; dx < n; ++dx, p += 4) {
                    sum[0] += p[0] * p[3];
                    sum[1] += p[1] * p[3];
                    sum[2] += p[2] * p[3];
                    alpha += p[3];
                }
            }
            unsigned char *out = picture->data(column, row);
            for (int k = 0; k < 3; ++k)
                out[k] = alpha ? static_cast<unsigned char>((sum[k] + alpha / 2) / alpha) : 0;
            out[3] = static_cast<unsigned char>((alpha + samples / 2) / samples);
        }
    }
    return picture;
}

void OrthoViewer::setUpFrameBuffer()
{
    if (m_frameBufferReady)
        return;
    // The frame buffer's storage takes its size from the viewport of the
    // first drawn frame: draw an empty one on the whole surface.
    m_camera->setViewport(0, 0, m_surfaceWidth, m_surfaceHeight);
    osg::ref_ptr<osg::Node> scene = m_viewer->getSceneData();
    m_viewer->setSceneData(new osg::Group);
    m_renderer->setIdle(false);
    m_viewer->renderingTraversals();
    m_renderer->setIdle(true);
    m_viewer->setSceneData(scene.get());
    m_frameBufferReady = true;
}

osg::ref_ptr<osg::Image> OrthoViewer::drawView()
{
    setUpFrameBuffer();
    const int width = m_viewWidth;
    const int height = m_viewHeight;
    const int columns = partCount(width, m_surfaceWidth);
    const int rows = partCount(height, m_surfaceHeight);
    const double left = -m_projHalfWidth;
    const double bottom = -m_projHalfHeight;
    const double spanX = 2 * m_projHalfWidth;
    const double spanY = 2 * m_projHalfHeight;

    osg::ref_ptr<osg::Image> joined = new osg::Image;
    joined->allocateImage(width, height, 1, GL_RGBA, GL_UNSIGNED_BYTE, 1);
    if (!joined->data())
        return nullptr;

    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const int x0 = column * m_surfaceWidth;
            const int y0 = row * m_surfaceHeight;
            const int partWidth = std::min(m_surfaceWidth, width - x0);
            const int partHeight = std::min(m_surfaceHeight, height - y0);

            m_camera->setViewport(0, 0, partWidth, partHeight);
            // Each part sees its own slice of the whole view's projection,
            // so the parts' pixels are the whole view's pixels.
            m_camera->setProjectionMatrixAsOrtho(
                left + spanX * x0 / width, left + spanX * (x0 + partWidth) / width,
                bottom + spanY * y0 / height, bottom + spanY * (y0 + partHeight) / height,
                0.01, 20);
            renderUntilLoaded();
            ++m_lastPartCount;

            const osg::Image *part = m_target.get();
            if (part->s() != partWidth || part->t() != partHeight
                || part->getPixelFormat() != GL_RGBA || !part->data())
                return nullptr;
            const std::size_t partRow = static_cast<std::size_t>(partWidth) * 4;
            for (int r = 0; r < partHeight; ++r)
                std::memcpy(joined->data(x0, y0 + r), part->data(0, r), partRow);
        }
    }
    return joined;
}

void OrthoViewer::renderUntilLoaded()
{
    // One whole frame with the renderer idle: culling sends the pager its
    // first requests.
    m_viewer->frame();

    m_renderer->setIdle(true);

    osgDB::DatabasePager *pager = m_viewer->getDatabasePager();
    const Clock::time_point started = Clock::now();
    Clock::time_point lastProgress = started;
    unsigned int successes = m_levelReads->successfulReads();
    unsigned int repeatsAtProgress = m_levelReads->repeatedFailures();
    bool gaveUp = false;
    while (!m_viewer->done() && pager && pager->getRequestsInProgress()) {
        if (secondsSince(started) > m_settings.loadTimeLimit) {
            gaveUp = true;
            break;
        }
        const unsigned int nowSucceeded = m_levelReads->successfulReads();
        if (nowSucceeded != successes) {
            successes = nowSucceeded;
            lastProgress = Clock::now();
            repeatsAtProgress = m_levelReads->repeatedFailures();
        } else if (m_levelReads->repeatedFailures() != repeatsAtProgress
                   && m_levelReads->readsInFlight() == 0
                   && secondsSince(lastProgress) > m_settings.failureSettleTime) {
            // Nothing loads any more; the pager only retries files that
            // cannot be read. What is loaded is all this view will get.
            gaveUp = true;
            break;
        }
        if (pager->getDataToMergeListSize() == 0) {
            // Levels are still being read: a frame would change nothing.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        // Merge what was loaded, then cull so the new levels ask for theirs.
        m_viewer->updateTraversal();
        m_viewer->renderingTraversals();
    }

    // The drawn frame culls too, and would ask again for files that failed;
    // no read may run behind the job's back (the reader's path list changes
    // between tile sets), so the pager takes no requests until the next view.
    if (pager) {
        pager->setAcceptNewDatabaseRequests(false);
        if (gaveUp)
            pager->clear();
    }
    const Clock::time_point stopping = Clock::now();
    while (m_levelReads->readsInFlight() > 0 && secondsSince(stopping) < m_settings.loadTimeLimit)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));

    m_renderer->setIdle(false);
    m_viewer->renderingTraversals();
    m_renderer->setIdle(true);

    if (pager)
        pager->setAcceptNewDatabaseRequests(true);
}

} // namespace fresco
