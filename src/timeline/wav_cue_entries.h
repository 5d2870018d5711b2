#pragma once
// The text entries of the WAV cue dialog's list and the checks on its three
// boxes, apart from any window.
//
// An entry is one line of three fields separated by tab characters: a blank
// followed by the start frame text, the stop frame text or the word "Empty",
// and the path of the WAV file.

#include "core/text.h"
#include "core/project.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

inline constexpr const char* kNoStopFrame = "Empty";

// The three fields of an entry, as they stand in it.
struct WavEntryFields {
    std::string start;  // with its leading blank
    std::string stop;   // "Empty" when there is no stop frame
    std::string path;
};

// The entry for a start text, a stop text (empty: no stop frame) and a path;
// line breaks in them become blanks.
std::string MakeWavEntry(std::string_view start, std::string_view stop, std::string_view path);

// Splits an entry at its first two tabs; the path keeps any further tab.
// Missing fields are empty.
WavEntryFields SplitWavEntry(std::string_view entry);

// The entries for cues 1 to the upper bound, numbers in decimal.
std::vector<std::string> EntriesFromCues(const WavCueList& cues);

// The cue list the entries stand for, in their order; element 0 stays empty.
// A start text that is not numeric becomes 0, a stop text that is neither
// numeric nor "Empty" becomes -1 (entries made through the checks never are).
WavCueList CuesFromEntries(const std::vector<std::string>& entries);

// The box a check failure names.
enum class WavBox { Start, Stop, File };

struct WavEntryProblem {
    std::string message;
    WavBox box;
};

// The checks Add and Replace make on the three boxes, in order; nothing when
// they pass. Start and stop texts count as numeric when, without leading and
// trailing blanks, they are numbers that round into the signed 32-bit range.
std::optional<WavEntryProblem> CheckWavBoxes(std::string_view start, std::string_view stop,
                                             std::string_view path);

}  // namespace kestrova
