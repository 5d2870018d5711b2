#pragma once
// The line breaks of a text as project files know them: CR LF, a lone LF
// or a lone CR each end a line. The reader and the writer find lines the
// same way through this scanner.

#include <cstddef>
#include <cstring>
#include <string_view>

namespace kestrova {

class LineBreakScanner {
public:
    struct Line {
        size_t end;   // where the line's break begins (the text's size for the last line)
        size_t next;  // where the next line begins
        bool crLf;    // the break is CR LF
        bool last;    // no break follows: the line runs to the end of the text
    };

    explicit LineBreakScanner(std::string_view text) : text_(text) {}

    // The line that begins at `start` (before the text's end). Lines are
    // asked for in order; the next LF is looked up once per LF, not once per
    // line, so a text of lone CRs is not scanned to its end for every line.
    Line Scan(size_t start) {
        const char* data = text_.data();
        const size_t size = text_.size();
        if (!lfKnown_ || lfAt_ < start) {
            const void* lf = std::memchr(data + start, '\n', size - start);
            lfAt_ = lf ? static_cast<size_t>(static_cast<const char*>(lf) - data) : size;
            lfKnown_ = true;
        }
        const void* cr = std::memchr(data + start, '\r', lfAt_ - start);
        if (!cr && lfAt_ == size) return Line{size, size, false, true};
        const size_t end = cr ? static_cast<size_t>(static_cast<const char*>(cr) - data) : lfAt_;
        const bool crLf = cr && end + 1 == lfAt_ && lfAt_ < size;
        return Line{end, crLf ? lfAt_ + 1 : end + 1, crLf, false};
    }

private:
    std::string_view text_;
    size_t lfAt_ = 0;
    bool lfKnown_ = false;
};

}  // namespace kestrova
