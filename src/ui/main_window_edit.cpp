// The main window's Undo and Redo: the selected editor's own history, shown
// in the Edit menu with the editor's keys.

#include "kvx_edit_ctrl.h"
#include "main_window.h"

#include <QAction>
#include <QMenu>

namespace kestrova {

void frmMain::AddUndoCommands(QMenu* menu) {
    auto command = [this, menu](const char* name, const QString& caption, QKeySequence::StandardKey key,
                                void (QPlainTextEdit::*run)()) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        // The key is shown; the editor that has the focus handles it.
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, [this, run] { (rtb_[project_.lServo]->*run)(); });
        return action;
    };
    miUndo_ = command("miUndo", QStringLiteral("&Undo"), QKeySequence::Undo, &QPlainTextEdit::undo);
    miRedo_ = command("miRedo", QStringLiteral("&Redo"), QKeySequence::Redo, &QPlainTextEdit::redo);
    menu->addSeparator()->setObjectName(QStringLiteral("miEditLine1"));
}

}  // namespace kestrova
