#include "bboxcomputer.h"

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/PagedLOD>
#include <osg/Transform>
#include <osgDB/FileUtils>
#include <osgDB/ReadFile>
#include <osgDB/Registry>

namespace fresco {

namespace {
constexpr double kFltMax = 3.4028234663852886e38;
// Level trees of real tile sets are a few tens of levels deep at most.
constexpr std::size_t kMaxFileDepth = 64;
} // namespace

BBoxComputer::BBoxComputer()
    : osg::NodeVisitor(osg::NodeVisitor::TRAVERSE_ALL_CHILDREN)
{
    m_box.set(kFltMax, kFltMax, kFltMax, -kFltMax, -kFltMax, -kFltMax);
}

bool BBoxComputer::isValid(const osg::BoundingBoxd &box)
{
    return box.xMax() >= box.xMin() && box.yMax() >= box.yMin() && box.zMax() >= box.zMin();
}

void BBoxComputer::apply(osg::Geometry &geometry)
{
    const osg::BoundingBox bounds = geometry.computeBoundingBox();
    if (bounds.valid()) {
        if (m_matrices.empty()) {
            m_box.expandBy(osg::Vec3d(bounds._min));
            m_box.expandBy(osg::Vec3d(bounds._max));
        } else {
            // A rotated box is enclosed by the box of its eight corners.
            const osg::Matrixd &matrix = m_matrices.back();
            for (unsigned int i = 0; i < 8; ++i)
                m_box.expandBy(osg::Vec3d(bounds.corner(i)) * matrix);
        }
    }
    m_found = true;
}

void BBoxComputer::apply(osg::Transform &node)
{
    osg::Matrixd matrix = m_matrices.empty() ? osg::Matrixd() : m_matrices.back();
    if (!node.computeLocalToWorldMatrix(matrix, this)) {
        traverse(node);
        return;
    }
    m_matrices.push_back(matrix);
    traverse(node);
    m_matrices.pop_back();
}

void BBoxComputer::traverseUnder(osg::Node &node)
{
    osg::Transform *transform = node.asTransform();
    if (!transform) {
        traverse(node);
        return;
    }
    apply(*transform);
}

void BBoxComputer::apply(osg::Geode &node)
{
    // Geometry under a Geode counts wherever the Geode sits, also when it is
    // reached as a node of its own below a group.
    traverse(node);
}

void BBoxComputer::apply(osg::PagedLOD &node)
{
    // Every loaded child counts; the level files are only a fallback for a
    // paged node that has no geometry loaded at all.
    m_found = false;
    for (unsigned int i = 0; i < node.getNumChildren(); ++i)
        traverseUnder(*node.getChild(i));
    if (m_found)
        return;

    if (m_openFiles.size() >= kMaxFileDepth)
        return;
    const osgDB::Options *options = osgDB::Registry::instance()->getOptions();
    for (unsigned int i = 0; i < node.getNumFileNames(); ++i) {
        const std::string &name = node.getFileName(i);
        if (name.empty())
            continue;
        // Level names are relative to the file that holds the paged node (its
        // database path); the reader's path list is the fallback.
        std::string path = osgDB::findDataFile(node.getDatabasePath() + name, options);
        if (path.empty())
            path = osgDB::findDataFile(name, options);
        if (path.empty() || m_openFiles.count(path))
            continue;
        osg::ref_ptr<osg::Node> level = osgDB::readRefNodeFile(path, options);
        if (!level)
            continue;
        m_openFiles.insert(path);
        traverseUnder(*level);
        m_openFiles.erase(path);
    }
}

} // namespace fresco
