#pragma once
// Where a conversion writes: the one place that knows the names of a
// conversion's files. The complete result is NAME.ilas (beside the input, or
// in a chosen output folder); it is written as NAME.ilas.XXXXXX.part until it
// is complete; the points of an input that broke off go to
// NAME.partial.ilas. Nothing may be written over the input itself.

#include <QString>
#include <QStringList>

#include <filesystem>

namespace nimbus {

namespace OutputNames {

// NAME.ilas for `inputPath` (NAME = the input's name without its last
// suffix), in `outputFolder` or, when that is empty, beside the input; with
// the platform's separators.
QString finalPath(const QString& inputPath, const QString& outputFolder = QString());

// NAME.partial.ilas beside `finalPath`.
QString partialPath(const QString& finalPath);

// NAME.prj beside NAME.ilas (or NAME.partial.prj beside
// NAME.partial.ilas): the coordinate system of the points in it.
QString coordinateSystemPath(const QString& ilasPath);

// The template QTemporaryFile turns into the unfinished file's name.
QString partTemplate(const QString& finalPath);

// Unfinished files of `finalPath` that exist now (NAME.ilas.*.part).
QStringList existingPartFiles(const QString& finalPath);

// True when writing `outputPath` would destroy `inputPath`: the same name,
// or an existing output name that leads to the input through a symbolic or
// a hard link.
bool wouldReplaceInput(const QString& inputPath, const QString& outputPath);
// The same for either file a conversion to `finalPath` may leave: the
// complete one or the partial one.
bool outputsWouldReplaceInput(const QString& inputPath, const QString& finalPath);

// `path` for the standard library's file functions.
std::filesystem::path fileSystemPath(const QString& path);

// True for names the converter writes itself (ilas files and unfinished
// ones); a folder given as input never converts these.
bool isConverterOutput(const QString& fileName);

} // namespace OutputNames

} // namespace nimbus
