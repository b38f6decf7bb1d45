#include "renderer/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace mst {
namespace {

// Short work draws nothing: a bar that flashes for a tenth of a second is noise.
constexpr std::chrono::milliseconds FIRST_DRAW{300};
constexpr std::chrono::milliseconds REDRAW{100};
constexpr int BAR_WIDTH = 30;

std::string clock(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

}  // namespace

bool stderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

ProgressBar::ProgressBar(int32_t frames, int32_t workers, bool enabled)
    : frames_(std::max(frames, 1)),
      workers_(std::max(workers, 1)),
      enabled_(enabled),
      partial_(std::make_unique<std::atomic<double>[]>(static_cast<size_t>(workers_))),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_) {
    for (int32_t i = 0; i < workers_; ++i)
        partial_[i] = 0.0;
}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::report(int32_t worker, int32_t current, int32_t total) {
    if (!enabled_ || worker < 0 || worker >= workers_)
        return;
    const double f = total > 0 ? std::clamp(static_cast<double>(current) / total, 0.0, 1.0) : 0.0;
    partial_[worker] = f;
    draw(false);
}

void ProgressBar::frameDone(int32_t worker) {
    ++done_;
    if (!enabled_)
        return;
    if (worker >= 0 && worker < workers_)
        partial_[worker] = 0.0;
    draw(false);
}

void ProgressBar::finish() {
    if (!enabled_ || finished_)
        return;
    std::lock_guard<std::mutex> lock(drawing_);
    finished_ = true;
    if (!drawn_)
        return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const int32_t done = done_;
    const std::string line = barLine(static_cast<double>(done) / frames_, done, frames_, seconds);
    std::fprintf(stderr, "\r%s\n", line.c_str());
    std::fflush(stderr);
}

void ProgressBar::draw(bool force) {
    const auto now = std::chrono::steady_clock::now();
    if (!force && (now - start_ < FIRST_DRAW || now - lastDraw_ < REDRAW))
        return;
    // A worker that finds another drawing skips its turn rather than wait.
    std::unique_lock<std::mutex> lock(drawing_, std::try_to_lock);
    if (!lock.owns_lock() || finished_)
        return;
    lastDraw_ = now;
    const int32_t done = done_;
    double sum = done;
    for (int32_t i = 0; i < workers_; ++i)
        sum += partial_[i];
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const std::string line = barLine(std::min(sum / frames_, 1.0), done, frames_, seconds);
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

std::string ProgressBar::barLine(double fraction, int32_t framesDone, int32_t frames,
                                 double seconds) {
    fraction = std::clamp(fraction, 0.0, 1.0);
    const int filled = static_cast<int>(fraction * BAR_WIDTH);
    // Built by appending: GCC 12 warns falsely (-Wrestrict) on a chain of string additions.
    std::string line;
    line.reserve(96);
    line.append("[");
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(BAR_WIDTH - filled), '-');
    line.append("] ");
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(fraction * 100.0));
    line += percent;
    if (frames > 1) {
        line += "  " + std::to_string(framesDone) + "/" + std::to_string(frames) + " frames";
    }
    line += "  " + clock(seconds);
    if (fraction > 0.02 && fraction < 1.0) {
        line += " (about " + clock(seconds / fraction - seconds) + " left)";
    }
    // Trailing blanks clear what a longer previous line left behind.
    return line + "   ";
}

}  // namespace mst
