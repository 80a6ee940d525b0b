#include "idlerenderer.h"

#include <osgUtil/SceneView>
#include <osgViewer/View>

namespace fresco {

IdleRenderer::IdleRenderer(osg::Camera *camera)
    : osgViewer::Renderer(camera)
{
}

void IdleRenderer::operator()(osg::GraphicsContext * /*context*/)
{
    // Only the single-threaded model culls on the graphics thread; the viewer
    // is always set up that way, anything else leaves the frame alone.
    if (!_graphicsThreadDoesCull)
        return;
    if (m_idle)
        cull();
    else
        cull_draw();
}

void IdleRenderer::cull()
{
    osgUtil::SceneView *sceneView = _sceneView[0].get();
    if (!sceneView || _done)
        return;

    updateSceneView(sceneView);

    osg::Camera *camera = sceneView->getCamera();
    if (camera) {
        if (auto *view = dynamic_cast<osgViewer::View *>(camera->getView()))
            sceneView->setFusionDistance(view->getFusionDistanceMode(),
                                         view->getFusionDistanceValue());
        sceneView->inheritCullSettings(*camera);
    }
    sceneView->cull();
}

} // namespace fresco
