// IdleRenderer is the off-screen camera's renderer. While idle it only culls,
// so the database pager receives its requests for finer levels without any
// drawing work; one drawn frame per view is enough to read the picture back.
#pragma once

#include <osgViewer/Renderer>

namespace fresco {

class IdleRenderer : public osgViewer::Renderer
{
public:
    explicit IdleRenderer(osg::Camera *camera);

    void setIdle(bool idle) { m_idle = idle; }
    bool idle() const { return m_idle; }

    using osgViewer::Renderer::operator();
    void operator()(osg::GraphicsContext *context) override;
    void cull() override;

protected:
    ~IdleRenderer() override = default;

private:
    bool m_idle = true;
};

} // namespace fresco
