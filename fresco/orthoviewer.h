// OrthoViewer renders tiles straight down with an orthographic camera into an
// off-screen RGBA frame buffer and hands each picture it reads back to the
// caller.
// One lives for one job: it changes process-wide scene-graph settings (the
// database thread hint, the reader callback) and puts them back when it is
// destroyed. Models handed to setModel stay in its scene until then, or until
// removeModels(), so later views also draw earlier models they overlap.
#pragma once

#include <osg/ClipNode>
#include <osg/Image>
#include <osg/GraphicsContext>
#include <osg/Node>
#include <osg/Vec3d>
#include <osg/ref_ptr>
#include <osgViewer/Viewer>

#include <vector>

namespace fresco {

class IdleRenderer;
class LevelReadCallback;

struct OrthoViewerSettings
{
    // Largest part of a view drawn at once; 0 keeps the size of the screen
    // (1024 x 1024 when it cannot be asked). Views larger than the surface
    // are drawn part by part and joined.
    int maxSurfaceWidth = 0;
    int maxSurfaceHeight = 0;
    // Views whose picture would exceed this many pixels are refused.
    long long maxPicturePixels = 1LL << 28;
    // Longest wait, in seconds, for the pager to load the levels of one part.
    double loadTimeLimit = 300.0;
    // How long the pager may go on failing on files it failed on before,
    // without loading anything, before the wait gives up on them (seconds).
    double failureSettleTime = 0.2;
};

class OrthoViewer
{
public:
    explicit OrthoViewer(const OrthoViewerSettings &settings = OrthoViewerSettings());
    ~OrthoViewer();

    OrthoViewer(const OrthoViewer &) = delete;
    OrthoViewer &operator=(const OrthoViewer &) = delete;

    // False when no graphics context could be created ("init failed." has
    // then been printed); such a viewer renders nothing.
    bool isValid() const { return m_context.valid(); }

    void setPixelsPerUnit(float pixelsPerUnit) { m_pixelsPerUnit = pixelsPerUnit; }
    float pixelsPerUnit() const { return m_pixelsPerUnit; }
    void setModel(osg::ref_ptr<osg::Node> node);
    // Drops every model added so far; later views draw only newer models.
    void removeModels();
    // Non-zero: the view's x axis is the polygon's first edge running east.
    void setTopDown(int topDown) { m_topDown = topDown; }

    // Frames the polygon at pixelsPerUnit with about one pixel of margin all
    // round, waits until the pager has loaded what the view needs and
    // returns the picture: rows bottom-up, 4 bytes per pixel (RGBA, packed),
    // alpha 0 where nothing was drawn. Null when the view cannot be set up
    // (fewer than three points, a picture beyond maxPicturePixels, no
    // context).
    osg::ref_ptr<osg::Image> render(const std::vector<osg::Vec3d> &polygon);
    // The same for a picture of exactly `width` x `height` pixels whose
    // edges are the edges of the polygon's framed extent, so that pixel
    // (i, j) covers exactly the i-th and j-th slice of it. With a
    // supersample of N every pixel averages N x N drawn sub-pixels (colour
    // weighted by coverage, alpha the covered share).
    osg::ref_ptr<osg::Image> render(const std::vector<osg::Vec3d> &polygon, int width, int height);

    // Sub-pixels per pixel side for the exact render (1 to 16).
    void setSupersample(int n) { m_supersample = n < 1 ? 1 : (n > 16 ? 16 : n); }
    int supersample() const { return m_supersample; }

    // Size of the off-screen surface.
    int surfaceWidth() const { return m_surfaceWidth; }
    int surfaceHeight() const { return m_surfaceHeight; }
    // Parts the last view was drawn in.
    int lastPartCount() const { return m_lastPartCount; }
    // Whether render() refused the last view because its picture would
    // exceed maxPicturePixels, and that picture's size in pixels.
    bool lastPictureTooLarge() const { return m_lastPictureTooLarge; }
    double lastPictureWidth() const { return m_lastPictureWidth; }
    double lastPictureHeight() const { return m_lastPictureHeight; }
    long long maxPicturePixels() const { return m_settings.maxPicturePixels; }
    // Reads seen while this viewer lives (level files loaded or failed).
    LevelReadCallback *levelReads() const { return m_levelReads.get(); }
    osg::ClipNode *clipNode() const { return m_clipNode.get(); }

    // Orthographic bounds of the last view, relative to its centre.
    double viewHalfWidth() const { return m_projHalfWidth; }
    double viewHalfHeight() const { return m_projHalfHeight; }

private:
    bool fitPolygon(const std::vector<osg::Vec3d> &polygon);
    bool prepare(const std::vector<osg::Vec3d> &polygon);
    osg::ref_ptr<osg::Image> drawView();
    void renderUntilLoaded();
    // Makes the frame buffer's storage as large as the surface before the
    // first drawn frame; later parts draw into its lower-left corner.
    void setUpFrameBuffer();

    unsigned int m_savedThreadHint = 0;
    osg::ref_ptr<osgViewer::Viewer> m_viewer;
    osg::ref_ptr<osg::ClipNode> m_clipNode;
    // Receives the drawn frame buffer's pixels after each drawn frame.
    osg::ref_ptr<osg::Image> m_target;
    bool m_frameBufferReady = false;
    int m_supersample = 1;
    osg::ref_ptr<IdleRenderer> m_renderer;
    float m_pixelsPerUnit = 25.0f;
    int m_topDown = 0;
    double m_eyeMargin = 1.5;

    OrthoViewerSettings m_settings;
    osg::ref_ptr<osg::GraphicsContext> m_context;
    // Holds the display connection while the viewer lives.
    osg::ref_ptr<osg::GraphicsContext> m_keeper;
    osg::ref_ptr<osg::Camera> m_camera;
    osg::ref_ptr<LevelReadCallback> m_levelReads;
    int m_surfaceWidth = 0;
    int m_surfaceHeight = 0;
    int m_lastPartCount = 0;
    bool m_lastPictureTooLarge = false;
    double m_lastPictureWidth = 0;
    double m_lastPictureHeight = 0;

    // The framed view: full picture size and projection half extents.
    int m_viewWidth = 0;
    int m_viewHeight = 0;
    double m_projHalfWidth = 0;
    double m_projHalfHeight = 0;
    double m_halfWidth = 0;
    double m_halfHeight = 0;
};

} // namespace fresco
