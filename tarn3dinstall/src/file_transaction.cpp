#include "file_transaction.h"

#include "install_texts.h"

#include <QFileInfo>

namespace tarn3d {

namespace {

// Present as anything, a dangling link included.
bool present(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

FileTransaction::FileTransaction(FileSystem& files) : files_(files) {}

void FileTransaction::reserve(const QString& path)
{
    reserved_.append(path);
}

bool FileTransaction::failed(const QString& text)
{
    error_ = text;
    return false;
}

QString FileTransaction::freeSibling(const QString& path, const QString& tag)
{
    const QString base = path + QStringLiteral(".tarn3d-") + tag;
    for (int n = 0;; ++n) {
        const QString candidate = n == 0 ? base : base + QLatin1Char('-') + QString::number(n);
        // Ignoring case: on Windows two spellings name one file.
        if (!present(candidate) && !reserved_.contains(candidate, Qt::CaseInsensitive)) {
            reserved_.append(candidate);
            return candidate;
        }
    }
}

bool FileTransaction::makePath(const QString& dir)
{
    QStringList missing;
    QString path = dir;
    while (!present(path)) {
        missing.prepend(path);
        const QString parent = QFileInfo(path).path();
        if (parent == path || parent.isEmpty())
            break;
        path = parent;
    }
    for (const QString& folder : missing) {
        QString reason;
        if (!files_.makeDir(folder, &reason))
            return failed(texts::cannotCreateFolder(folder, reason));
        steps_.append({StepKind::CreatedDir, folder, QString()});
    }
    return true;
}

bool FileTransaction::stageCopy(const QString& source, const QString& destination)
{
    const QString staged = freeSibling(destination, QStringLiteral("new"));
    steps_.append({StepKind::StagedFile, staged, QString()});
    QString reason;
    if (!files_.copyFile(source, staged, &reason))
        return failed(texts::cannotWrite(destination, reason));
    pending_.append({staged, destination, QString()});
    return true;
}

bool FileTransaction::stageReplacement(const QString& path, const QByteArray& content)
{
    const QString staged = freeSibling(path, QStringLiteral("new"));
    steps_.append({StepKind::StagedFile, staged, QString()});
    QString reason;
    if (!files_.writeFile(staged, content, &reason))
        return failed(texts::cannotWrite(path, reason));
    // The old content is kept as a whole file too, so undoing the swap is a
    // rename again and needs no free space.
    const QString backup = freeSibling(path, QStringLiteral("old"));
    steps_.append({StepKind::StagedFile, backup, QString()});
    if (!files_.copyFile(path, backup, &reason))
        return failed(texts::cannotBackUp(path, reason));
    pending_.append({staged, path, backup});
    return true;
}

bool FileTransaction::stageRemoval(const QString& path)
{
    const QString aside = freeSibling(path, QStringLiteral("old"));
    QString reason;
    if (!files_.rename(path, aside, false, &reason))
        return failed(texts::cannotMove(path, reason));
    steps_.append({StepKind::MovedAside, path, aside});
    return true;
}

bool FileTransaction::commit()
{
    QString reason;
    for (const Pending& item : pending_) {
        if (!item.backup.isEmpty()) {
            if (!files_.rename(item.staged, item.destination, true, &reason))
                return failed(texts::cannotReplace(item.destination, reason));
            steps_.append({StepKind::Replaced, item.destination, item.backup});
            continue;
        }
        if (present(item.destination)) {
            const QString aside = freeSibling(item.destination, QStringLiteral("old"));
            if (!files_.rename(item.destination, aside, false, &reason))
                return failed(texts::cannotMove(item.destination, reason));
            steps_.append({StepKind::MovedAside, item.destination, aside});
        }
        if (!files_.rename(item.staged, item.destination, false, &reason))
            return failed(texts::cannotReplace(item.destination, reason));
        steps_.append({StepKind::MovedIn, item.destination, item.staged});
    }
    pending_.clear();
    return true;
}

QStringList FileTransaction::finish()
{
    QStringList leftovers;
    QString reason;
    for (const Step& step : steps_) {
        const bool dropsCopy = step.kind == StepKind::MovedAside || step.kind == StepKind::Replaced;
        if (dropsCopy && present(step.other) && !files_.removeTree(step.other, &reason))
            leftovers.append(texts::leftBehind(step.other, reason));
    }
    steps_.clear();
    pending_.clear();
    return leftovers;
}

QStringList FileTransaction::rollback()
{
    QStringList problems;
    QStringList stillNeeded; // old copies that could not be put back stay where they are
    QString reason;
    for (auto step = steps_.crbegin(); step != steps_.crend(); ++step) {
        switch (step->kind) {
        case StepKind::CreatedDir:
            if (!files_.removeDir(step->path, &reason))
                problems.append(texts::leftBehind(step->path, reason));
            break;
        case StepKind::StagedFile:
            if (stillNeeded.contains(step->path) || !present(step->path))
                break;
            if (!files_.removeFile(step->path, &reason))
                problems.append(texts::leftBehind(step->path, reason));
            break;
        case StepKind::MovedAside:
            if (!files_.rename(step->other, step->path, false, &reason))
                problems.append(texts::notRestored(step->path, step->other, reason));
            break;
        case StepKind::MovedIn:
            if (!files_.rename(step->path, step->other, false, &reason))
                problems.append(texts::notRestored(step->path, QString(), reason));
            break;
        case StepKind::Replaced:
            if (!files_.rename(step->other, step->path, true, &reason)) {
                problems.append(texts::notRestored(step->path, step->other, reason));
                stillNeeded.append(step->other);
            }
            break;
        }
    }
    steps_.clear();
    pending_.clear();
    return problems;
}

} // namespace tarn3d
