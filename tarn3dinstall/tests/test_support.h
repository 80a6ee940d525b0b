#pragma once

#include "file_system.h"
#include "operation_observer.h"
#include "process_probe.h"
#include "reg_file_registry.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSet>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace tarn3d::test {

// A scratch folder tree that disappears with the object.
class TempTree {
public:
    TempTree();
    bool isValid() const { return dir_.isValid(); }
    QString root() const { return dir_.path(); }
    QString path(const QString& relative) const;
    QString mkdir(const QString& relative) const;
    QString write(const QString& relative, const QByteArray& content) const;
    QByteArray read(const QString& relative) const;
    bool exists(const QString& relative) const;

private:
    QTemporaryDir dir_;
};

// Builds the text of a .reg export, key by key.
class RegText {
public:
    RegText& value(const QString& keyPath, const QString& name, const QString& text);
    RegText& key(const QString& keyPath);
    RegText& raw(const QString& line);
    QString text() const;
    QByteArray utf8() const;
    QByteArray utf16WithBom() const;

private:
    QStringList lines_;
    QString currentKey_;
};

std::shared_ptr<RegFileRegistry> registryFrom(const RegText& text);

// Registry path of an AutoCAD-style profile settings key.
QString profileKey(const QString& root, const QString& release, const QString& product, const QString& profile,
                   const QString& group = QStringLiteral("General"));

extern const QString kAutoCadRoot;
extern const QString kAutoCadWowRoot;
extern const QString kZwcadRoot;
extern const QString kZwcadOemRoot;
extern const QString kGstarRoot;

// A Tarn plug-in folder with BIN, SYSTEM (holding the loader list) and BLOCKS.
struct PluginDirs {
    QString bin;
    QString system;
    QString blocks;
    QString searchPath() const { return QStringLiteral("C:\\Fonts;") + system + ';' + bin + ';' + blocks; }
};
PluginDirs makePluginDirs(const TempTree& tree, const QString& base, const QString& listName = QStringLiteral("acad.rx"),
                          const QByteArray& listContent = QByteArray("acetutil.arx\r\n"));

class FakeProcessProbe : public ProcessProbe {
public:
    bool running = false;
    QStringList asked;
    bool isRunning(const QString& executableName) const override
    {
        const_cast<FakeProcessProbe*>(this)->asked.append(executableName);
        return running;
    }
};

// Every file, folder and link under `root` by relative path: file bytes,
// "<dir>" or "<link> target". Two equal snapshots mean an untouched tree.
QMap<QString, QByteArray> snapshot(const QString& root);

// The real disk, except that chosen changes fail: the n-th change counted
// from 1 (makeDir, removeDir, copyFile, writeFile, rename, removeFile and
// removeTree each count one), and files listed as read-only. A failing copy
// or write leaves half the bytes behind, as a full disk would.
class FaultyFileSystem : public FileSystem {
public:
    QSet<int> failing;
    QStringList readOnlyFiles;
    int changes = 0;

    bool makeDir(const QString& path, QString* error) override;
    bool removeDir(const QString& path, QString* error) override;
    bool copyFile(const QString& source, const QString& destination, QString* error) override;
    bool writeFile(const QString& path, const QByteArray& bytes, QString* error) override;
    bool readFile(const QString& path, QByteArray* bytes, QString* error) override;
    bool rename(const QString& from, const QString& to, bool replace, QString* error) override;
    bool removeFile(const QString& path, QString* error) override;
    bool removeTree(const QString& path, QString* error) override;
    bool isReadOnly(const QString& path) override;

private:
    bool fails(QString* error);
    SystemFileSystem real_;
};

// Records everything an operation reports.
class RecordingObserver : public OperationObserver {
public:
    QStringList details;
    QStringList problems;
    QList<QPair<int, int>> ranges;
    QList<int> values;
    int responsiveCalls = 0;
    void setProgressRange(int minimum, int maximum) override { ranges.append({minimum, maximum}); }
    void setProgressValue(int value) override { values.append(value); }
    void appendDetail(const QString& text) override { details.append(text); }
    void keepResponsive() override { ++responsiveCalls; }
    void reportProblem(const QString& text) override
    {
        problems.append(text);
        details.append(text);
    }
};

} // namespace tarn3d::test
