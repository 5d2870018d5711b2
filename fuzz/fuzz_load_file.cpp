// Any bytes as a project file: decode, load, save, load again, and check
// that what was saved reads back as the same project without a message.

#include "core/project.h"
#include "files/kva_reader.h"
#include "files/kva_writer.h"
#include "files/text_encoding.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace kestrova;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = DecodeProjectBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    Check(IsValidUtf8(text), "decoded text is UTF-8");

    Project project;
    StartNewProject(project);
    const LoadResult first = LoadFile(text, project);
    if (!first.ok) return 0;
    for (int i = 0; i < kServoCount; ++i) {
        const ProgramSource source = first.programSources[i];
        Check((source.line == 0) == (source.column == 0), "source line and column set together");
        Check(source.line == 0 || source.column >= 17, "source column after the opening bracket");
    }

    const std::string saved = SaveText(project);
    Check(IsValidUtf8(saved), "saved text is UTF-8");

    Project again;
    StartNewProject(again);
    const LoadResult second = LoadFile(saved, again);
    Check(second.ok, "saved text loads");
    Check(second.messages.empty(), "saved text loads without a message");
    Check(again.Servos == project.Servos, "servos come back");
    Check(again.Settings == project.Settings, "settings come back");
    Check(again.WavCues == project.WavCues, "WAV cues come back");

    for (int i = 0; i < kServoCount; ++i) {
        const std::string& program = project.Programs[i];
        // An empty program is written as an empty line.
        Check(again.Programs[i] == (program.empty() ? std::string("\r\n") : program), "program comes back");
        Check(second.programSources[i].line > 0, "every saved program has a source");
    }
    Check(SaveText(again) == saved, "saving again gives the same bytes");
    return 0;
}
