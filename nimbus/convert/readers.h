#pragma once
// One reader per input format. Each converts the file at `path` into an ilas
// file beside it through a ReaderSession and returns true when the file was
// converted; on false the reason has reached the driver and no output is
// left behind.

#include <QString>

namespace nimbus {

class FastConvertor;

bool convertLasFile(FastConvertor* convertor, QString path); // LAS and LAZ
bool convertXyzFile(FastConvertor* convertor, QString path);
bool convertDatFile(FastConvertor* convertor, QString path); // also text under *.e57 names
bool convertPtsFile(FastConvertor* convertor, QString path);
bool convertPcdFile(FastConvertor* convertor, QString path);
bool convertPlyFile(FastConvertor* convertor, QString path);
// A scanner's E57 file (ASTM E2807); isE57Scan tells one from text under an
// .e57 name by its first eight bytes.
bool convertE57File(FastConvertor* convertor, QString path);
bool isE57Scan(const QString& path);

} // namespace nimbus
