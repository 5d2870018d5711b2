#include "wav_cue_dialog.h"

#include "audio/sound_player.h"
#include "core/cue_path.h"
#include "core/messages.h"
#include "wav_cue_entries.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace kestrova {

namespace {

const QString kInvalidEntryTitle = QStringLiteral("Invalid Entry");
// Room either side of a field drawn in the list, in pixels.
constexpr int kFieldPadding = 4;

QString ChooseWithDialog(QWidget* parent, const QString& title, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

// Draws an entry's three tab-separated fields in columns under the headings
// "Start:", "End:" and "File:" instead of at the tab stops of the font.
class WavEntryDelegate : public QStyledItemDelegate {
public:
    WavEntryDelegate(int columnWidth, QObject* parent) : QStyledItemDelegate(parent), columnWidth_(columnWidth) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const WavEntryFields fields = SplitWavEntry(opt.text.toStdString());
        opt.text.clear();
        const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

        const bool selected = opt.state & QStyle::State_Selected;
        const QPalette::ColorGroup group = opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
        painter->save();
        painter->setFont(opt.font);
        painter->setPen(opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        const QRect row = opt.rect;
        const QString texts[3] = {QString::fromStdString(std::string(TrimBlanks(fields.start))),
                                  QString::fromStdString(fields.stop), QString::fromStdString(fields.path)};
        int left = row.left() + kFieldPadding;
        for (int i = 0; i < 3; ++i) {
            const int width = i < 2 ? columnWidth_ - 2 * kFieldPadding : row.right() - left - kFieldPadding;
            const QRect cell(left, row.top(), std::max(width, 0), row.height());
            const QString shown = opt.fontMetrics.elidedText(texts[i], i < 2 ? Qt::ElideRight : Qt::ElideMiddle, cell.width());
            painter->drawText(cell, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
            left += columnWidth_;
        }
        painter->restore();
    }

    // The fields fit the list's width (a long path is shortened in the
    // middle), so the list never scrolls sideways; rows get a little air.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QSize natural = QStyledItemDelegate::sizeHint(option, index);
        return {0, natural.height() + 4};
    }

private:
    int columnWidth_;
};

// Puts an entry into a list item; the tool tip shows the whole path. An
// entry whose file is not there (cue paths are relative to projectFolder)
// is greyed and says so, so that a sound that will stay silent is seen.
void SetEntry(QListWidgetItem* item, const QString& entry, const std::string& projectFolder) {
    item->setText(entry);
    const std::string path = SplitWavEntry(entry.toStdString()).path;
    const bool missing = !QFileInfo(QString::fromStdString(ResolveCuePath(path, projectFolder))).isFile();
    item->setData(frmWAV::kMissingFileRole, missing);
    item->setForeground(missing ? item->listWidget()->palette().brush(QPalette::Disabled, QPalette::Text) : QBrush());
    item->setToolTip(QString::fromStdString(path) + (missing ? QStringLiteral(" (file not found)") : QString()));
}

QPushButton* MakeButton(const QString& name, const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    // Enter in a box must not press a button behind the user's back.
    button->setAutoDefault(false);
    return button;
}

QLineEdit* MakeBox(const QString& name, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    return box;
}

QLabel* MakeLabel(const QString& name, const QString& caption, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    if (buddy) label->setBuddy(buddy);
    return label;
}

}  // namespace

frmWAV::frmWAV(Project& project, QWidget* parent, MessageHandler messages, FileChooser chooseFile)
    : QDialog(parent),
      project_(project),
      messages_(std::move(messages)),
      chooseFile_(chooseFile ? std::move(chooseFile) : FileChooser(&ChooseWithDialog)) {
    setObjectName(QStringLiteral("frmWAV"));
    setWindowTitle(QStringLiteral("Add WAV"));

    txtFile_ = MakeBox(QStringLiteral("txtFile"), this);
    txtFile_->setMinimumWidth(fontMetrics().averageCharWidth() * 44);
    cmdBrowse_ = MakeButton(QStringLiteral("cmdBrowse"), QStringLiteral("..."), this);
    cmdBrowse_->setToolTip(QStringLiteral("Browse for a WAV file"));
    cmdBrowse_->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("....")) + 24);
    cmdPlay_ = new QToolButton(this);
    cmdPlay_->setObjectName(QStringLiteral("cmdPlay"));
    cmdPlay_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    cmdPlay_->setToolTip(QStringLiteral("Preivew Sound"));
    cmdPlay_->setAutoRaise(false);
    cmdPlay_->setFixedSize(cmdBrowse_->sizeHint().height(), cmdBrowse_->sizeHint().height());
    Text1_ = MakeBox(QStringLiteral("Text1"), this);
    Text2_ = MakeBox(QStringLiteral("Text2"), this);
    const int frameBoxWidth = fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 12;
    Text1_->setFixedWidth(frameBoxWidth);
    Text2_->setFixedWidth(frameBoxWidth);

    List1_ = new QListWidget(this);
    List1_->setObjectName(QStringLiteral("List1"));
    List1_->setSelectionMode(QAbstractItemView::SingleSelection);
    List1_->setUniformItemSizes(true);
    List1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    List1_->setMinimumHeight(fontMetrics().height() * 10);
    const int columnWidth = fontMetrics().horizontalAdvance(QStringLiteral("00000000")) + 2 * kFieldPadding;
    List1_->setItemDelegate(new WavEntryDelegate(columnWidth, List1_));

    Command1_ = MakeButton(QStringLiteral("Command1"), QStringLiteral("&Add"), this);
    Command2_ = MakeButton(QStringLiteral("Command2"), QStringLiteral("&Remove"), this);
    Command3_ = MakeButton(QStringLiteral("Command3"), QStringLiteral("R&eplace"), this);
    cmdOK_ = MakeButton(QStringLiteral("cmdOK"), QStringLiteral("&Done"), this);

    // The path row.
    auto* fileRow = new QHBoxLayout;
    fileRow->setSpacing(4);
    fileRow->addWidget(txtFile_, 1);
    fileRow->addWidget(cmdBrowse_);
    fileRow->addWidget(cmdPlay_);

    // The frame boxes side by side.
    auto* frameRow = new QHBoxLayout;
    frameRow->addWidget(Text1_);
    frameRow->addSpacing(16);
    frameRow->addWidget(MakeLabel(QStringLiteral("lblStopFrame"), QStringLiteral("Stop Frame:"), Text2_, this));
    frameRow->addWidget(Text2_);
    frameRow->addStretch(1);

    auto* boxes = new QGridLayout;
    boxes->addWidget(MakeLabel(QStringLiteral("lblWavFile"), QStringLiteral("WAV File:"), txtFile_, this), 0, 0);
    boxes->addLayout(fileRow, 0, 1);
    boxes->addWidget(MakeLabel(QStringLiteral("lblStartFrame"), QStringLiteral("Start Frame:"), Text1_, this), 1, 0);
    boxes->addLayout(frameRow, 1, 1);

    // Headings over the list, lined up with the columns the delegate draws.
    auto* headings = new QHBoxLayout;
    headings->setSpacing(0);
    headings->setContentsMargins(List1_->frameWidth() + kFieldPadding, 0, 0, 0);
    auto* lblStart = MakeLabel(QStringLiteral("lblStartHeading"), QStringLiteral("Start:"), nullptr, this);
    auto* lblEnd = MakeLabel(QStringLiteral("lblEndHeading"), QStringLiteral("End:"), nullptr, this);
    lblStart->setFixedWidth(columnWidth);
    lblEnd->setFixedWidth(columnWidth);
    headings->addWidget(lblStart);
    headings->addWidget(lblEnd);
    headings->addWidget(MakeLabel(QStringLiteral("lblFileHeading"), QStringLiteral("File:"), nullptr, this), 1);

    auto* listColumn = new QVBoxLayout;
    listColumn->setSpacing(2);
    listColumn->addLayout(headings);
    listColumn->addWidget(List1_, 1);

    auto* buttons = new QVBoxLayout;
    buttons->addSpacing(fontMetrics().height() + 2);
    buttons->addWidget(Command1_);
    buttons->addWidget(Command2_);
    buttons->addWidget(Command3_);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK_);

    auto* lower = new QHBoxLayout;
    lower->addLayout(listColumn, 1);
    lower->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(boxes);
    layout->addSpacing(6);
    layout->addLayout(lower, 1);

    setTabOrder(txtFile_, cmdBrowse_);
    setTabOrder(cmdBrowse_, cmdPlay_);
    setTabOrder(cmdPlay_, Text1_);
    setTabOrder(Text1_, Text2_);
    setTabOrder(Text2_, List1_);
    setTabOrder(List1_, Command1_);
    setTabOrder(Command1_, Command2_);
    setTabOrder(Command2_, Command3_);
    setTabOrder(Command3_, cmdOK_);

    connect(cmdBrowse_, &QPushButton::clicked, this, &frmWAV::cmdBrowse_Click);
    connect(cmdPlay_, &QToolButton::clicked, this, &frmWAV::cmdPlay_Click);
    connect(Command1_, &QPushButton::clicked, this, &frmWAV::Command1_Click);
    connect(Command2_, &QPushButton::clicked, this, &frmWAV::Command2_Click);
    connect(Command3_, &QPushButton::clicked, this, &frmWAV::Command3_Click);
    connect(cmdOK_, &QPushButton::clicked, this, &frmWAV::cmdOK_Click);
    // A click on an entry, and moving through the list with the keys, fill the boxes.
    connect(List1_, &QListWidget::itemClicked, this, &frmWAV::List1_Click);
    connect(List1_, &QListWidget::itemSelectionChanged, this, &frmWAV::List1_Click);

    // Opening: the working list from the project's cues.
    for (const std::string& entry : EntriesFromCues(project_.WavCues)) {
        SetEntry(new QListWidgetItem(List1_), QString::fromStdString(entry), ProjectFolder(project_.sFilename));
    }
}

frmWAV::~frmWAV() = default;

std::vector<std::string> frmWAV::Entries() const {
    std::vector<std::string> entries;
    entries.reserve(List1_->count());
    for (int i = 0; i < List1_->count(); ++i) entries.push_back(List1_->item(i)->text().toStdString());
    return entries;
}

QString frmWAV::PreviewFile() const { return previewFile_; }

void frmWAV::ShowInvalidEntry(const std::string& text) {
    Ask(messages_, Message{text, kInvalidEntryTitle.toStdString(), MessageIcon::Critical, MessageButtons::Ok});
}

void frmWAV::cmdBrowse_Click() {
    const QString file = chooseFile_(this, QStringLiteral("Add WAV File..."), QStringLiteral("WAV Files (*.wav)"));
    if (!file.isEmpty()) txtFile_->setText(QDir::toNativeSeparators(file));
}

void frmWAV::cmdPlay_Click() {
    // Plays in the background; why nothing is heard is said once.
    const QString file = ResolveSoundFile(txtFile_->text());
    if (!preview_) preview_ = std::make_unique<audio::SoundPlayer>();
    preview_->StopAll();
    previewFile_ = file;
    std::string error;
    if (file.isEmpty()) return;
    auto sound = preview_->HasDevice() ? preview_->Load(file.toStdString(), error) : nullptr;
    if (sound) {
        preview_->Play(std::move(sound));
    } else if (!toldSilent_) {
        toldSilent_ = true;
        Ask(messages_, Message{preview_->HasDevice() ? file.toStdString() + ": " + error : audio::kNoSoundOutput,
                               "Sound Not Played", MessageIcon::Exclamation, MessageButtons::Ok});
    }
}

QString frmWAV::ResolveSoundFile(const QString& path) const {
    return QString::fromStdString(ResolveCuePath(path.toStdString(), ProjectFolder(project_.sFilename)));
}

bool frmWAV::CheckBoxes() {
    const auto problem = CheckWavBoxes(Text1_->text().toStdString(), Text2_->text().toStdString(),
                                       txtFile_->text().toStdString());
    if (!problem) return true;
    ShowInvalidEntry(problem->message);
    QLineEdit* box = problem->box == WavBox::Start ? Text1_ : problem->box == WavBox::Stop ? Text2_ : txtFile_;
    box->selectAll();
    box->setFocus();
    return false;
}

QString frmWAV::EntryFromBoxes() const {
    return QString::fromStdString(
        MakeWavEntry(Text1_->text().toStdString(), Text2_->text().toStdString(), txtFile_->text().toStdString()));
}

void frmWAV::ClearBoxes() {
    txtFile_->clear();
    Text1_->clear();
    Text2_->clear();
}

void frmWAV::MarkModified() {
    project_.bNeedToSave = true;
    project_.ModifiedSinceBuild = true;
}

int frmWAV::SelectedRow() const {
    const QList<QListWidgetItem*> selected = List1_->selectedItems();
    return selected.isEmpty() ? -1 : List1_->row(selected.front());
}

void frmWAV::Command1_Click() {
    if (!CheckBoxes()) return;
    SetEntry(new QListWidgetItem(List1_), EntryFromBoxes(), ProjectFolder(project_.sFilename));
    ClearBoxes();
    MarkModified();
}

void frmWAV::Command2_Click() {
    const int row = SelectedRow();
    if (row < 0) {
        ShowInvalidEntry("You must select an entry to remove.");
        return;
    }
    {
        // Removing moves the current row; that is no click on another entry.
        const QSignalBlocker blocker(List1_);
        delete List1_->takeItem(row);
        List1_->clearSelection();
        List1_->setCurrentRow(-1);
    }
    ClearBoxes();
    MarkModified();
}

void frmWAV::Command3_Click() {
    const int row = SelectedRow();
    if (row < 0) {
        ShowInvalidEntry("You must select an entry to replace.");
        return;
    }
    if (!CheckBoxes()) return;
    SetEntry(List1_->item(row), EntryFromBoxes(), ProjectFolder(project_.sFilename));
    ClearBoxes();
    MarkModified();
}

void frmWAV::List1_Click() {
    const int row = SelectedRow();
    if (row < 0) return;
    const WavEntryFields fields = SplitWavEntry(List1_->item(row)->text().toStdString());
    Text1_->setText(QString::fromStdString(std::string(TrimBlanks(fields.start))));
    Text2_->setText(fields.stop == kNoStopFrame ? QString() : QString::fromStdString(fields.stop));
    txtFile_->setText(QString::fromStdString(fields.path));
}

void frmWAV::cmdOK_Click() {
    project_.WavCues = CuesFromEntries(Entries());
    accept();
}

}  // namespace kestrova
