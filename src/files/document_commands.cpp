#include "document_commands.h"

#include "core/cue_path.h"
#include "kva_reader.h"
#include "kva_writer.h"
#include "safe_file.h"
#include "text_encoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kestrova {

bool DocumentCommands::IsPath(const std::string& name) {
    return name.find('\\') != std::string::npos || name.find('/') != std::string::npos ||
           name.find(QDir::separator().toLatin1()) != std::string::npos;
}

std::string DocumentCaption(const std::string& name) { return "Kestrova v2 - [" + name + "]"; }

std::string WithModifiedMark(const std::string& caption) {
    // Qt reads "[*][*]" as a literal "[*]" and any other "[*]" as the mark.
    std::string title;
    for (size_t i = 0; i < caption.size();) {
        if (caption.compare(i, 3, "[*]") == 0) {
            title += "[*][*]";
            i += 3;
        } else {
            title += caption[i++];
        }
    }
    return title + "[*]";
}

void DocumentCommands::SetFileName(const std::string& name) {
    project_.sFilename = name;
    view_.SetCaption(DocumentCaption(name));
    view_.SetSaveEnabled(IsPath(name));
}

namespace {

CommandResult Result(bool done, Messages messages) { return CommandResult{done, std::move(messages)}; }

}  // namespace

SaveQuery DocumentCommands::QuerySave() {
    SaveQuery query;
    query.answer = QuerySave(query.messages);
    return query;
}

MessageAnswer DocumentCommands::QuerySave(Messages& messages) {
    if (!project_.bNeedToSave) return MessageAnswer::Ok;
    const MessageAnswer answer =
        view_.Ask(Message{"\"" + project_.sFilename + "\" has been modified.  Save the changes?", "Save Changes?",
                          MessageIcon::Question, MessageButtons::YesNoCancel});
    if (answer != MessageAnswer::Yes) return answer;
    const bool saved = project_.sFilename.rfind("Untitled", 0) == 0 ? SaveAs(messages) : SaveFile(messages);
    return saved ? MessageAnswer::Yes : MessageAnswer::Cancel;
}

CommandResult DocumentCommands::QueryClose() {
    Messages messages;
    const bool close = QuerySave(messages) != MessageAnswer::Cancel;
    return Result(close, std::move(messages));
}

CommandResult DocumentCommands::NewFile() {
    Messages messages;
    if (QuerySave(messages) == MessageAnswer::Cancel) return Result(false, std::move(messages));
    SetNewProjectDefaults(project_);
    // The ranges first, so that no slider clamps the new Home into the
    // range of the project before.
    view_.UpdateServoSettings();
    view_.ServosReset();
    view_.ProgramsReplaced();
    ++project_.UntitledCount;
    SetFileName("Untitled" + std::to_string(project_.UntitledCount));
    project_.WavCues.assign(1, WavCue{});
    project_.bNeedToSave = false;
    project_.ModifiedSinceBuild = false;
    project_.Built = false;
    view_.SetModified(false);
    view_.UpdateEditCommands();
    return Result(true, std::move(messages));
}

CommandResult DocumentCommands::Open() {
    const std::string name = view_.AskOpenFileName();
    if (name.empty()) return {};
    return OpenFile(name);
}

CommandResult DocumentCommands::OpenFile(const std::string& name) {
    Messages messages;
    const bool opened = OpenFile(name, messages);
    return Result(opened, std::move(messages));
}

bool DocumentCommands::OpenFile(const std::string& name, Messages& messages) {
    if (QuerySave(messages) == MessageAnswer::Cancel) return false;
    std::string bytes;
    std::string reason;
    if (!ReadFileBytes(name, bytes, reason)) {
        messages.push_back(Message{"The animation " + name + " could not be opened: " + reason, "Open Error",
                                   MessageIcon::Critical, MessageButtons::Ok});
        return false;
    }
    const LoadResult loaded = LoadProjectBytes(std::move(bytes), project_);
    messages.insert(messages.end(), loaded.messages.begin(), loaded.messages.end());
    if (loaded.notAnimation) {
        messages.push_back(NotAnimationMessage(name));
        return false;
    }
    if (!loaded.ok) return false;
    view_.ProgramsReplaced();
    SetFileName(name);
    view_.ApplyCommSettings();
    view_.UpdateServoSettings();
    project_.ModifiedSinceBuild = false;
    project_.bNeedToSave = false;
    project_.Built = false;
    view_.SetModified(false);
    view_.AddRecentFile(name);
    view_.UpdateEditCommands();
    return true;
}

CommandResult DocumentCommands::OpenRecent(const std::string& caption) {
    const size_t blank = caption.find(' ');
    if (blank == std::string::npos) return {};
    return OpenFile(caption.substr(blank + 1));
}

CommandResult DocumentCommands::Save() { return IsPath(project_.sFilename) ? SaveFile() : SaveAs(); }

CommandResult DocumentCommands::SaveAs() {
    Messages messages;
    const bool saved = SaveAs(messages);
    return Result(saved, std::move(messages));
}

CommandResult DocumentCommands::SaveFile() {
    Messages messages;
    const bool saved = SaveFile(messages);
    return Result(saved, std::move(messages));
}

bool DocumentCommands::SaveAs(Messages& messages) {
    std::string name = view_.AskSaveFileName();
    if (name.empty()) return false;
    // A name typed without an extension gets the project files' own.
    if (QFileInfo(QFile::decodeName(QByteArray::fromStdString(name))).suffix().isEmpty()) name += ".kva";
    const std::string previous = project_.sFilename;
    // Relative cue paths keep naming the same files from the new folder.
    const WavCueList previousCues = project_.WavCues;
    const std::string oldFolder = ProjectFolder(previous);
    const std::string newFolder = ProjectFolder(name);
    for (WavCue& cue : project_.WavCues) cue.Path = RebaseCuePath(cue.Path, oldFolder, newFolder);
    project_.sFilename = name;
    if (SaveFile(messages)) return true;
    project_.sFilename = previous;
    project_.WavCues = previousCues;
    return false;
}

bool DocumentCommands::SaveFile(Messages& messages) {
    view_.CommitEdits();
    std::string text;
    std::string reason;
    if (!ComposeProjectFile(project_, text, reason) || !WriteFileSafely(project_.sFilename, text, reason)) {
        messages.push_back(Message{"The animation could not be saved to " + project_.sFilename + ": " + reason,
                                   "Save Error", MessageIcon::Critical, MessageButtons::Ok});
        return false;
    }
    SetFileName(project_.sFilename);
    view_.AddRecentFile(project_.sFilename);
    project_.bNeedToSave = false;
    view_.SetModified(false);
    view_.UpdateEditCommands();
    return true;
}

}  // namespace kestrova
