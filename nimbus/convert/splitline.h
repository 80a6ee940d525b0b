#pragma once
// Field splitting for delimited text point files.

#include <string>
#include <string_view>
#include <vector>

namespace nimbus {

// Splits `line` at every `separator`: k separators give k + 1 fields, two
// separators in a row give an empty field, and an empty line gives one empty
// field. Fields are not trimmed.
std::vector<std::string> splitLine(std::string_view line, char separator);

// The fields `first`, `first` + 1 and `first` + 2 of `line`, each read as one
// number (leading white space skipped, anything after the number ignored).
// Returns false when the line has too few fields or one of them holds no
// number. Works in place: this is what the readers call for every line.
bool readThreeFields(std::string_view line, char separator, int first, double out[3]);

// readThreeFields(line, separator, 0, out) for the line starting at `p`,
// where [p, end) may hold further lines: the line ends at the first "\n"
// (not part of it) or at `end`, and `*lineEnd` is set there. Reads a
// well-formed line in one pass, without looking for its end first.
bool readFirstThreeFieldsOfLine(const char* p, const char* end, char separator, double out[3],
                                const char** lineEnd);

// Three numbers one after the other, separated by any white space, as
// successive stream extractions would read them. Anything after the third
// number is ignored.
bool readThreeNumbers(std::string_view line, double out[3]);

} // namespace nimbus
