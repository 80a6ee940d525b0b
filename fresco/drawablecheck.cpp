#include "drawablecheck.h"

#include <osg/Array>
#include <osg/Geometry>
#include <osg/NodeVisitor>
#include <osg/PrimitiveSet>

#include <cmath>
#include <vector>

namespace fresco {

namespace {

// Reads the components of a vertex array, of whatever float or double type,
// as doubles.
bool allFinite(const osg::Array &array)
{
    const unsigned int count = array.getNumElements();
    const unsigned int components = array.getDataSize();
    if (array.getDataType() == GL_FLOAT) {
        const float *values = static_cast<const float *>(array.getDataPointer());
        if (!values && count > 0)
            return false;
        for (unsigned int i = 0; i < count * components; ++i)
            if (!std::isfinite(values[i]))
                return false;
    } else if (array.getDataType() == GL_DOUBLE) {
        const double *values = static_cast<const double *>(array.getDataPointer());
        if (!values && count > 0)
            return false;
        for (unsigned int i = 0; i < count * components; ++i)
            if (!std::isfinite(values[i]))
                return false;
    }
    return true;
}

bool perVertexArrayFits(const osg::Array *array, unsigned int vertices)
{
    if (!array || array->getBinding() != osg::Array::BIND_PER_VERTEX)
        return true;
    return array->getNumElements() >= vertices;
}

bool primitiveFits(const osg::PrimitiveSet &primitive, unsigned int vertices)
{
    switch (primitive.getType()) {
    case osg::PrimitiveSet::DrawArraysPrimitiveType: {
        const auto &arrays = static_cast<const osg::DrawArrays &>(primitive);
        const long long end = static_cast<long long>(arrays.getFirst()) + arrays.getCount();
        return arrays.getFirst() >= 0 && arrays.getCount() >= 0 && end <= vertices;
    }
    case osg::PrimitiveSet::DrawArrayLengthsPrimitiveType: {
        const auto &lengths = static_cast<const osg::DrawArrayLengths &>(primitive);
        long long end = lengths.getFirst();
        if (end < 0)
            return false;
        for (const GLsizei length : lengths) {
            if (length < 0)
                return false;
            end += length;
        }
        return end <= vertices;
    }
    case osg::PrimitiveSet::DrawElementsUBytePrimitiveType:
    case osg::PrimitiveSet::DrawElementsUShortPrimitiveType:
    case osg::PrimitiveSet::DrawElementsUIntPrimitiveType: {
        const auto *elements = primitive.getDrawElements();
        if (!elements)
            return false;
        const unsigned int count = elements->getNumIndices();
        for (unsigned int i = 0; i < count; ++i)
            if (elements->index(i) >= vertices)
                return false;
        return true;
    }
    default:
        // Primitive kinds tile files do not use are left to the drawing code.
        return true;
    }
}

class UnsafeDrawableDropper : public osg::NodeVisitor
{
public:
    UnsafeDrawableDropper() : osg::NodeVisitor(osg::NodeVisitor::TRAVERSE_ALL_CHILDREN) {}

    void apply(osg::Group &group) override
    {
        // Children are checked first, then the refused ones removed, so the
        // walk never runs over a list that changes under it.
        traverse(group);
        for (unsigned int i = group.getNumChildren(); i-- > 0;) {
            const osg::Geometry *geometry = group.getChild(i)->asGeometry();
            if (geometry && !isDrawableSafe(*geometry)) {
                group.removeChild(i);
                ++dropped;
            }
        }
    }

    unsigned int dropped = 0;
};

} // namespace

bool isDrawableSafe(const osg::Geometry &geometry)
{
    const osg::Array *vertices = geometry.getVertexArray();
    const unsigned int count = vertices ? vertices->getNumElements() : 0;
    if (geometry.getNumPrimitiveSets() > 0 && !vertices)
        return false;
    if (vertices && !allFinite(*vertices))
        return false;
    if (!perVertexArrayFits(geometry.getNormalArray(), count)
        || !perVertexArrayFits(geometry.getColorArray(), count)
        || !perVertexArrayFits(geometry.getSecondaryColorArray(), count)
        || !perVertexArrayFits(geometry.getFogCoordArray(), count))
        return false;
    for (unsigned int unit = 0; unit < geometry.getNumTexCoordArrays(); ++unit)
        if (!perVertexArrayFits(geometry.getTexCoordArray(unit), count))
            return false;
    for (unsigned int index = 0; index < geometry.getNumVertexAttribArrays(); ++index)
        if (!perVertexArrayFits(geometry.getVertexAttribArray(index), count))
            return false;
    for (unsigned int i = 0; i < geometry.getNumPrimitiveSets(); ++i) {
        const osg::PrimitiveSet *primitive = geometry.getPrimitiveSet(i);
        if (!primitive || !primitiveFits(*primitive, count))
            return false;
    }
    return true;
}

unsigned int dropUnsafeDrawables(osg::Node &node)
{
    UnsafeDrawableDropper dropper;
    node.accept(dropper);
    return dropper.dropped;
}

} // namespace fresco
