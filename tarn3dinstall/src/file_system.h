#pragma once

#include <QByteArray>
#include <QString>

namespace tarn3d {

// Every change the installer makes to the disk goes through this interface,
// so tests can make any single step fail. Each call returns false on failure
// and puts the reason (the system's error text) into `error`.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual bool makeDir(const QString& path, QString* error) = 0;
    // Deletes an empty folder.
    virtual bool removeDir(const QString& path, QString* error) = 0;
    // Copies a file to a new file; `destination` must not exist yet. A failed
    // copy removes what it wrote.
    virtual bool copyFile(const QString& source, const QString& destination, QString* error) = 0;
    // Writes a new file with the given bytes; `path` must not exist yet.
    virtual bool writeFile(const QString& path, const QByteArray& bytes, QString* error) = 0;
    virtual bool readFile(const QString& path, QByteArray* bytes, QString* error) = 0;
    // Renames a file or folder; `replace` lets it take the place of an
    // existing file in one step.
    virtual bool rename(const QString& from, const QString& to, bool replace, QString* error) = 0;
    // Deletes a file or a symbolic link.
    virtual bool removeFile(const QString& path, QString* error) = 0;
    // Deletes a folder with everything in it; a link to a folder loses only the link.
    virtual bool removeTree(const QString& path, QString* error) = 0;
    // The file is marked read-only (attribute or permission bits).
    virtual bool isReadOnly(const QString& path) = 0;
};

// The real disk.
class SystemFileSystem : public FileSystem {
public:
    bool makeDir(const QString& path, QString* error) override;
    bool removeDir(const QString& path, QString* error) override;
    bool copyFile(const QString& source, const QString& destination, QString* error) override;
    bool writeFile(const QString& path, const QByteArray& bytes, QString* error) override;
    bool readFile(const QString& path, QByteArray* bytes, QString* error) override;
    bool rename(const QString& from, const QString& to, bool replace, QString* error) override;
    bool removeFile(const QString& path, QString* error) override;
    bool removeTree(const QString& path, QString* error) override;
    bool isReadOnly(const QString& path) override;
};

} // namespace tarn3d
