// Reaches the private operations of Fresco for the tests.
#pragma once

#include "fresco.h"

class FrescoTestAccess
{
public:
    static void errorLog(Fresco &f, const QString &text) { f.errorLog(text); }
    static void finish(Fresco &f) { f.finish(); }
    static void percent(Fresco &f, float value) { f.percent(value); }
    static osg::Vec3d getOffsetFromXML(Fresco &f, const QString &path)
    {
        return f.getOffsetFromXML(path);
    }
    static void combiImages(Fresco &f, osg::BoundingBoxd overall,
                            std::map<int, osg::ref_ptr<osg::Image>> pictures,
                            std::map<int, osg::BoundingBoxd> boxes, const QString &name,
                            const osg::Vec3d &offset, double splitLen)
    {
        f.combiImages(overall, pictures, boxes, name, offset, splitLen);
    }
    static void setOutputFolder(Fresco &f, const QString &folder) { f.m_outputFolder = folder; }

    static const QString &outputFolder(const Fresco &f) { return f.m_outputFolder; }
    static const QString &imageFmt(const Fresco &f) { return f.m_imageFmt; }
    static int background(const Fresco &f) { return f.m_background; }
    static double resolution(const Fresco &f) { return f.m_resolution; }
    static double splitLen(const Fresco &f) { return f.m_splitLen; }
    static bool hasPercent(const Fresco &f) { return bool(f.m_percentCallback); }
    static bool hasFinish(const Fresco &f) { return bool(f.m_finishCallback); }
    static bool hasError(const Fresco &f) { return bool(f.m_errorCallback); }
    static int supersample(const Fresco &f) { return f.m_supersample; }
    static bool targetAligned(const Fresco &f) { return f.m_targetAligned; }
};
