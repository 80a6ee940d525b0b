// BBoxComputer measures a tile: the box of the geometry of its loaded
// levels, in the tile's own coordinates, which frames the tile's view.
// A paged level with no loaded geometry is measured from its level files.
#pragma once

#include <osg/BoundingBox>
#include <osg/NodeVisitor>

#include <set>
#include <string>

namespace osg {
class PagedLOD;
class Geode;
class Geometry;
} // namespace osg

namespace fresco {

class BBoxComputer : public osg::NodeVisitor
{
public:
    BBoxComputer();

    void apply(osg::PagedLOD &node) override;
    void apply(osg::Geode &node) override;
    void apply(osg::Geometry &geometry) override;

    const osg::BoundingBoxd &box() const { return m_box; }

    // True when maximum >= minimum on all three axes.
    static bool isValid(const osg::BoundingBoxd &box);

private:
    osg::BoundingBoxd m_box;
    bool m_found = false;
    // Level files being measured, so that a file naming itself (directly or
    // through its children) cannot recurse without end.
    std::set<std::string> m_openFiles;
};

} // namespace fresco
