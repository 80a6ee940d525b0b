// RttCallback is the off-screen camera's final-draw callback: it reads the
// drawn frame back and files it under the key set before the frame. It owns
// the pictures it files until clear() or its destruction.
#pragma once

#include <osg/Camera>
#include <osg/Image>
#include <osg/ref_ptr>

#include <map>

namespace fresco {

class RttCallback : public osg::Camera::DrawCallback
{
public:
    using PictureMap = std::map<int, osg::ref_ptr<osg::Image>>;

    explicit RttCallback(GLenum readBuffer);

    void setKey(int key) { m_key = key; }
    int key() const { return m_key; }

    // Pictures are packed (row alignment 1), 3 bytes per pixel (GL_RGB),
    // rows bottom-up as OpenGL returns them.
    PictureMap &images() { return m_images; }

    // Forgets every picture and the current one.
    void clear();

    void operator()(osg::RenderInfo &renderInfo) const override;

protected:
    ~RttCallback() override = default;

private:
    GLenum m_readBuffer;
    mutable osg::ref_ptr<osg::Image> m_current;
    int m_key = 0;
    mutable PictureMap m_images;
};

} // namespace fresco
