#pragma once
// Every reason the E57 library reports, as messages (see nimbusreason.h).

#include "nimbusreason.h"

namespace nimbus::e57::msg {

#define NIMBUS_E57_MESSAGES(X)                                                                              \
    X(kCannotOpen, "the file cannot be opened")                                                            \
    X(kCannotReadAt, "the file cannot be read at byte %1")                                                 \
    X(kChecksumMismatch, "checksum mismatch on page %1 (bytes %2 to %3)")                                  \
    X(kReadPastEnd, "a read at byte %1 runs past the end of the file")                                     \
    X(kNotE57, "not an E57 file (no ASTM-E57 signature)")                                                  \
    X(kShorterThanHeader, "not an E57 file (shorter than its header)")                                     \
    X(kShorterThanPage, "the file is truncated: it is shorter than one page")                              \
    X(kUnsupportedVersion, "E57 version %1.%2 is not supported")                                           \
    X(kPageSize, "the header gives a page size of %1 bytes, not 1024")                                     \
    X(kFileLength, "the header gives a file length of %1 bytes, not a whole number of pages")              \
    X(kTruncated, "the file is truncated: its header gives %1 bytes, the file holds %2")                   \
    X(kXmlOutside, "the XML section (offset %1, length %2) lies outside the file")                         \
    X(kXmlEmpty, "the XML section is empty")                                                               \
    X(kXmlUnparsable, "the XML section does not parse: %1 (line %2, column %3)")                           \
    X(kXmlNoRoot, "the XML section holds no e57Root element")                                              \
    X(kXmlWrongRoot, "the XML section's root element is not e57Root of the E57 namespace")                 \
    X(kScanFault, "scan %1: %2")                                                                           \
    X(kAttributeNotInteger, "the %1 of field %2 is not an integer")                                        \
    X(kAttributeNotNumber, "the %1 of field %2 is not a number")                                           \
    X(kTooManyFieldsInPrototype, "its prototype has more fields than a data packet can hold")              \
    X(kMaximumBelowMinimum, "field %1 has a maximum below its minimum")                                    \
    X(kScaleUnusable, "the scale of field %1 is 0 or not finite")                                          \
    X(kOffsetUnusable, "the offset of field %1 is not finite")                                             \
    X(kPointsUnplaced, "its points lack a usable fileOffset or recordCount")                               \
    X(kFieldTypeUnreadable, "prototype field %1 has type %2, which cannot be read as point data")          \
    X(kValueNotNumber, "the value of %1 is not a number")                                                  \
    X(kNoCoordinates,                                                                                      \
      "its prototype has no coordinates (neither cartesianX/Y/Z nor sphericalRange/Azimuth/Elevation)")    \
    X(kOtherCodec, "its records use a codec other than bit packing, which is not supported")               \
    X(kTooManyFields, "its prototype has %1 fields, more than a data packet can hold")                     \
    X(kNoBits, "its records store no bits (every field is constant)")                                      \
    X(kSectionOutside, "its section offset %1 lies outside the file")                                      \
    X(kNotCompressedVector, "the section at %1 is not a compressed-vector section (id %2)")                \
    X(kSectionTooLong, "the section at %1 gives a length of %2 bytes, which runs past the end of the file") \
    X(kFirstPacketOutside, "the first data packet offset %1 lies outside its section")                     \
    X(kSectionTooSmall, "its section of %1 bytes cannot hold %2 records")                                  \
    X(kEndsInPacketHeader, "its section ends inside the packet header at %1")                              \
    X(kPacketPastSection, "the packet at %1 runs past the end of its section")                             \
    X(kPacketType, "the packet at %1 has type %2, none of data, index or empty")                           \
    X(kPacketTooShort, "the data packet at %1 is too short for its header")                                \
    X(kStreamsTooFarApart, "the byte streams of its fields lie more than %1 packets apart")                \
    X(kStreamCount, "the data packet at %1 holds %2 streams, its prototype %3 fields")                     \
    X(kBufferLengthsOverrun, "the buffer lengths of the data packet at %1 overrun it")                     \
    X(kBuffersTooLong, "the buffers of the data packet at %1 need %2 bytes, the packet holds %3")          \
    X(kStreamEnds, "the data stream of field %1 ends before its %2 records")
NIMBUS_DECLARE_MESSAGES(NIMBUS_E57_MESSAGES)

} // namespace nimbus::e57::msg
