#include "mouth_moves_dialog.h"

#include "core/compiler.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>

namespace kestrova {

bool ProgramReachAt(const Project& project, int servo, const std::string& prefix, int32_t& frame,
                    int32_t& position, std::string& error) {
    Project scratch;
    StartNewProject(scratch);
    scratch.Servos = project.Servos;
    scratch.Programs[servo] = prefix;
    ServoCompiler compiler(scratch);
    if (!compiler.CompileServo(servo)) {
        error = compiler.LastError().message;
        return false;
    }
    frame = scratch.ServoFrameCount[servo];
    position = scratch.Frames[frame][servo];
    return true;
}

frmMouthMoves::frmMouthMoves(const Project& project, int servo, int framesPerSecond, std::string folder,
                             std::function<QString()> chooseFile, QWidget* parent)
    : QDialog(parent), project_(project), folder_(std::move(folder)), chooseFile_(std::move(chooseFile)) {
    setObjectName(QStringLiteral("frmMouthMoves"));
    setWindowTitle(QStringLiteral("Generate Moves from Sound"));
    const ServoRecord& record = project_.Servos[servo];
    const int low = std::min(record.Min, record.Max), high = std::max(record.Min, record.Max);
    auto spin = [this](const char* name, int from, int to, int value) {
        auto* box = new QSpinBox(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setRange(from, to);
        box->setValue(value);
        return box;
    };

    sound_ = new QComboBox(this);
    sound_->setObjectName(QStringLiteral("cboSound"));
    sound_->setEditable(true);
    sound_->setMinimumContentsLength(32);
    for (int i = 1; i <= UpperBound(project_.WavCues); ++i) {
        const WavCue& cue = project_.WavCues[size_t(i)];
        if (!cue.Path.empty()) sound_->addItem(QString::fromStdString(cue.Path), i);
    }
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    browse->setObjectName(QStringLiteral("cmdBrowse"));
    browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 12);
    connect(browse, &QPushButton::clicked, this, [this] {
        if (!chooseFile_) return;
        const QString file = chooseFile_();
        if (!file.isEmpty()) sound_->setEditText(file);
    });
    auto* soundRow = new QHBoxLayout;
    soundRow->addWidget(sound_, 1);
    soundRow->addWidget(browse);

    fps_ = spin("spnFPS", 1, 30, std::clamp(framesPerSecond, 1, 30));
    closed_ = spin("spnClosed", low, high, record.Min);
    open_ = spin("spnOpen", low, high, record.Max);
    threshold_ = new QDoubleSpinBox(this);
    threshold_->setObjectName(QStringLiteral("spnThreshold"));
    threshold_->setRange(0, 100);
    threshold_->setDecimals(1);
    threshold_->setSuffix(QStringLiteral(" %"));
    threshold_->setValue(10);
    threshold_->setToolTip(QStringLiteral("Frames quieter than this share of the loudest frame keep the mouth closed."));
    smooth_ = spin("spnSmooth", 1, 30, 1);
    smooth_->setToolTip(QStringLiteral("Frames averaged for each position (1: none)."));
    lead_ = spin("spnLead", 0, 30, 0);
    lead_->setToolTip(QStringLiteral("Frames the mouth moves ahead of the sound."));
    start_ = spin("spnStart", 1, kMaxFrames, 1);
    start_->setToolTip(QStringLiteral("The frame on which the sound starts."));

    auto* form = new QFormLayout;
    auto* soundLabel = new QLabel(QStringLiteral("&Sound:"), this);
    soundLabel->setBuddy(sound_);
    form->addRow(soundLabel, soundRow);
    form->addRow(QStringLiteral("&Frames / Sec:"), fps_);
    form->addRow(QStringLiteral("&Closed position:"), closed_);
    form->addRow(QStringLiteral("&Open position:"), open_);
    form->addRow(QStringLiteral("&Threshold:"), threshold_);
    form->addRow(QStringLiteral("S&mooth (frames):"), smooth_);
    form->addRow(QStringLiteral("&Lead (frames):"), lead_);
    form->addRow(QStringLiteral("Start &frame:"), start_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Generate"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(sound_, &QComboBox::currentIndexChanged, this, &frmMouthMoves::SoundChosen);
    SoundChosen(sound_->currentIndex());
}

void frmMouthMoves::SoundChosen(int index) {
    // A cue's sound starts on the cue's frame.
    const QVariant cue = index >= 0 ? sound_->itemData(index) : QVariant();
    if (cue.isValid()) start_->setValue(std::max(project_.WavCues[size_t(cue.toInt())].Start, 1));
}

audio::MouthOptions frmMouthMoves::Options() const {
    audio::MouthOptions options;
    options.framesPerSecond = fps_->value();
    options.closed = closed_->value();
    options.open = open_->value();
    options.thresholdPercent = threshold_->value();
    options.smooth = smooth_->value();
    options.lead = lead_->value();
    options.start = start_->value();
    return options;
}

std::string frmMouthMoves::SoundPath() const {
    const QString file = sound_->currentText().trimmed();
    if (file.isEmpty() || QDir::isAbsolutePath(file) || folder_.empty()) return QFile::encodeName(file).toStdString();
    return QFile::encodeName(QDir(QString::fromStdString(folder_)).filePath(file)).toStdString();
}

}  // namespace kestrova
