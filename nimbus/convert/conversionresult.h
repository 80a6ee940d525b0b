#pragma once
// What became of one input file in a conversion run, as the driver reports it
// once per file to the window, the console and machine-readable output.

#include <QMetaType>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace nimbus {

struct ConversionResult {
    enum class Status {
        Converted,   // `output` is complete (it may hold no point, see noPointReason)
        Failed,      // nothing written, or the points so far kept in `output` (partial)
        Unsupported, // no reader for the name
        Kept,        // an existing output was left as it was (no-overwrite)
    };

    QString input;
    QString output;        // the file holding the result; empty when none was written
    Status status = Status::Failed;
    bool partial = false;  // failed, but `output` holds the points read before the break
    QString reason;        // why the file failed
    QString noPointReason; // converted into a file without points: why
    std::uint64_t pointsRead = 0;
    std::uint64_t pointsStored = 0;
    QStringList notes;     // remarks worth the user's attention
    double seconds = 0.0;
};

} // namespace nimbus

Q_DECLARE_METATYPE(nimbus::ConversionResult)
