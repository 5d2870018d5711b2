#pragma once
// Ties the keys on the execution window's graph to the main window's
// instruction editors: changes made on the graph appear in the servo's
// editor as one undo step per action, a clicked key selects its line, and
// typing or undo in an editor reaches the graph.

#include <string>

namespace kestrova {

class frmMain;
class KeyframeLayer;
class KvxEditCtrl;

void ConnectKeyframes(frmMain& window, KeyframeLayer& layer);

// Makes the editor show `text`, replacing only the characters that differ
// (so the rest of the document, its caret and marks stay). With `join` the
// change becomes part of the editor's last undo step.
void ShowChangedText(KvxEditCtrl& editor, const std::string& text, bool join);

}  // namespace kestrova
