#include "wav_cue_entries.h"

#include "core/numeric_text.h"

namespace kestrova {

std::string MakeWavEntry(std::string_view start, std::string_view stop, std::string_view path) {
    std::string entry = " ";
    entry += SingleLine(start);
    entry += '\t';
    entry += stop.empty() ? std::string(kNoStopFrame) : SingleLine(stop);
    entry += '\t';
    entry += SingleLine(path);
    return entry;
}

WavEntryFields SplitWavEntry(std::string_view entry) {
    WavEntryFields fields;
    const size_t tab1 = entry.find('\t');
    fields.start = std::string(entry.substr(0, tab1));
    if (tab1 == std::string_view::npos) return fields;
    const size_t tab2 = entry.find('\t', tab1 + 1);
    fields.stop = std::string(entry.substr(tab1 + 1, tab2 == std::string_view::npos ? tab2 : tab2 - tab1 - 1));
    if (tab2 != std::string_view::npos) fields.path = std::string(entry.substr(tab2 + 1));
    return fields;
}

std::vector<std::string> EntriesFromCues(const WavCueList& cues) {
    std::vector<std::string> entries;
    for (int32_t k = 1; k <= UpperBound(cues); ++k) {
        const WavCue& cue = cues[k];
        entries.push_back(MakeWavEntry(std::to_string(cue.Start),
                                       cue.End == -1 ? std::string(kNoStopFrame) : std::to_string(cue.End),
                                       cue.Path));
    }
    return entries;
}

WavCueList CuesFromEntries(const std::vector<std::string>& entries) {
    WavCueList cues(entries.size() + 1);
    for (size_t k = 0; k < entries.size(); ++k) {
        const WavEntryFields fields = SplitWavEntry(entries[k]);
        WavCue& cue = cues[k + 1];
        cue.Start = ToInt32(TrimBlanks(fields.start)).value_or(0);
        cue.End = fields.stop == kNoStopFrame ? -1 : ToInt32(TrimBlanks(fields.stop)).value_or(-1);
        cue.Path = fields.path;
    }
    return cues;
}

std::optional<WavEntryProblem> CheckWavBoxes(std::string_view start, std::string_view stop,
                                             std::string_view path) {
    if (!IsNumeric(TrimBlanks(start))) return WavEntryProblem{"The Start Frame must be a numeric value.", WavBox::Start};
    if (!stop.empty()) {
        if (!IsNumeric(TrimBlanks(stop))) return WavEntryProblem{"The End Frame must be a numeric value.", WavBox::Stop};
    } else if (path.empty()) {
        return WavEntryProblem{"The Wav File must be specified.", WavBox::File};
    }
    return std::nullopt;
}

}  // namespace kestrova
