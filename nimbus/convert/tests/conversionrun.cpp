#include "conversionrun.h"

#include "outputnames.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

const FileResult* ConversionRun::resultFor(const QString& path) const
{
    for (const FileResult& r : results)
        if (r.path == path)
            return &r;
    return nullptr;
}

ConversionRun runConversion(const QStringList& files, const RunOptions& options)
{
    ConversionRun run;
    QMutex mutex;
    nimbus::FastConvertor convertor;
    convertor.files = files;
    if (options.bufferCapacity > 0)
        convertor.setBufferCapacity(options.bufferCapacity);
    if (options.minCellPoints > 0)
        convertor.minCellPoints = options.minCellPoints;
    convertor.setHandOffPauses(2, 5);
    const auto direct = Qt::DirectConnection;
    QObject::connect(&convertor, &nimbus::FastConvertor::updateTask, &convertor,
                     [&](int total, int cur) {
                         QMutexLocker lock(&mutex);
                         run.tasks.emplace_back(total, cur);
                     }, direct);
    QObject::connect(&convertor, &nimbus::FastConvertor::setPrompt, &convertor,
                     [&](const QString& prompt) {
                         QMutexLocker lock(&mutex);
                         run.prompts << prompt;
                     }, direct);
    QObject::connect(&convertor, &nimbus::FastConvertor::updatePercent_signal, &convertor,
                     [&](double value) {
                         QMutexLocker lock(&mutex);
                         run.percents.push_back(value);
                         if (QThread::currentThread() == &convertor)
                             run.driverPercents.push_back(value);
                     }, direct);
    QObject::connect(&convertor, &nimbus::FastConvertor::fileFinished, &convertor,
                     [&](const QString& path, const QString& output, bool converted,
                         const QString& reason) {
                         QMutexLocker lock(&mutex);
                         run.results.push_back({path, output, converted, reason});
                     }, direct);
    QObject::connect(&convertor, &nimbus::FastConvertor::fileSkipped, &convertor,
                     [&](const QString& path) {
                         QMutexLocker lock(&mutex);
                         run.skipped << path;
                     }, direct);
    QObject::connect(&convertor, &nimbus::FastConvertor::finish, &convertor,
                     [&](bool complete, const QString& msg) {
                         QMutexLocker lock(&mutex);
                         ++run.finishCount;
                         run.complete = complete;
                         run.finishMessage = msg;
                     }, direct);
    convertor.showSummary = [&](const QString& text) {
        QMutexLocker lock(&mutex);
        run.summary = text;
    };
    convertor.start();
    if (options.stopRightAfterStart)
        convertor.requestStop();
    convertor.wait();
    // Progress relayed from the splitter is queued to this thread.
    QCoreApplication::sendPostedEvents();
    run.failures = convertor.failures();
    return run;
}

QString sharedTestData(const QString& relative)
{
    return QStringLiteral(QUILLFEN_SOURCE_DIR "/../shared/testdata/") + relative;
}

QStringList outputsLeftFor(const QString& inputPath)
{
    const QString finalPath = nimbus::OutputNames::finalPath(inputPath);
    QStringList left = nimbus::OutputNames::existingPartFiles(finalPath);
    for (const QString& name : {finalPath, nimbus::OutputNames::partialPath(finalPath)})
        if (QFileInfo::exists(name))
            left << name;
    return left;
}
