#include "audio_lane.h"

#include "sound_peaks.h"

#include <QDir>
#include <QFileInfo>
#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace kestrova {

namespace {

const QColor kLaneColor(248, 248, 248);
const QColor kWaveColor(70, 110, 170);
const QColor kPendingColor(225, 230, 238);
const QColor kFailedColor(200, 80, 60);

}  // namespace

CueSpan CueSoundSpan(const WavCue& cue, double seconds, int framesPerSecond, int offsetMs) {
    const double shift = double(offsetMs) * framesPerSecond / 1000.0;
    CueSpan span;
    span.first = cue.Start + shift;
    const bool stops = cue.End >= 0;
    const double stop = cue.End + shift;
    if (seconds >= 0) {
        span.last = span.first + seconds * framesPerSecond;
        if (stops) span.last = std::min(span.last, stop);
    } else {
        span.last = stops ? stop : span.first + 1;
    }
    span.last = std::max(span.last, span.first);
    return span;
}

AudioLane::AudioLane(const Project& project, SoundPeaks& peaks, QWidget* parent)
    : QWidget(parent), project_(project), peaks_(peaks) {
    setObjectName(QStringLiteral("picSound"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    connect(&peaks_, &SoundPeaks::Ready, this, [this] { update(); });
}

void AudioLane::SetFramesPerSecond(int fps) {
    if (fps == fps_) return;
    fps_ = std::max(fps, 1);
    update();
}

void AudioLane::SetSoundOffsetMs(int ms) {
    if (ms == offsetMs_) return;
    offsetMs_ = ms;
    update();
}

void AudioLane::SetSoundFolder(const std::string& folder) {
    folder_ = folder;
    update();
}

QString AudioLane::Resolve(const std::string& path) const {
    const QString file = QString::fromStdString(path);
    if (file.isEmpty() || QDir::isAbsolutePath(file) || folder_.empty()) return QFileInfo(file).absoluteFilePath();
    return QDir(QString::fromStdString(folder_)).filePath(file);
}

std::vector<AudioLane::Bar> AudioLane::Bars() const {
    std::vector<Bar> bars;
    const WavCueList& cues = project_.WavCues;
    for (int i = 1; i <= UpperBound(cues); ++i) {
        const WavCue& cue = cues[size_t(i)];
        if (cue.Path.empty()) continue;  // a cue that only stops the sound
        const auto entry = peaks_.Get(Resolve(cue.Path));
        double seconds = -1;
        if (entry->state.load(std::memory_order_acquire) == SoundPeaks::State::Ready && entry->peaks.SampleRate() > 0)
            seconds = double(entry->peaks.Frames()) / entry->peaks.SampleRate();
        bars.push_back(Bar{i, CueSoundSpan(cue, seconds, fps_, offsetMs_)});
    }
    return bars;
}

int AudioLane::CueAt(int x) const {
    const double logical = mapping_.X(x);
    int found = 0;
    for (const Bar& bar : Bars())
        if (logical >= bar.span.first && logical < std::max(bar.span.last, bar.span.first + 1)) found = bar.cue;
    return found;
}

QString AudioLane::CueProblem(int cue) const {
    if (cue < 1 || cue > UpperBound(project_.WavCues)) return {};
    const auto entry = peaks_.Get(Resolve(project_.WavCues[size_t(cue)].Path));
    return entry->state.load(std::memory_order_acquire) == SoundPeaks::State::Failed ? entry->error : QString();
}

bool AudioLane::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int cue = CueAt(help->pos().x());
        if (cue > 0) {
            const QString name = QString::fromStdString(project_.WavCues[size_t(cue)].Path);
            const QString problem = CueProblem(cue);
            QToolTip::showText(help->globalPos(), problem.isEmpty() ? name : name + QStringLiteral("\n") + problem, this);
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QWidget::event(event);
}

void AudioLane::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = event->rect();
    painter.fillRect(area, kLaneColor);
    painter.setPen(QColor(210, 210, 210));
    painter.drawLine(area.left(), 0, area.right(), 0);
    const int height = this->height();
    const double middle = height / 2.0;
    const double half = std::max(height / 2.0 - 3.0, 1.0);
    const GraphMapping& m = mapping_;
    std::vector<QLine> lines;
    for (const Bar& bar : Bars()) {
        const int left = static_cast<int>(std::clamp<double>(m.Column(bar.span.first), -1.0, 1e9));
        const int right = static_cast<int>(std::clamp<double>(m.Column(bar.span.last), -1.0, 1e9));
        const int end = std::max(right, left + 1);  // a bar is at least a column wide
        const int from = std::max(left, area.left()), to = std::min(end, area.right() + 1);
        const WavCue& cue = project_.WavCues[size_t(bar.cue)];
        // Its number and file name at its left edge.
        const QString label = QString::number(bar.cue) + QStringLiteral("  ") +
                              QFileInfo(QString::fromStdString(cue.Path)).fileName();
        const QSize size = painter.fontMetrics().size(Qt::TextSingleLine, label);
        const QRect text(left + 3, 2, size.width() + 4, size.height());
        if (from >= to && !text.intersects(area)) continue;
        const auto entry = peaks_.Get(Resolve(cue.Path));
        const SoundPeaks::State state = entry->state.load(std::memory_order_acquire);
        const QRect band(from, 2, std::max(to - from, 0), height - 4);
        if (from >= to) {
            // Only the label is in the area.
        } else if (state == SoundPeaks::State::Failed) {
            painter.fillRect(band, QBrush(kFailedColor, Qt::BDiagPattern));
            painter.setPen(kFailedColor);
            painter.drawRect(band.adjusted(0, 0, -1, -1));
        } else if (state == SoundPeaks::State::Pending) {
            painter.fillRect(band, kPendingColor);
        } else {
            const audio::PeakPyramid& peaks = entry->peaks;
            const double samplesPerFrame = double(peaks.SampleRate()) / fps_;
            lines.clear();
            painter.setPen(QPen(kWaveColor, 0));
            for (int c = from; c < to; ++c) {
                const double x0 = std::max(m.X(c), bar.span.first), x1 = std::min(m.X(c + 1), bar.span.last);
                if (x1 <= x0) continue;
                const auto s0 = static_cast<int64_t>(std::floor((x0 - bar.span.first) * samplesPerFrame));
                const auto s1 = static_cast<int64_t>(std::ceil((x1 - bar.span.first) * samplesPerFrame));
                audio::PeakPair pair;
                if (!peaks.Range(s0, std::max(s1, s0 + 1), pair)) continue;
                const int top = static_cast<int>(std::floor(middle - std::clamp(pair.hi, -1.0f, 1.0f) * half));
                const int bottom = static_cast<int>(std::ceil(middle - std::clamp(pair.lo, -1.0f, 1.0f) * half));
                lines.emplace_back(c, top, c, std::max(bottom, top));
            }
            painter.drawLines(lines.data(), static_cast<int>(lines.size()));
        }
        painter.fillRect(text, QColor(255, 255, 255, 190));
        painter.setPen(state == SoundPeaks::State::Failed ? kFailedColor : Qt::black);
        painter.drawText(text.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, label);
    }
}

}  // namespace kestrova
