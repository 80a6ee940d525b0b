#pragma once
// Every reason the PCD and PLY library reports, as messages (see nimbusreason.h).

#include "nimbusreason.h"

namespace nimbus::pcd::msg {

#define NIMBUS_PCD_MESSAGES(X)                                                                              \
    X(kCannotReadHeader, "cannot read the header")                                                         \
    X(kPcdBadWidthHeight, "not a PCD file: unusable WIDTH or HEIGHT entry")                                \
    X(kPcdBadPoints, "not a PCD file: unusable POINTS entry")                                              \
    X(kPcdUnexpectedLine, "not a PCD file: unexpected header line")                                        \
    X(kPcdLacksEntries, "not a PCD file: the header lacks FIELDS, POINTS or DATA")                         \
    X(kPcdUnknownData, "not a PCD file: unknown DATA kind")                                                \
    X(kPcdEntriesPerField, "not a PCD file: SIZE, TYPE and COUNT do not give one entry per field")         \
    X(kPcdBadSizeCount, "not a PCD file: unusable SIZE or COUNT entry")                                    \
    X(kPcdShapeMismatch, "WIDTH %1 × HEIGHT %2 does not match POINTS %3")                                  \
    X(kNotPly, "not a PLY file")                                                                           \
    X(kPlyHeaderNotEnding, "not a PLY file: the header does not end")                                      \
    X(kPlyUnknownFormat, "not a PLY file: unknown format")                                                 \
    X(kPlyBadVertexCount, "not a PLY file: unusable vertex count")                                         \
    X(kPlyVertexLists, "the PLY file's vertices hold lists, which are not read")                           \
    X(kPlyBadProperty, "not a PLY file: unusable vertex property")                                         \
    X(kPlyUnexpectedLine, "not a PLY file: unexpected header line")                                        \
    X(kPlyLacksFormat, "not a PLY file: the header lacks its format")                                      \
    X(kPlyNoVertices, "the PLY file has no vertices")                                                      \
    X(kPlyElementsBeforeVertices, "the PLY file stores other elements before its vertices, which is not read") \
    X(kNoXyzFields, "the cloud has no x, y and z fields")                                                  \
    X(kUnusableField, "the cloud's %1 field has an unusable type or offset")                               \
    X(kMorePointsThanFile, "the header announces more points than the file holds")                         \
    X(kEndsBeforeCompressed, "the file ends before its compressed data")                                   \
    X(kCompressedMismatch, "the compressed data does not match the header")                                \
    X(kNoMemoryToUnpack, "not enough memory to unpack the compressed data")                                \
    X(kCannotReadCompressed, "cannot read the compressed data")                                            \
    X(kNoMemoryForText, "not enough memory to read the text")                                              \
    X(kEndsAfterPoints, "the file ends after %1 of the %2 points its header announces")                    \
    X(kLineTooLong, "line %1 is too long")                                                                 \
    X(kCannotReadAfter, "cannot read the file after byte %1")                                              \
    X(kWrongValueCount, "line %1 holds %2 values separated by white space, but the header gives %3 per point") \
    X(kNotANumber, "line %1 holds a value that is not a number")                                           \
    X(kCannotReadPointsAfter, "cannot read the point data after byte %1")                                  \
    X(kLzfEndsInLiteral, "the compressed data ends inside a literal run")                                  \
    X(kLzfTooLong, "the compressed data unpacks to more bytes than announced")                             \
    X(kLzfEndsInReference, "the compressed data ends inside a back-reference")                             \
    X(kLzfReferenceBeforeStart, "a back-reference in the compressed data reaches before its start")        \
    X(kLzfOtherSize, "the compressed data unpacks to %1 bytes, not the %2 announced")
NIMBUS_DECLARE_MESSAGES(NIMBUS_PCD_MESSAGES)

} // namespace nimbus::pcd::msg
