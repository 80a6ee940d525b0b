#include "viewpolygon.h"

#include <algorithm>

namespace fresco {

double viewPolygonHeight(const osg::BoundingBoxd &box)
{
    const double aboveTop = box.zMax() + (box.zMin() + box.zMax()) / 2;
    return std::max(aboveTop, box.zMax());
}

std::vector<osg::Vec3d> viewPolygon(const osg::BoundingBoxd &box)
{
    const double z = viewPolygonHeight(box);
    return {osg::Vec3d(box.xMin(), box.yMin(), z), osg::Vec3d(box.xMax(), box.yMin(), z),
            osg::Vec3d(box.xMax(), box.yMax(), z), osg::Vec3d(box.xMin(), box.yMax(), z)};
}

} // namespace fresco
