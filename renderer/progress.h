// A progress bar on the terminal, fed by the effect's own progress reports.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace mst {

// True when stderr is a terminal: the bar is drawn only there, never into logs or pipes.
bool stderrIsTerminal();

class ProgressBar {
  public:
    // `frames` frames, rendered by up to `workers` workers at once. Nothing is drawn unless
    // `enabled`; when it is, nothing is drawn for work that ends within a fraction of a second.
    ProgressBar(int32_t frames, int32_t workers, bool enabled);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // The effect reports `current` of `total` for the frame `worker` is rendering. Safe from
    // any thread; cheap when there is nothing to draw.
    void report(int32_t worker, int32_t current, int32_t total);
    // The frame `worker` was rendering is written.
    void frameDone(int32_t worker);
    // Draws the last state and ends the line, if anything was drawn.
    void finish();

    // The text of one bar, for the given done fraction and elapsed seconds.
    static std::string barLine(double fraction, int32_t framesDone, int32_t frames, double seconds);

  private:
    void draw(bool force);

    int32_t frames_;
    int32_t workers_;
    bool enabled_;
    std::unique_ptr<std::atomic<double>[]> partial_;  // per worker, 0..1 of its frame
    std::atomic<int32_t> done_{0};
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
    std::mutex drawing_;
    bool drawn_ = false;
    bool finished_ = false;
};

}  // namespace mst
