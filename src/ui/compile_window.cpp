#include "compile_window.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QWindow>
#include <QVBoxLayout>

namespace kestrova {

frmCompile::frmCompile(QWidget* owner) : QWidget(owner, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint) {
    setObjectName(QStringLiteral("frmCompile"));
    setWindowTitle(QStringLiteral("Build Animation"));
    // The user's focus stays in the main window, where the error report puts
    // the caret.
    setAttribute(Qt::WA_ShowWithoutActivating);
    label1_ = new QLabel(QStringLiteral("Compiling ..."), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 18);
    layout->addWidget(label1_);
    setFixedSize(300, 72);
    if (owner) {
        const QRect area = owner->geometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void frmCompile::ShowPainted() {
    show();
    // The window system maps a new window a little later; until it has, a
    // repaint draws nothing, and the build that follows processes no events.
    // So wait (briefly, handling no user input) for the window to be shown.
    QElapsedTimer waited;
    waited.start();
    while (!(windowHandle() && windowHandle()->isExposed()) && waited.elapsed() < 1000) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    }
    repaint();
}

void frmCompile::SetCaption(const std::string& caption) {
    label1_->setText(QString::fromStdString(caption));
    // The whole window, not only the label: its body may not have been
    // drawn yet.
    repaint();
}

QString frmCompile::Caption() const { return label1_->text(); }

}  // namespace kestrova
