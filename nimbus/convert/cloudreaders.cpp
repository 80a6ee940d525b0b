// PCD and PLY: the whole cloud is read through PCL into memory, then its
// points are streamed into the session. Only x, y and z are read, and the
// y and z axes are exchanged: the cloud's z becomes the ilas y.

#include "cloudheader.h"
#include "fastconvertor.h"
#include "readers.h"
#include "readersession.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <pcl/PCLPointCloud2.h>
#include <pcl/console/print.h>
#include <pcl/io/pcd_io.h>
#include <pcl/io/ply_io.h>

#include <cmath>
#include <cstring>
#include <exception>
#include <string>

namespace nimbus {

namespace {

constexpr std::uint64_t kStopCheckPoints = 1u << 20;

enum class CloudFormat { Pcd, Ply };

bool readCloud(CloudFormat format, const QString& path, pcl::PCLPointCloud2& blob,
               QString& reason)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        reason = QStringLiteral("cannot open: no such file");
        return false;
    }
    if (!info.isFile()) {
        reason = QStringLiteral("cannot open: not a regular file");
        return false;
    }
    const CloudHeaderCheck check =
        format == CloudFormat::Pcd ? checkPcdHeader(path) : checkPlyHeader(path);
    if (!check.usable) {
        reason = check.reason;
        return false;
    }
    if (check.points == 0) {
        blob = pcl::PCLPointCloud2(); // an empty cloud: nothing for PCL to read
        return true;
    }
    const std::string file = QFile::encodeName(path).toStdString();
    Eigen::Vector4f origin;
    Eigen::Quaternionf orientation;
    int version = 0;
    int result = -1;
    try {
        if (format == CloudFormat::Pcd) {
            pcl::PCDReader reader;
            result = reader.read(file, blob, origin, orientation, version, 0);
        } else {
            pcl::PLYReader reader;
            result = reader.read(file, blob, origin, orientation, version, 0);
        }
    } catch (const std::exception& e) {
        reason = QStringLiteral("cannot be read: %1").arg(QString::fromLocal8Bit(e.what()));
        result = -1;
    } catch (...) {
        result = -1;
    }
    if (result < 0) {
        if (reason.isEmpty())
            reason = format == CloudFormat::Pcd ? QStringLiteral("not a readable PCD file")
                                                : QStringLiteral("not a readable PLY file");
        return false;
    }
    return true;
}

const pcl::PCLPointField* findField(const pcl::PCLPointCloud2& blob, const char* name)
{
    for (const auto& field : blob.fields)
        if (field.name == name)
            return &field;
    // Some writers use upper-case names ("X", "Y", "Z").
    for (const auto& field : blob.fields)
        if (QString::fromStdString(field.name).compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return &field;
    return nullptr;
}

int fieldSize(std::uint8_t datatype)
{
    switch (datatype) {
    case pcl::PCLPointField::INT8:
    case pcl::PCLPointField::UINT8:
        return 1;
    case pcl::PCLPointField::INT16:
    case pcl::PCLPointField::UINT16:
        return 2;
    case pcl::PCLPointField::INT32:
    case pcl::PCLPointField::UINT32:
    case pcl::PCLPointField::FLOAT32:
        return 4;
    case pcl::PCLPointField::FLOAT64:
        return 8;
    default:
        return 0;
    }
}

template <typename T> double load(const std::uint8_t* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return static_cast<double>(value);
}

double fieldValue(const std::uint8_t* point, const pcl::PCLPointField& field)
{
    const std::uint8_t* p = point + field.offset;
    switch (field.datatype) {
    case pcl::PCLPointField::INT8: return load<std::int8_t>(p);
    case pcl::PCLPointField::UINT8: return load<std::uint8_t>(p);
    case pcl::PCLPointField::INT16: return load<std::int16_t>(p);
    case pcl::PCLPointField::UINT16: return load<std::uint16_t>(p);
    case pcl::PCLPointField::INT32: return load<std::int32_t>(p);
    case pcl::PCLPointField::UINT32: return load<std::uint32_t>(p);
    case pcl::PCLPointField::FLOAT32: return load<float>(p);
    default: return load<double>(p);
    }
}

// The cloud as rows of points, checked against the size of its data.
struct CloudLayout {
    const pcl::PCLPointField* x = nullptr;
    const pcl::PCLPointField* y = nullptr;
    const pcl::PCLPointField* z = nullptr;
    std::uint64_t rowStep = 0;
};

bool checkLayout(const pcl::PCLPointCloud2& blob, CloudLayout& layout, QString& reason)
{
    layout.x = findField(blob, "x");
    layout.y = findField(blob, "y");
    layout.z = findField(blob, "z");
    if (!layout.x || !layout.y || !layout.z) {
        reason = QStringLiteral("the cloud has no x, y and z fields");
        return false;
    }
    for (const pcl::PCLPointField* field : {layout.x, layout.y, layout.z}) {
        const int size = fieldSize(field->datatype);
        if (size == 0 || std::uint64_t(field->offset) + size > blob.point_step) {
            reason = QStringLiteral("the cloud's %1 field has an unusable type or offset")
                         .arg(QString::fromStdString(field->name));
            return false;
        }
    }
    layout.rowStep = blob.row_step != 0 ? blob.row_step
                                        : std::uint64_t(blob.width) * blob.point_step;
    if (blob.width != 0 && blob.height != 0) {
        const std::uint64_t needed = (std::uint64_t(blob.height) - 1) * layout.rowStep
            + std::uint64_t(blob.width) * blob.point_step;
        if (layout.rowStep < std::uint64_t(blob.width) * blob.point_step
            || needed > blob.data.size()) {
            reason = QStringLiteral("the cloud holds less data than its size says");
            return false;
        }
    }
    return true;
}

bool convertCloud(FastConvertor* convertor, const QString& path, CloudFormat format)
{
    ReaderSession session(convertor, path);
    pcl::PCLPointCloud2 blob;
    QString reason;
    CloudLayout layout;
    if (!readCloud(format, path, blob, reason)) {
        // PCL's console gets the same line for every file it cannot read.
        pcl::console::print(pcl::console::L_ERROR, "Couldn't read this file!\n");
        return session.fail(reason);
    }
    if (std::uint64_t(blob.width) * blob.height == 0) {
        // A cloud without points is a valid file without blocks.
        if (!session.begin(0.0, 0.0, 0.0, ReaderSession::kUnknownCount, false))
            return false;
        return session.finish();
    }
    if (!checkLayout(blob, layout, reason))
        return session.fail(reason);

    // One point's coordinates; false when one of them is not finite.
    auto readPoint = [&](std::uint32_t row, std::uint32_t column, double xyz[3]) {
        const std::uint8_t* p =
            blob.data.data() + row * layout.rowStep + std::uint64_t(column) * blob.point_step;
        xyz[0] = fieldValue(p, *layout.x);
        xyz[1] = fieldValue(p, *layout.y);
        xyz[2] = fieldValue(p, *layout.z);
        return std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2]);
    };

    // The origin is the first point with finite coordinates, in the exchanged
    // axis order; a cloud without one still gives a valid, empty file.
    double xyz[3];
    double origin[3] = {0.0, 0.0, 0.0};
    bool haveOrigin = false;
    for (std::uint32_t row = 0; row < blob.height && !haveOrigin; ++row) {
        for (std::uint32_t column = 0; column < blob.width && !haveOrigin; ++column) {
            if (readPoint(row, column, xyz)) {
                origin[0] = xyz[0];
                origin[1] = xyz[2];
                origin[2] = xyz[1];
                haveOrigin = true;
            }
        }
    }
    if (!session.begin(origin[0], origin[1], origin[2], ReaderSession::kUnknownCount, false))
        return false;

    std::uint64_t walked = 0;
    for (std::uint32_t row = 0; row < blob.height; ++row) {
        for (std::uint32_t column = 0; column < blob.width; ++column) {
            if (readPoint(row, column, xyz))
                session.addPoint(xyz[0], xyz[2], xyz[1]); // the cloud's z is the ilas y
            else
                session.countSkipped();
            if (++walked % kStopCheckPoints == 0) {
                session.reportBytesConsumed(walked, std::uint64_t(blob.width) * blob.height);
                if (session.stopRequested())
                    return session.fail(QCoreApplication::translate("Nimbus", "stopped by the user"));
                if (!session.healthy())
                    return false;
            }
        }
    }
    return session.finish();
}

} // namespace

bool convertPcdFile(FastConvertor* convertor, QString path)
{
    return convertCloud(convertor, path, CloudFormat::Pcd);
}

bool convertPlyFile(FastConvertor* convertor, QString path)
{
    return convertCloud(convertor, path, CloudFormat::Ply);
}

} // namespace nimbus
