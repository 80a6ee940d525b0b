#pragma once
// Every reason the splitter and the writer report, as messages (see
// nimbusreason.h).

#include "nimbusreason.h"

namespace nimbus::store::msg {

#define NIMBUS_STORE_MESSAGES(X)                                                                            \
    X(kWriterBusy, "the writer is busy; \"%1\" was not opened")                                            \
    X(kWriterHasOutput, "the writer already has an output; \"%1\" was not opened")                         \
    X(kCannotCreate, "cannot create \"%1\": %2")                                                           \
    X(kCannotWrite, "cannot write to \"%1\": %2")                                                          \
    X(kCannotClose, "cannot close \"%1\": %2")                                                             \
    X(kNoOutputOpened, "no output file was opened")                                                        \
    X(kBlockTooLarge, "a block of %1 points cannot be stored")                                             \
    X(kTooManyBlocks, "too many blocks for one file")
NIMBUS_DECLARE_MESSAGES(NIMBUS_STORE_MESSAGES)

} // namespace nimbus::store::msg
