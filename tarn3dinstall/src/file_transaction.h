#pragma once

#include "file_system.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace tarn3d {

// Changes to a set of files that take effect all together or not at all.
//
// Staging writes new content under free names beside the destinations and
// moves files to be removed aside; nothing a reader of the destinations sees
// has changed yet except new, empty folders. commit() then moves the staged
// files into place, each existing destination going aside first, and
// replaces whole files in one step. Until finish() every step can be undone:
// rollback() restores the old state step by step in reverse, and finish()
// drops the set-aside copies. Borrows the file system; meant for one use.
class FileTransaction {
public:
    explicit FileTransaction(FileSystem& files);

    // Names that staging must not take for its own files (the destinations
    // still to come), so a staged name never collides with a later file.
    void reserve(const QString& path);

    // Creates `dir` and any missing parent.
    bool makePath(const QString& dir);
    // Stages a copy of `source` that commit() puts at `destination`.
    bool stageCopy(const QString& source, const QString& destination);
    // Stages new content for an existing file that commit() swaps in one
    // step, so the file is never missing or cut short, even after a crash.
    bool stageReplacement(const QString& path, const QByteArray& content);
    // Moves a file, link or folder aside; finish() deletes it.
    bool stageRemoval(const QString& path);

    // Puts the staged files in place, in staging order.
    bool commit();
    // Deletes the set-aside copies; returns one text per copy left behind
    // (they hold nothing the new state needs).
    QStringList finish();
    // Undoes every step taken; returns one text per file or folder it could
    // not restore or clean up.
    QStringList rollback();

    // What made the last call fail: the path and the system's reason.
    QString error() const { return error_; }

private:
    enum class StepKind { CreatedDir, StagedFile, MovedAside, MovedIn, Replaced };
    struct Step {
        StepKind kind;
        QString path;  // the destination, folder or staged file
        QString other; // the set-aside or staged name paired with it
    };
    struct Pending {
        QString staged;
        QString destination;
        QString backup; // for a one-step replacement: copy of the old content
    };

    QString freeSibling(const QString& path, const QString& tag);
    bool failed(const QString& text);

    FileSystem& files_;
    QList<Step> steps_;
    QList<Pending> pending_;
    QStringList reserved_;
    QString error_;
};

} // namespace tarn3d
