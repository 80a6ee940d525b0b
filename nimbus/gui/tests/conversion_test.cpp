// Whole conversions through the window with the real driver: the busy and
// idle states, the final box, the written ilas files, reuse of the driver,
// and closing or destroying the window while a conversion runs.

#include "scripteddialogs.h"
#include "qtnativepath.h"
#include "ilascheck.h"
#include "ilasreader.h"

#include "nimbus/convert/fastconvertor.h"
#include "nimbus/gui/allocationwarning.h"
#include "nimbus/gui/progressbar.h"
#include "nimbus/gui/quitonsignals.h"
#include "nimbus/gui/selectfilewidget.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <memory>

using nimbus::FastConvertor;
using nimbus::SelectFileWidget;

namespace {

const QString kElapsedLine = QStringLiteral("^(\\d+h)?(\\d+m)?\\d+s\\n");
const int kConversionTimeoutMs = 60000;

template <class T>
T* part(const QWidget& window, const char* name)
{
    return window.findChild<T*>(QString::fromLatin1(name));
}

// An XYZ file of `points` points: the first, 100.5,200.5,50.0, is the
// origin, the others lie within one unit of it.
QString writeXyz(const QTemporaryDir& dir, const QString& name, int points)
{
    QByteArray text = "100.5,200.5,50.0\n";
    for (int i = 0; i + 1 < points; ++i) {
        const double dx = 0.1 + 0.8 * (i % 97) / 97.0;
        const double dy = 0.1 + 0.8 * (i % 89) / 89.0;
        const double dz = 0.1 + 0.8 * (i % 83) / 83.0;
        text += QByteArray::number(100.5 + dx, 'f', 4) + ',' + QByteArray::number(200.5 + dy, 'f', 4)
            + ',' + QByteArray::number(50.0 + dz, 'f', 4) + '\n';
    }
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return QString();
    return path;
}

struct IlasSummary {
    bool readable = false;
    QByteArray magic;
    qint64 pointCount = -1;
    double origin[3] = {0, 0, 0};
    quint8 hasColor = 0xff;
};

IlasSummary readIlasHeader(const QString& path)
{
    IlasSummary summary;
    nimbus::ilas::IlasReader reader;
    reader.open(quillfen::libraryPath(path));
    if (!reader.hasHeader())
        return summary;
    summary.readable = true;
    summary.hasColor = reader.header().hasColor;
    summary.magic = QByteArray::fromStdString(reader.magic());
    summary.pointCount = reader.header().pointCount;
    summary.origin[0] = reader.header().originX;
    summary.origin[1] = reader.header().originY;
    summary.origin[2] = reader.header().originZ;
    return summary;
}

// Complete and keeping every rule of the format.
bool finishedIlas(const QString& path)
{
    nimbus::ilas::IlasReader reader;
    return reader.open(quillfen::libraryPath(path)) && !nimbus::ilas::checkFile(reader).found();
}

bool idle(const SelectFileWidget& window)
{
    return part<QPushButton>(window, "okButton")->isEnabled()
        && part<QPushButton>(window, "cancelButton")->isEnabled() && !window.isConverting()
        && part<nimbus::ProgressBar>(window, "progress")->isHidden();
}

QString progressText(const SelectFileWidget& window)
{
    const auto* label = part<nimbus::ProgressBar>(window, "progress")->findChild<QLabel*>();
    return label ? label->text() : QStringLiteral("<no label>");
}

// Names in `dir` other than the inputs and finished ilas files: unfinished
// outputs under any name.
QStringList leftovers(const QTemporaryDir& dir)
{
    QStringList odd;
    const QStringList names = QDir(dir.path()).entryList(QDir::Files);
    for (const QString& name : names) {
        if (name.endsWith(QLatin1String(".xyz")))
            continue;
        if (!name.endsWith(QLatin1String(".ilas")) || !finishedIlas(dir.filePath(name)))
            odd << name;
    }
    return odd;
}

// Runs the application's event loop as main() does, giving up after a minute.
int runEventLoop()
{
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    guard.start(kConversionTimeoutMs);
    return QCoreApplication::exec();
}

void addAndStart(ScriptedDialogs& dialogs, SelectFileWidget& window, const QStringList& paths)
{
    dialogs.fileAnswers.append(paths);
    part<QPushButton>(window, "addButton")->click();
    part<QPushButton>(window, "okButton")->click();
}

} // namespace

class ConversionTest : public QObject {
    Q_OBJECT
private slots:
    void convertsThroughTheWindowAndRunsAgainWithTheSameDriver();
    void summaryListsEveryFileWorthNoting();
    void closingWhenIdleAsksNothing();
    void closingWhileConvertingKeepsGoingOnNo();
    void closingWhileConvertingStopsCleanlyOnYes();
    void closingAfterTheRunEndedDuringTheQuestion();
    void summaryWaitsForTheStopQuestionAnsweredNo();
    void terminationSignalStopsCleanlyAndEndsTheLoop();
    void terminationSignalWhenIdleEndsTheLoop();
    void terminationSignalWhileTheStopQuestionIsOpen();
    void destroyingTheWindowWhileConvertingStopsCleanly();
    void allocationWarningIsShownOnTheGuiThread();
    void clashingFilesAreNotConvertedUntilOneIsUnticked();
    void cancelStopsTheRunAndKeepsWhatWasThere();
};

void ConversionTest::convertsThroughTheWindowAndRunsAgainWithTheSameDriver()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString first = writeXyz(dir, QStringLiteral("a.xyz"), 400);
    QVERIFY(!first.isEmpty());

    ScriptedDialogs dialogs;
    SelectFileWidget window;
    window.show();
    QString textAtBox;
    bool busyAtBox = false;
    bool progressBetweenListAndButtons = false;
    dialogs.whileBoxOpen = [&](const ShownBox&) {
        textAtBox = progressText(window);
        busyAtBox = !part<QPushButton>(window, "okButton")->isEnabled()
            && !part<QPushButton>(window, "cancelButton")->isEnabled();
        // The progress area shows between the list and the OK/Cancel row
        // (laid out as a real box's own event loop would have done by now).
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const QWidget* area = part<nimbus::ProgressBar>(window, "progress");
        progressBetweenListAndButtons = area->isVisible()
            && part<QListWidget>(window, "fileList")->geometry().bottom() < area->geometry().top()
            && area->geometry().bottom() < part<QPushButton>(window, "okButton")->geometry().top();
    };

    addAndStart(dialogs, window, {first});
    QVERIFY(window.isConverting());
    QVERIFY(!part<QPushButton>(window, "okButton")->isEnabled());
    // Cancel now stops the run (tested on its own below).
    QVERIFY(part<QPushButton>(window, "cancelButton")->isEnabled());
    // Add, delete and select-all stay usable during a run.
    QVERIFY(part<QPushButton>(window, "addButton")->isEnabled());
    QVERIFY(part<QPushButton>(window, "deleteButton")->isEnabled());

    QTRY_VERIFY_WITH_TIMEOUT(idle(window), kConversionTimeoutMs);
    QCOMPARE(dialogs.boxes.size(), 1);
    const ShownBox box = dialogs.boxes.first();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.title, QStringLiteral("耗时"));
    QVERIFY(box.onGuiThread);
    // The time, then where the outputs went.
    QVERIFY2(QRegularExpression(kElapsedLine + QStringLiteral("输出文件夹: %1\n$")
                                                  .arg(QRegularExpression::escape(QDir::toNativeSeparators(dir.path()))))
                 .match(box.text)
                 .hasMatch(),
             qPrintable(box.text));
    QVERIFY(busyAtBox);
    QVERIFY(progressBetweenListAndButtons);
    // The prompt is the reader's or, once blocks are made, the splitter's.
    const QRegularExpression lastText(QStringLiteral("^(转换中|已处理):\\[%1/%2\\]100%$"));
    QVERIFY2(QRegularExpression(lastText.pattern().arg(1).arg(1)).match(textAtBox).hasMatch(),
             qPrintable(textAtBox));

    const QString firstOutput = dir.filePath(QStringLiteral("a.ilas"));
    const IlasSummary header = readIlasHeader(firstOutput);
    QVERIFY(header.readable);
    QCOMPARE(header.magic, QByteArray("Quillfen-ilas-v2.1"));
    QCOMPARE(header.pointCount, qint64(400));
    QCOMPARE(header.origin[0], 100.5);
    QCOMPARE(header.origin[1], 200.5);
    QCOMPARE(header.origin[2], 50.0);
    QCOMPARE(header.hasColor, quint8(0));

    const QList<FastConvertor*> drivers = window.findChildren<FastConvertor*>();
    QCOMPARE(drivers.size(), 1);
    const QPointer<FastConvertor> driver = drivers.first();

    // Second run: one more file, both checked; the progress area counts from
    // the new list and the same driver does the work.
    QVERIFY(QFile::remove(firstOutput));
    const QString second = writeXyz(dir, QStringLiteral("b.xyz"), 150);
    addAndStart(dialogs, window, {second});
    QVERIFY(window.isConverting());
    QTRY_VERIFY_WITH_TIMEOUT(idle(window), kConversionTimeoutMs);
    QCOMPARE(dialogs.boxes.size(), 2);
    QVERIFY2(QRegularExpression(lastText.pattern().arg(2).arg(2)).match(textAtBox).hasMatch(),
             qPrintable(textAtBox));
    QCOMPARE(window.findChildren<FastConvertor*>().size(), 1);
    QVERIFY(driver);
    QCOMPARE(window.findChildren<FastConvertor*>().first(), driver.data());
    QVERIFY(finishedIlas(firstOutput));
    QCOMPARE(readIlasHeader(dir.filePath(QStringLiteral("b.ilas"))).pointCount, qint64(150));
}

void ConversionTest::clashingFilesAreNotConvertedUntilOneIsUnticked()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString xyz = writeXyz(dir, QStringLiteral("a.xyz"), 200);
    const QString dat = writeXyz(dir, QStringLiteral("b.xyz"), 100);
    const QString pts = dir.filePath(QStringLiteral("a.pts"));
    QVERIFY(QFile::copy(dat, pts));

    ScriptedDialogs dialogs;
    SelectFileWidget window;
    window.show();
    addAndStart(dialogs, window, {xyz, pts});
    QVERIFY(!window.isConverting());
    QVERIFY(idle(window));
    QCOMPARE(dialogs.boxes.size(), 1);
    QCOMPARE(dialogs.boxes.first().title, QStringLiteral("提示"));
    QVERIFY2(dialogs.boxes.first().text.contains(xyz) && dialogs.boxes.first().text.contains(pts),
             qPrintable(dialogs.boxes.first().text));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("a.ilas"))));

    // Unticking one lets the other through.
    auto* list = part<QListWidget>(window, "fileList");
    QCOMPARE(list->count(), 2);
    list->item(1)->setCheckState(Qt::Unchecked);
    part<QPushButton>(window, "okButton")->click();
    QVERIFY(window.isConverting());
    QTRY_VERIFY_WITH_TIMEOUT(idle(window), kConversionTimeoutMs);
    QCOMPARE(dialogs.countTitled(QStringLiteral("耗时")), 1);
    QCOMPARE(readIlasHeader(dir.filePath(QStringLiteral("a.ilas"))).pointCount, qint64(200));
}

void ConversionTest::summaryListsEveryFileWorthNoting()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString good = writeXyz(dir, QStringLiteral("good.xyz"), 50);
    const QString missing = dir.filePath(QStringLiteral("missing.las"));

    // A cloud too sparse to store any point, one that breaks off (its points
    // kept apart), and one with a line that gives no point.
    const QString sparse = dir.filePath(QStringLiteral("sparse.las"));
    const QString clipped = dir.filePath(QStringLiteral("clipped.las"));
    QVERIFY(QFile::copy(QStringLiteral(QUILLFEN_SOURCE_DIR "/../shared/testdata/las/laspy/simple.las"), sparse));
    QVERIFY(QFile::copy(QStringLiteral(QUILLFEN_SOURCE_DIR "/../shared/testdata/las/pdal/1.2-with-color-clipped.las"),
                        clipped));
    const QString noted = dir.filePath(QStringLiteral("noted.xyz"));
    {
        QFile file(noted);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("1,2,3\nno point here\n");
        for (int i = 0; i < 20; ++i)
            file.write(QByteArray::number(1 + i * 0.1) + ",2.5,3\n");
    }
    // Refused by the PCD, PLY and E57 readers, each with its own reason.
    const QString headless = dir.filePath(QStringLiteral("headless.pcd"));
    QVERIFY(QFile::copy(QStringLiteral(QUILLFEN_SOURCE_DIR "/../shared/testdata/pcd/pdal/missingheader.pcd"), headless));
    const QString notPly = dir.filePath(QStringLiteral("text.ply"));
    {
        QFile file(notPly);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("1 2 3\n");
    }
    const QString damagedScan = dir.filePath(QStringLiteral("damaged.e57"));
    QVERIFY(QFile::copy(QStringLiteral(QUILLFEN_SOURCE_DIR "/../shared/testdata/e57/libe57-test-data/bad-crc.e57"),
                        damagedScan));

    ScriptedDialogs dialogs;
    SelectFileWidget window;
    addAndStart(dialogs, window, {missing, good, sparse, clipped, noted, headless, notPly, damagedScan});
    QTRY_VERIFY_WITH_TIMEOUT(idle(window), kConversionTimeoutMs);

    QCOMPARE(dialogs.countTitled(QStringLiteral("耗时")), 1);
    const QString text = dialogs.boxes.last().text;
    const QRegularExpressionMatch elapsed = QRegularExpression(kElapsedLine).match(text);
    QVERIFY2(elapsed.hasMatch(), qPrintable(text));
    const QString rest = text.mid(elapsed.capturedLength());
    // Files without points first, then failures (with the partial output's
    // place), then every file's notes; the good file is not mentioned.
    const int empty = rest.indexOf(QStringLiteral("以下文件没有存储任何点:\n%1 -> ").arg(sparse));
    const int failed = rest.indexOf(QStringLiteral("以下文件转换失败:\n"));
    const int notes = rest.indexOf(QStringLiteral("附注:\n"));
    QVERIFY2(empty == 0 && failed > empty && notes > failed, qPrintable(text));
    // The driver's notes and reasons come in the window's language.
    QVERIFY2(rest.contains(QStringLiteral(": 每个网格中的点都少于 10 个\n")), qPrintable(text));
    QVERIFY2(!rest.contains(QStringLiteral("every cell held")), qPrintable(text));
    QVERIFY2(rest.indexOf(missing + QStringLiteral(": ")) > failed, qPrintable(text));
    QVERIFY2(rest.contains(QStringLiteral("已读取的点保存在: ")
                           + QDir::toNativeSeparators(dir.filePath(QStringLiteral("clipped.partial.ilas")))),
             qPrintable(text));
    QVERIFY2(rest.indexOf(noted + QStringLiteral(": 已跳过 1 个")) > notes, qPrintable(text));
    QVERIFY2(!rest.contains(good), qPrintable(text));
    QVERIFY(finishedIlas(dir.filePath(QStringLiteral("good.ilas"))));

    // The readers' own reasons, nested ones and the system's words among
    // them, come in the window's language too.
    QVERIFY2(rest.contains(missing + QStringLiteral(": 无法打开 ") + missing + QStringLiteral(": 没有该文件或文件夹\n")),
             qPrintable(text));
    QVERIFY2(rest.contains(clipped + QStringLiteral(": 文件在 1065 个点中读到第 1064 个时就结束了\n")), qPrintable(text));
    QVERIFY2(rest.contains(headless + QStringLiteral(": 不是 PCD 文件: 文件头中有无法识别的行\n")), qPrintable(text));
    QVERIFY2(rest.contains(notPly + QStringLiteral(": 不是 PLY 文件\n")), qPrintable(text));
    QVERIFY2(rest.contains(damagedScan + QStringLiteral(": 第 0 页的校验和不符（第 0 至 1023 字节）\n")), qPrintable(text));
    // Beyond file names and numbers nothing is left in English: the names
    // of formats and of the tools' own file kinds are all that may remain.
    QString words = rest;
    const char* const names[] = {"missing.las", "good.xyz",  "good.ilas",   "sparse.las",  "sparse.ilas",
                                 "clipped.las", "clipped.partial.ilas",     "noted.xyz",   "noted.ilas",
                                 "headless.pcd", "text.ply", "damaged.e57"};
    for (const char* name : names) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        words.remove(path).remove(QDir::toNativeSeparators(path));
    }
    words.remove(dir.path()).remove(QDir::toNativeSeparators(dir.path()));
    words.remove(QRegularExpression(QStringLiteral("\\b(LAS|PCD|PLY)\\b")));
    QVERIFY2(!words.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))), qPrintable(words));
}

void ConversionTest::closingWhenIdleAsksNothing()
{
    ScriptedDialogs dialogs;
    SelectFileWidget window;
    window.show();
    QVERIFY(window.close());
    QVERIFY(!window.isVisible());
    QVERIFY(dialogs.questions.isEmpty());
}

void ConversionTest::closingWhileConvertingKeepsGoingOnNo()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString input = writeXyz(dir, QStringLiteral("keep.xyz"), 20000);

    ScriptedDialogs dialogs;
    SelectFileWidget window;
    window.show();
    addAndStart(dialogs, window, {input});
    dialogs.confirmAnswers = {false};
    QVERIFY(!window.close());
    QCOMPARE(dialogs.questions.size(), 1);
    QVERIFY(window.isVisible());
    QVERIFY(window.isConverting());

    QTRY_VERIFY_WITH_TIMEOUT(idle(window), kConversionTimeoutMs);
    QVERIFY(window.isVisible());
    QCOMPARE(dialogs.countTitled(QStringLiteral("耗时")), 1);
    QCOMPARE(readIlasHeader(dir.filePath(QStringLiteral("keep.ilas"))).pointCount, qint64(20000));
}

void ConversionTest::closingWhileConvertingStopsCleanlyOnYes()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList inputs;
    for (const char* name : {"s1.xyz", "s2.xyz", "s3.xyz"})
        inputs << writeXyz(dir, QString::fromLatin1(name), 60000);

    ScriptedDialogs dialogs;
    SelectFileWidget window;
    window.show();
    addAndStart(dialogs, window, inputs);
    dialogs.confirmAnswers = {true};
    QVERIFY(!window.close()); // closes later, once the driver has stopped
    QCOMPARE(dialogs.questions.size(), 1);
    // Asking again while stopping would be pointless.
    QVERIFY(!window.close());
    QCOMPARE(dialogs.questions.size(), 1);

    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), kConversionTimeoutMs);
    QVERIFY(!window.isConverting());
    QCOMPARE(dialogs.countTitled(QStringLiteral("耗时")), 0);
    // No half-written output: whatever is left is finished, and the last
    // file was never started.
    for (const char* name : {"s1.ilas", "s2.ilas", "s3.ilas"}) {
        const QString output = dir.filePath(QString::fromLatin1(name));
        QVERIFY2(!QFile::exists(output) || finishedIlas(output), name);
    }
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("s3.ilas"))));
}

void ConversionTest::closingAfterTheRunEndedDuringTheQuestion()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString input = writeXyz(dir, QStringLiteral("quick.xyz"), 30);

    ScriptedDialogs dialogs;
    SelectFileWidget window;
    window.show();
    addAndStart(dialogs, window, {input});
    // The user takes long to answer; meanwhile the run ends. Its summary must
    // not open on top of the question.
    int boxesDuringQuestion = -1;
    dialogs.whileQuestionOpen = [&] {
        QTRY_VERIFY_WITH_TIMEOUT(!window.isConverting(), kConversionTimeoutMs);
        QTest::qWait(50);
        boxesDuringQuestion = dialogs.boxes.size();
    };
    bool visibleAtBox = false;
    dialogs.whileBoxOpen = [&](const ShownBox&) { visibleAtBox = window.isVisible(); };
    dialogs.confirmAnswers = {true};
    QVERIFY(window.close());
    QCOMPARE(boxesDuringQuestion, 0);
    // Yes still closes the window, after the summary of the run that ended.
    QVERIFY(!window.isVisible());
    QCOMPARE(dialogs.countTitled(QStringLiteral("耗时")), 1);
    QVERIFY(visibleAtBox);
    QVERIFY2(QRegularExpression(kElapsedLine + QStringLiteral("输出文件夹: [^\n]+\n$")).match(dialogs.boxes.first().text).hasMatch(),
             qPrintable(dialogs.boxes.first().text));
    QVERIFY(finishedIlas(dir.filePath(QStringLiteral("quick.ilas"))));
}

void ConversionTest::summaryWaitsForTheStopQuestionAnsweredNo()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString good = writeXyz(dir, QStringLiteral("fine.xyz"), 30);
    const QString missing = dir.filePath(QStringLiteral("gone.las"));

    ScriptedDialogs dialogs;
    SelectFileWidget window;
    window.show();
    addAndStart(dialogs, window, {missing, good});
    int boxesDuringQuestion = -1;
    dialogs.whileQuestionOpen = [&] {
        QTRY_VERIFY_WITH_TIMEOUT(!window.isConverting(), kConversionTimeoutMs);
        QTest::qWait(50);
        boxesDuringQuestion = dialogs.boxes.size();
    };
    dialogs.confirmAnswers = {false};
    QVERIFY(!window.close());
    QCOMPARE(boxesDuringQuestion, 0);
    QCOMPARE(dialogs.questions.size(), 1);
    // No keeps the window, now idle, and shows the held summary once.
    QVERIFY(window.isVisible());
    QVERIFY(idle(window));
    QTest::qWait(50);
    QCOMPARE(dialogs.boxes.size(), 1);
    QCOMPARE(dialogs.boxes.first().title, QStringLiteral("耗时"));
    QVERIFY2(dialogs.boxes.first().text.contains(missing), qPrintable(dialogs.boxes.first().text));
    // The window is still in working order.
    QVERIFY(window.close());
    QCOMPARE(dialogs.questions.size(), 1);
}

void ConversionTest::terminationSignalStopsCleanlyAndEndsTheLoop()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList inputs;
    for (const char* name : {"t1.xyz", "t2.xyz", "t3.xyz"})
        inputs << writeXyz(dir, QString::fromLatin1(name), 60000);

    ScriptedDialogs dialogs;
    SelectFileWidget window;
    // Picked up on the loop's first turn, long before the run could end.
    nimbus::quitOnTerminationSignals(window, 1);
    QSignalSpy quits(&window, &SelectFileWidget::quitRequested);
    window.show();
    addAndStart(dialogs, window, inputs);
    QVERIFY(window.isConverting());
    std::raise(SIGTERM);
    QVERIFY(window.isConverting()); // nothing happens inside the handler
    QCOMPARE(runEventLoop(), 128 + SIGTERM);

    QCOMPARE(quits.size(), 1);
    QVERIFY(!window.isConverting());
    QVERIFY(dialogs.questions.isEmpty());
    QCOMPARE(dialogs.countTitled(QStringLiteral("耗时")), 0);
    QVERIFY2(leftovers(dir).isEmpty(), qPrintable(leftovers(dir).join(QLatin1Char(' '))));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("t3.ilas"))));
}

void ConversionTest::terminationSignalWhenIdleEndsTheLoop()
{
    ScriptedDialogs dialogs;
    SelectFileWidget window;
    nimbus::quitOnTerminationSignals(window, 1);
    window.show();
    QTimer::singleShot(0, [] { std::raise(SIGINT); });
    QCOMPARE(runEventLoop(), 128 + SIGINT);
    QVERIFY(dialogs.questions.isEmpty());
    QVERIFY(dialogs.boxes.isEmpty());
}

void ConversionTest::terminationSignalWhileTheStopQuestionIsOpen()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList inputs;
    for (const char* name : {"q1.xyz", "q2.xyz", "q3.xyz"})
        inputs << writeXyz(dir, QString::fromLatin1(name), 60000);

    ScriptedDialogs dialogs;
    SelectFileWidget window;
    QSignalSpy quits(&window, &SelectFileWidget::quitRequested);
    window.show();
    addAndStart(dialogs, window, inputs);
    bool quitWaitedForTheStop = false;
    dialogs.whileQuestionOpen = [&] {
        window.stopAndQuit(143);
        quitWaitedForTheStop = quits.isEmpty() && window.isConverting();
        QTRY_COMPARE_WITH_TIMEOUT(quits.size(), 1, kConversionTimeoutMs);
    };
    dialogs.confirmAnswers = {false};
    QVERIFY(!window.close());
    QVERIFY(quitWaitedForTheStop);
    QCOMPARE(quits.size(), 1);
    QCOMPARE(quits.first().first().toInt(), 143);
    QVERIFY(!window.isConverting());
    QCOMPARE(dialogs.countTitled(QStringLiteral("耗时")), 0);
    // Once quitting, neither another close nor another signal asks or emits.
    QVERIFY(!window.close() || !window.isVisible());
    window.stopAndQuit(143);
    QCOMPARE(quits.size(), 1);
    QCOMPARE(dialogs.questions.size(), 1);
    QVERIFY2(leftovers(dir).isEmpty(), qPrintable(leftovers(dir).join(QLatin1Char(' '))));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("q3.ilas"))));
}

void ConversionTest::destroyingTheWindowWhileConvertingStopsCleanly()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList inputs;
    for (const char* name : {"d1.xyz", "d2.xyz", "d3.xyz"})
        inputs << writeXyz(dir, QString::fromLatin1(name), 60000);

    ScriptedDialogs dialogs;
    auto window = std::make_unique<SelectFileWidget>();
    addAndStart(dialogs, *window, inputs);
    QVERIFY(window->isConverting());
    window.reset(); // stops the driver and waits for it
    QCoreApplication::processEvents();

    QCOMPARE(dialogs.countTitled(QStringLiteral("耗时")), 0);
    for (const char* name : {"d1.ilas", "d2.ilas", "d3.ilas"}) {
        const QString output = dir.filePath(QString::fromLatin1(name));
        QVERIFY2(!QFile::exists(output) || finishedIlas(output), name);
    }
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("d3.ilas"))));
}

void ConversionTest::allocationWarningIsShownOnTheGuiThread()
{
    ScriptedDialogs dialogs;
    std::unique_ptr<QThread> worker(QThread::create([] { nimbus::showAllocationWarning(); }));
    worker->start();
    QTRY_VERIFY_WITH_TIMEOUT(worker->isFinished(), 10000);
    QCOMPARE(dialogs.boxes.size(), 1);
    QCOMPARE(dialogs.boxes.first().icon, QMessageBox::Warning);
    QCOMPARE(dialogs.boxes.first().title, QStringLiteral("警告"));
    QCOMPARE(dialogs.boxes.first().text, QStringLiteral("内存申请失败pos4！"));
    QVERIFY(dialogs.boxes.first().onGuiThread);

    // Directly on the GUI thread it needs no hop.
    nimbus::showAllocationWarning();
    QCOMPARE(dialogs.boxes.size(), 2);
    QVERIFY(dialogs.boxes.last().onGuiThread);
}

void ConversionTest::cancelStopsTheRunAndKeepsWhatWasThere()
{
    // A small first file, a large second one with an output of an earlier
    // run, and a third the stop never reaches.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString first = writeXyz(dir, QStringLiteral("c1.xyz"), 300);
    const QString second = writeXyz(dir, QStringLiteral("c2.xyz"), 3000000);
    const QString third = writeXyz(dir, QStringLiteral("c3.xyz"), 300);
    QVERIFY(!first.isEmpty() && !second.isEmpty() && !third.isEmpty());
    const QString earlier = dir.filePath(QStringLiteral("c2.ilas"));
    {
        QFile file(earlier);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("the output of an earlier run");
    }

    ScriptedDialogs dialogs;
    SelectFileWidget window;
    window.show();
    addAndStart(dialogs, window, {first, second, third});
    auto* cancel = part<QPushButton>(window, "cancelButton");
    QTRY_VERIFY_WITH_TIMEOUT(progressText(window).contains(QStringLiteral("[2/3]")), kConversionTimeoutMs);
    QVERIFY(window.isConverting());
    QVERIFY(cancel->isEnabled());
    QElapsedTimer sinceClick;
    sinceClick.start();
    cancel->click();
    // Asked once: a second click cannot reach Cancel's idle meaning (ending
    // the program) before the run has ended.
    QVERIFY(!cancel->isEnabled());
    QVERIFY2(progressText(window).startsWith(QStringLiteral("正在停止")), qPrintable(progressText(window)));
    QTRY_VERIFY_WITH_TIMEOUT(idle(window), kConversionTimeoutMs);
    QVERIFY2(sinceClick.elapsed() < 1000, qPrintable(QString::number(sinceClick.elapsed())));

    // The summary names the stopped file and the one never started.
    QCOMPARE(dialogs.countTitled(QStringLiteral("耗时")), 1);
    const QString text = dialogs.boxes.last().text;
    QVERIFY2(text.contains(QStringLiteral("以下文件转换失败:\n%1: 已被用户停止\n").arg(second)), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("停止时以下文件尚未转换:\n%1\n").arg(third)), qPrintable(text));
    QVERIFY2(!text.contains(first), qPrintable(text));
    // The finished file stays, the stopped one keeps its earlier output, the
    // third has none, and nothing unfinished is left.
    QCOMPARE(readIlasHeader(dir.filePath(QStringLiteral("c1.ilas"))).pointCount, qint64(300));
    QFile kept(earlier);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("the output of an earlier run"));
    kept.close(); // Windows removes no file that is still open
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("c3.ilas"))));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             QStringList({"c1.ilas", "c1.xyz", "c2.ilas", "c2.xyz", "c3.xyz"}));
    QVERIFY(window.isVisible());

    // The next run is not stopped by the earlier request.
    QVERIFY(QFile::remove(earlier));
    part<QPushButton>(window, "okButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(idle(window), kConversionTimeoutMs);
    QVERIFY(finishedIlas(earlier));
    QVERIFY(finishedIlas(dir.filePath(QStringLiteral("c3.ilas"))));
}

QTEST_MAIN(ConversionTest)
#include "conversion_test.moc"
