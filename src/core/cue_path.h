#pragma once
// Where a WAV cue's file lies. A cue path is either absolute or relative to
// the folder of the project file, so a project and its sounds can move
// together.

#include <string>

namespace kestrova {

// The folder that cue paths are relative to: the folder of the project file
// named, empty for a project that has never been saved (no path).
std::string ProjectFolder(const std::string& projectFile);

// The file a cue path names: an absolute path as it stands, a relative one
// within projectFolder (as it stands when there is no folder).
std::string ResolveCuePath(const std::string& cuePath, const std::string& projectFolder);

// A cue path as the project must store it once it lives in newFolder
// instead of oldFolder: the same file, relative when it lies within
// newFolder, absolute otherwise. Absolute paths, empty paths and paths of a
// project without a folder stay as they are.
std::string RebaseCuePath(const std::string& cuePath, const std::string& oldFolder, const std::string& newFolder);

}  // namespace kestrova
