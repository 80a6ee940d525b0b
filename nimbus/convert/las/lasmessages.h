#pragma once
// Every reason the LAS/LAZ library reports, as messages (see nimbusreason.h).

#include "nimbusreason.h"

namespace nimbus::las::msg {

#define NIMBUS_LAS_MESSAGES(X)                                                                              \
    X(kCannotOpen, "cannot open %1: %2")                                                                   \
    X(kCannotOpenNotRegular, "cannot open %1: not a regular file")                                         \
    X(kCannotDetermineSize, "cannot determine the size of %1")                                             \
    X(kCannotOpenBecause, "cannot open: %1")                                                               \
    X(kReadingStopped, "reading stopped: %1")                                                              \
    X(kNotLas, "not a LAS file (no LASF signature)")                                                       \
    X(kHeaderTruncated, "LAS header is truncated")                                                         \
    X(kUnsupportedVersion, "unsupported LAS version %1.%2")                                                \
    X(kHeaderSizeTooSmall, "LAS header size %1 is too small")                                              \
    X(kHeader14SizeTooSmall, "LAS 1.4 header size %1 is too small")                                        \
    X(kPointDataInsideHeader, "point data would start inside the header")                                  \
    X(kUnknownPointFormat, "unknown point format %1")                                                      \
    X(kRecordLengthTooSmall, "point record length %1 is too small")                                        \
    X(kRecordTooSmallForFormat, "point record length %1 is too small for point format %2")                 \
    X(kScaleUnusable, "%1 scale factor is %2; it must be a finite number other than 0")                    \
    X(kOffsetUnusable, "%1 offset is %2; it must be a finite number")                                      \
    X(kNotANumber, "not a number")                                                                         \
    X(kInfinite, "infinite")                                                                               \
    X(kCompressedWithoutRecord, "compressed point format without a LAZ compression record")                \
    X(kItemsMissPointFormat, "LAZ items do not hold point format %1")                                      \
    X(kLaszipRecordTooShort, "LAZ compression record is too short")                                        \
    X(kUnknownCompressor, "unknown LAZ compressor %1")                                                     \
    X(kUnknownCoder, "unknown LAZ coder %1")                                                               \
    X(kBrokenItemList, "LAZ compression record has a broken item list")                                    \
    X(kPointItemNotFirst, "LAZ item list does not start with the point item")                              \
    X(kPointItemTwice, "LAZ item list holds the point item twice")                                         \
    X(kItemsCoverOtherSize, "LAZ items cover %1 bytes but records are %2 bytes")                           \
    X(kItemFault, "LAZ item %1 (size %2, version %3): %4")                                                 \
    X(kItemNotInLayered, "not allowed in a layered file")                                                  \
    X(kItemWrongSize, "wrong size")                                                                        \
    X(kItemUnsupportedVersion, "unsupported version")                                                      \
    X(kItemNeedsLayered, "needs the layered compressor")                                                   \
    X(kItemUnknownType, "unknown item type")                                                               \
    X(kEndsBeforeCompressedPoints, "file ends before the compressed points")                               \
    X(kChunkTableOffsetMissing, "chunk table offset is missing")                                           \
    X(kNoChunkTable, "the file has no chunk table")                                                        \
    X(kChunkTableOffsetOutside, "chunk table offset lies outside the file")                                \
    X(kChunkTableUnreadable, "chunk table cannot be read")                                                 \
    X(kChunkTableVersion, "unknown chunk table version %1")                                                \
    X(kChunkTableTooManyChunks, "chunk table lists more chunks than fit in the file")                      \
    X(kChunkTableCorrupt, "chunk table is truncated or corrupt")                                           \
    X(kChunkEntryImpossible, "chunk table entry %1 of %2 is impossible")                                   \
    X(kChunkEntryImplausible, "chunk table entry %1 claims an implausible size")                           \
    X(kChunkTableShort, "chunk table holds only %1 of %2 points")                                          \
    X(kVariableChunksNeedTable, "variable-size chunks need the chunk table: %1")                           \
    X(kChunkShorterThanRecord, "chunk is shorter than one record")                                         \
    X(kChunkShortForLayerTable, "chunk is too short for its layer table")                                  \
    X(kChunkLayersPastEnd, "chunk layers run past the end of the chunk")                                   \
    X(kChunkCorrupt, "chunk %1 is corrupt: %2")                                                            \
    X(kChunkLayersClaim, "chunk %1 is corrupt: its layers claim %2 bytes")                                 \
    X(kChunkNotDecodable, "chunk %1 cannot be decoded: %2")                                                \
    X(kChunkTruncated, "file is truncated in chunk %1")                                                    \
    X(kChunkTruncatedAfter, "file is truncated in chunk %1 after %2 of %3 points")                         \
    X(kChunkUnreadable, "file cannot be read in chunk %1")                                                 \
    X(kChunkPointsCorrupt, "compressed points of chunk %1 are corrupt or cut short")                       \
    X(kPointsCorruptAfter, "compressed points are corrupt or cut short after %1 of %2 points")             \
    X(kFaultAfter, "%1 after %2 of %3 points")                                                             \
    X(kEndsAfter, "file ends after %1 of %2 points")                                                       \
    X(kNoMemoryForDecoder, "no memory for a chunk decoder: %1")                                            \
    X(kNoCompleteRecords, "complete records are not available from the parallel decoder")                  \
    X(kGeoKeysNotKept, "the coordinate system given by GeoTIFF keys was not kept: %1")
NIMBUS_DECLARE_MESSAGES(NIMBUS_LAS_MESSAGES)

} // namespace nimbus::las::msg
