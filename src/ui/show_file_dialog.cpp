#include "show_file_dialog.h"

#include "files/safe_file.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace kestrova {

namespace {

QString DefaultChooser(QWidget* owner, const QString& start, bool save) {
    return save ? QFileDialog::getSaveFileName(owner, QStringLiteral("Save Show File"), start,
                                               QStringLiteral("Show files (*.json)"))
                : QFileDialog::getOpenFileName(owner, QStringLiteral("Idle Project"), start,
                                               QStringLiteral("Kestrova projects (*.kva)"));
}

std::string Relative(const QString& folder, const QString& path) {
    return QDir(folder).relativeFilePath(path).toStdString();
}

}  // namespace

ShowFileDialog::ShowFileDialog(const QString& project, QWidget* parent, FileChooser choose)
    : QDialog(parent), choose_(choose ? std::move(choose) : FileChooser(&DefaultChooser)), project_(project) {
    setWindowTitle(QStringLiteral("Make Show File"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Show:"), new QLabel(QFileInfo(project).fileName(), this));

    idle_ = new QLineEdit(this);
    idle_->setPlaceholderText(QStringLiteral("none: the servos hold between shows"));
    auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen = choose_(this, QFileInfo(project_).absolutePath(), false);
        if (!chosen.isEmpty()) idle_->setText(chosen);
    });
    auto* idleRow = new QHBoxLayout;
    idleRow->addWidget(idle_, 1);
    idleRow->addWidget(browse);
    form->addRow(QStringLiteral("Idle project:"), idleRow);

    order_ = new QComboBox(this);
    order_->addItems({QStringLiteral("In turn"), QStringLiteral("Random, never the same twice running")});
    form->addRow(QStringLiteral("Order:"), order_);

    key_ = new QCheckBox(QStringLiteral("Enter on the runner's input (for trying it out)"), this);
    key_->setChecked(true);
    form->addRow(QStringLiteral("Triggers:"), key_);
    // The port boxes line up in a column of their own.
    auto* ports = new QGridLayout;
    int row = 0;
    auto portRow = [&](QCheckBox*& box, QSpinBox*& port, const QString& caption, int value) {
        box = new QCheckBox(caption, this);
        port = new QSpinBox(this);
        port->setRange(1, 65535);
        port->setValue(value);
        ++row;
        ports->addWidget(box, row, 0);
        ports->addWidget(port, row, 1);
    };
    portRow(osc_, oscPort_, QStringLiteral("OSC /kestrova/trigger on UDP port"), 9000);
    portRow(http_, httpPort_, QStringLiteral("HTTP POST /trigger on this computer, port"), 8080);
    ports->setColumnStretch(2, 1);
    form->addRow(QString(), ports);

    auto seconds = [this](double value) {
        auto* box = new QDoubleSpinBox(this);
        box->setRange(0, 3600);
        box->setSuffix(QStringLiteral(" s"));
        box->setValue(value);
        return box;
    };
    cooldown_ = seconds(10);
    warmUp_ = seconds(5);
    form->addRow(QStringLiteral("Cooldown after a show:"), cooldown_);
    form->addRow(QStringLiteral("Warm-up after the start:"), warmUp_);
    device_ = new QLineEdit(this);
    device_->setPlaceholderText(QStringLiteral("the project's own port"));
    form->addRow(QStringLiteral("Serial device:"), device_);

    auto* buttons = new QDialogButtonBox(this);
    auto* save = buttons->addButton(QStringLiteral("Save As..."), QDialogButtonBox::AcceptRole);
    testRun_ = buttons->addButton(QStringLiteral("Test Run"), QDialogButtonBox::ActionRole);
    testRun_->setEnabled(false);
    buttons->addButton(QDialogButtonBox::Close);
    connect(save, &QPushButton::clicked, this, &ShowFileDialog::SaveAs);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(testRun_, &QPushButton::clicked, this, [this] {
        auto* window = new ShowRunWindow(saved_, RunnerProgram(), parentWidget());
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

show::ShowFile ShowFileDialog::Describe(const QString& folder) const {
    show::ShowFile f;
    f.shows = {{Relative(folder, project_), ""}};
    if (!idle_->text().trimmed().isEmpty()) f.idle = Relative(folder, idle_->text().trimmed());
    f.order = order_->currentIndex() == 1 ? show::Order::Random : show::Order::InTurn;
    auto add = [&f](show::TriggerKind kind, const char* name, int port) {
        show::TriggerSetup t;
        t.kind = kind;
        t.name = name;
        t.port = port;
        t.address = "127.0.0.1";
        f.triggers.push_back(t);
    };
    if (key_->isChecked()) add(show::TriggerKind::Key, "key", 0);
    if (osc_->isChecked()) add(show::TriggerKind::Osc, "osc", oscPort_->value());
    if (http_->isChecked()) add(show::TriggerKind::Http, "http", httpPort_->value());
    f.cooldownMs = cooldown_->value() * 1000;
    f.warmUpMs = warmUp_->value() * 1000;
    if (!device_->text().trimmed().isEmpty()) f.device = device_->text().trimmed().toStdString();
    return f;
}

bool ShowFileDialog::Save(const QString& path, QString& reason) const {
    std::string why;
    const std::string text = show::ComposeShowFile(Describe(QFileInfo(path).absolutePath()));
    if (WriteFileSafely(path.toStdString(), text, why)) return true;
    reason = QString::fromStdString(why);
    return false;
}

void ShowFileDialog::SaveAs() {
    const QFileInfo project(project_);
    const QString start = project.absolutePath() + QLatin1Char('/') + project.completeBaseName() + QStringLiteral(".json");
    const QString path = choose_(this, start, true);
    if (path.isEmpty()) return;
    QString reason;
    if (!Save(path, reason)) {
        QMessageBox::critical(this, QStringLiteral("Save Error"),
                              QStringLiteral("The show file could not be saved to %1: %2").arg(path, reason));
        return;
    }
    saved_ = path;
    testRun_->setEnabled(true);
}

ShowRunWindow::ShowRunWindow(const QString& showFile, const QString& program, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Test Run - %1").arg(QFileInfo(showFile).fileName()));
    state_ = new QLabel(QStringLiteral("Starting"), this);
    QFont bold = state_->font();
    bold.setBold(true);
    state_->setFont(bold);
    log_ = new QPlainTextEdit(this);
    log_->setReadOnly(true);
    log_->setMaximumBlockCount(2000);
    log_->setMinimumSize(640, 300);
    trigger_ = new QPushButton(QStringLiteral("Trigger"), this);
    stop_ = new QPushButton(QStringLiteral("Stop"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(state_, 1);
    buttons->addWidget(trigger_);
    buttons->addWidget(stop_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(log_);

    connect(trigger_, &QPushButton::clicked, this, [this] { process_.write("\n"); });
    connect(stop_, &QPushButton::clicked, this, [this] { process_.terminate(); });
    connect(&process_, &QProcess::readyReadStandardError, this, &ShowRunWindow::TakeLines);
    connect(&process_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus) {
        TakeLines();
        state_->setText(QStringLiteral("Ended (exit status %1)").arg(code));
        trigger_->setEnabled(false);
        stop_->setEnabled(false);
    });
    connect(&process_, &QProcess::errorOccurred, this, [this, program](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            state_->setText(QStringLiteral("Not started"));
            log_->appendPlainText(QStringLiteral("%1 could not be started.").arg(program));
            trigger_->setEnabled(false);
            stop_->setEnabled(false);
        }
    });
    process_.start(program, {QStringLiteral("run"), showFile});
}

ShowRunWindow::~ShowRunWindow() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(3000)) process_.kill();
        process_.waitForFinished(1000);
    }
}

QString ShowRunWindow::State() const { return state_->text(); }
QString ShowRunWindow::Log() const { return log_->toPlainText(); }

void ShowRunWindow::TakeLines() {
    partial_ += process_.readAllStandardError();
    qsizetype end;
    while ((end = partial_.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(partial_.left(end));
        partial_.remove(0, end + 1);
        log_->appendPlainText(line);
        // The state as the log tells it.
        if (line.contains(QLatin1String("  Show start: "))) {
            state_->setText(QStringLiteral("Show: ") + line.section(QStringLiteral("Show start: "), 1));
        } else if (line.contains(QLatin1String("  Show end: "))) {
            state_->setText(QStringLiteral("Idle (cooldown)"));
        } else if (line.contains(QLatin1String("  Port open")) || line.contains(QLatin1String("  Port back"))) {
            state_->setText(QStringLiteral("Idle"));
        } else if (line.contains(QLatin1String("  Error: "))) {
            state_->setText(QStringLiteral("Waiting for the port"));
        }
    }
    if (partial_.size() > 65536) partial_.clear();  // no line break in sight: not a log line
}

QString RunnerProgram() {
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/kestrova-cli");
    if (QFileInfo(beside).isExecutable()) return beside;
    const QString built = QCoreApplication::applicationDirPath() + QStringLiteral("/../cli/kestrova-cli");
    if (QFileInfo(built).isExecutable()) return QFileInfo(built).canonicalFilePath();
    const QString found = QStandardPaths::findExecutable(QStringLiteral("kestrova-cli"));
    return found.isEmpty() ? beside : found;
}

void OfferShowFile(QWidget* owner, const std::string& projectFile) {
    if (projectFile.empty()) {
        QMessageBox::information(owner, QStringLiteral("Make Show File"),
                                 QStringLiteral("Save the project first: the show file names it by its file."));
        return;
    }
    // Modeless: a modal dialog would block the test run window it opens.
    auto* dialog = new ShowFileDialog(QString::fromStdString(projectFile), owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void AddShowFileItem(QMenu* file, QWidget* owner, std::function<std::string()> projectFile) {
    QAction* action = file->addAction(QStringLiteral("Make S&how File..."));
    action->setObjectName(QStringLiteral("miMakeShowFile"));
    QObject::connect(action, &QAction::triggered, owner, [owner, projectFile] { OfferShowFile(owner, projectFile()); });
}

}  // namespace kestrova
