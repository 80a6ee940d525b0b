#pragma once

#include "registry_reader.h"

#include <QByteArray>
#include <map>

namespace tarn3d {

// Registry view over an export in the .reg text format ("Windows Registry
// Editor Version 5.00" or "REGEDIT4", UTF-16LE or UTF-8). Key and value
// names are matched ignoring case, as the registry does. String, expandable
// string (hex(2)), multi-string (hex(7), joined by line breaks) and dword
// values are readable; other binary values read as empty text.
class RegFileRegistry : public RegistryReader {
public:
    RegFileRegistry();
    ~RegFileRegistry() override;

    // Replaces the contents with the parsed text. Returns false, leaving the
    // registry empty and errorString() set, when the header is missing.
    // Malformed lines, and keys nested deeper than the registry allows (512
    // levels), are skipped and counted.
    bool parse(const QByteArray& data);
    bool load(const QString& filePath);
    QString errorString() const { return error_; }
    int skippedLines() const { return skippedLines_; }

    QStringList subkeys(const QString& keyPath) const override;
    QStringList valueNames(const QString& keyPath) const override;
    QString readString(const QString& keyPath, const QString& valueName) const override;

private:
    struct Key;
    Key* findKey(const QString& keyPath) const;
    Key* makeKey(const QString& keyPath);
    void removeKey(const QString& keyPath);
    bool parseValueLine(Key* key, const QString& line);

    std::unique_ptr<Key> root_;
    QString error_;
    int skippedLines_ = 0;
};

} // namespace tarn3d
