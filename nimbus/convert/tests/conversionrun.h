#pragma once
// Runs a FastConvertor over a list of files on its own thread and records
// every signal it emits, for the driver and reader tests.

#include "fastconvertor.h"

#include <QString>
#include <QStringList>

#include <ostream>
#include <utility>
#include <vector>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

struct FileResult {
    QString path;
    QString output;
    bool converted = false;
    QString reason;
};

struct ConversionRun {
    std::vector<std::pair<int, int>> tasks;
    QStringList prompts;
    std::vector<double> percents;       // all, the splitter's relays included
    std::vector<double> driverPercents; // those emitted on the driver's own thread
    std::vector<FileResult> results;
    QStringList skipped;
    int finishCount = 0;
    bool complete = false;
    QString finishMessage;
    QString summary;
    QStringList failures;

    const FileResult* resultFor(const QString& path) const;
};

struct RunOptions {
    qint32 bufferCapacity = 0; // 0: the default
    bool stopRightAfterStart = false;
    qint32 minCellPoints = 0;  // 0: the default
};

ConversionRun runConversion(const QStringList& files, const RunOptions& options = RunOptions());

// The files a conversion of `inputPath` may leave beside it that exist now:
// NAME.ilas, NAME.ilas.*.part and NAME.partial.ilas. A failed file must
// leave none of them.
QStringList outputsLeftFor(const QString& inputPath);

// Test data shared with other developers, relative to the repository.
QString sharedTestData(const QString& relative);
