// BBoxComputer measures a tile: the box of the geometry of its loaded
// levels, in the coordinates the tile is drawn in (transforms above the
// geometry applied), which frames the tile's view. A paged level with no
// loaded geometry is measured from its level files.
#pragma once

#include <osg/BoundingBox>
#include <osg/Matrixd>
#include <osg/NodeVisitor>

#include <set>
#include <string>
#include <vector>

namespace osg {
class PagedLOD;
class Geode;
class Geometry;
class Transform;
} // namespace osg

namespace fresco {

class BBoxComputer : public osg::NodeVisitor
{
public:
    BBoxComputer();

    void apply(osg::PagedLOD &node) override;
    void apply(osg::Geode &node) override;
    void apply(osg::Geometry &geometry) override;
    void apply(osg::Transform &node) override;

    const osg::BoundingBoxd &box() const { return m_box; }

    // True when maximum >= minimum on all three axes.
    static bool isValid(const osg::BoundingBoxd &box);

private:
    // Visits the children of `node`, and when `node` is itself a transform
    // (a child reached by the paged-level rule, not visited on its own), under
    // its matrix.
    void traverseUnder(osg::Node &node);

    osg::BoundingBoxd m_box;
    // Matrices accumulated on the path to the node being visited, outermost
    // first; empty while no transform lies above it.
    std::vector<osg::Matrixd> m_matrices;
    bool m_found = false;
    // Level files being measured, so that a file naming itself (directly or
    // through its children) cannot recurse without end.
    std::set<std::string> m_openFiles;
};

} // namespace fresco
