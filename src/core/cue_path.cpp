#include "cue_path.h"

#include <filesystem>

namespace kestrova {

namespace fs = std::filesystem;

namespace {

bool IsAbsolute(const std::string& path) {
    // "C:\..." and "\\server\..." written on Windows count as absolute too.
    return fs::path(path).is_absolute() || (path.size() > 2 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
           path.rfind("\\\\", 0) == 0;
}

}  // namespace

std::string ProjectFolder(const std::string& projectFile) {
    if (projectFile.find('/') == std::string::npos && projectFile.find('\\') == std::string::npos) return {};
    return fs::absolute(fs::path(projectFile)).parent_path().string();
}

std::string ResolveCuePath(const std::string& cuePath, const std::string& projectFolder) {
    if (cuePath.empty() || projectFolder.empty() || IsAbsolute(cuePath)) return cuePath;
    return (fs::path(projectFolder) / cuePath).lexically_normal().string();
}

std::string RebaseCuePath(const std::string& cuePath, const std::string& oldFolder, const std::string& newFolder) {
    if (cuePath.empty() || oldFolder.empty() || newFolder.empty() || IsAbsolute(cuePath)) return cuePath;
    const fs::path file = fs::path(ResolveCuePath(cuePath, oldFolder));
    const fs::path relative = file.lexically_relative(fs::path(newFolder).lexically_normal());
    const bool within = !relative.empty() && *relative.begin() != "..";
    return within ? relative.generic_string() : file.string();
}

}  // namespace kestrova
