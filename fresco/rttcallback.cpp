#include "rttcallback.h"

#include <osg/GL>
#include <osg/GraphicsContext>
#include <osg/RenderInfo>
#include <osg/State>
#include <osg/Viewport>

#include <cstdio>

namespace fresco {

RttCallback::RttCallback(GLenum readBuffer)
    : m_readBuffer(readBuffer), m_current(new osg::Image)
{
}

void RttCallback::clear()
{
    m_images.clear();
    m_current = new osg::Image;
}

void RttCallback::operator()(osg::RenderInfo &renderInfo) const
{
    glReadBuffer(m_readBuffer);

    // The region read is the camera's viewport: a view larger than the
    // surface is drawn in parts, each in the lower left of the surface.
    int x = 0, y = 0, width = 0, height = 0;
    const osg::Camera *camera = renderInfo.getCurrentCamera();
    const osg::Viewport *viewport = camera ? camera->getViewport() : nullptr;
    const osg::State *state = renderInfo.getState();
    const osg::GraphicsContext *context = state ? state->getGraphicsContext() : nullptr;
    const osg::GraphicsContext::Traits *traits = context ? context->getTraits() : nullptr;
    if (viewport) {
        x = static_cast<int>(viewport->x());
        y = static_cast<int>(viewport->y());
        width = static_cast<int>(viewport->width());
        height = static_cast<int>(viewport->height());
    } else if (traits) {
        width = traits->width;
        height = traits->height;
    }

    if (traits && width > 0 && height > 0) {
        // Always three bytes per pixel, whatever alpha bits the surface has:
        // the mosaicking reads pictures as packed RGB.
        osg::ref_ptr<osg::Image> picture = new osg::Image;
        picture->readPixels(x, y, width, height, GL_RGB, GL_UNSIGNED_BYTE, 1);
        m_current = picture;
    }
    m_images[m_key] = m_current;
    std::fflush(stdout);
}

} // namespace fresco
