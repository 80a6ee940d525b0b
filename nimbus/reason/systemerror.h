#pragma once
// What the operating system or a library said, as a reason. Its own words
// stay the English text, exactly as they were; the words of the common
// file-system errors are messages of this catalogue, so that a program
// speaking another language can show its own.

#include "nimbusreason.h"

#include <string>
#include <system_error>

namespace nimbus {
namespace msg {

// The C library's and Qt's words for the errors a reader or writer of files
// meets (glibc's, and the Windows C runtime's where they differ), and the
// C++ library's for memory that could not be had. kOwnWords holds words
// that are none of these.
#define NIMBUS_SYSTEM_MESSAGES(X)                                                                          \
    X(kOwnWords, "%1")                                                                                     \
    X(kNoSuchFile, "No such file or directory")                                                            \
    X(kPermissionDenied, "Permission denied")                                                              \
    X(kOperationNotPermitted, "Operation not permitted")                                                   \
    X(kInputOutputError, "Input/output error")                                                             \
    X(kIsADirectory, "Is a directory")                                                                     \
    X(kNotADirectory, "Not a directory")                                                                   \
    X(kNoSpaceLeft, "No space left on device")                                                             \
    X(kDiskQuotaExceeded, "Disk quota exceeded")                                                           \
    X(kFileTooLarge, "File too large")                                                                     \
    X(kReadOnlyFileSystem, "Read-only file system")                                                        \
    X(kTooManyOpenFiles, "Too many open files")                                                            \
    X(kTooManyOpenFilesInSystem, "Too many open files in system")                                          \
    X(kCannotAllocateMemory, "Cannot allocate memory")                                                     \
    X(kNotEnoughSpace, "Not enough space")                                                                 \
    X(kFileNameTooLong, "File name too long")                                                              \
    X(kFilenameTooLong, "Filename too long")                                                               \
    X(kTooManySymbolicLinks, "Too many levels of symbolic links")                                          \
    X(kFileExists, "File exists")                                                                          \
    X(kDeviceBusy, "Device or resource busy")                                                              \
    X(kTextFileBusy, "Text file busy")                                                                     \
    X(kInvalidArgument, "Invalid argument")                                                                \
    X(kNoSuchDevice, "No such device")                                                                     \
    X(kNoSuchDeviceOrAddress, "No such device or address")                                                 \
    X(kStaleFileHandle, "Stale file handle")                                                               \
    X(kCrossDeviceLink, "Invalid cross-device link")                                                       \
    X(kDirectoryNotEmpty, "Directory not empty")                                                           \
    X(kValueTooLarge, "Value too large for defined data type")                                             \
    X(kConnectionTimedOut, "Connection timed out")                                                         \
    X(kTryAgain, "Resource temporarily unavailable")                                                       \
    X(kNoLocks, "No locks available")                                                                      \
    X(kBadAlloc, "std::bad_alloc")                                                                         \
    X(kBadArrayLength, "std::bad_array_new_length")
NIMBUS_DECLARE_MESSAGES(NIMBUS_SYSTEM_MESSAGES)

} // namespace msg

// The system's words for `errnum` (strerror).
Reason systemError(int errnum);
// The words of an error code (its message()).
Reason systemError(const std::error_code& code);
// Words the system or a library gave as text (for example Qt's errorString
// or an exception's what()): a catalogue message when they are its English
// word for word, else the words as they are.
Reason ownWords(const std::string& text);

} // namespace nimbus
