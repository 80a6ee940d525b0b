#pragma once
// What a reader's input is when reading starts, to tell at its end whether the
// file shrank, vanished or was replaced under the reader: a reader that only
// met an early end would otherwise report a third of a file as converted.

#include <QString>

#include <cstdint>

namespace nimbus {

struct InputIdentity {
    bool known = false;      // the file could be looked at
    std::uint64_t size = 0;
    std::uint64_t volume = 0; // with `file`, which file the name leads to
    std::uint64_t file = 0;

    // The file `path` leads to now; `known` false when it cannot be looked at.
    static InputIdentity of(const QString& path);

    // Empty when `now` is still this file at least this large; otherwise why
    // not ("the input vanished while it was read", ...).
    QString changeTo(const InputIdentity& now) const;
};

} // namespace nimbus
