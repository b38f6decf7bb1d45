// A render: the scene loaded from files (or made in code), then one frame or a sequence
// rendered through the plug-in's entry point on stand-in hosts and written out.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "renderer/cli_options.h"
#include "renderer/progress.h"
#include "renderer/svg_path.h"
#include "standin_host/standin_host.h"

namespace mst {

// The mask id the renderer's path is known by on the stand-in host.
constexpr uint32_t MASK_ID = 1;

// What every frame shares: input and layer already in the frame's depth and resolution, the
// mask in the same pixels.
struct Scene {
    OwnedImage input;
    std::optional<OwnedImage> layer;
    MaskPath path;
};

// Path data is checked before any image is read, so a usage error is reported as one even
// when a file is missing too. Throws UsageError or RunError.
Scene loadScene(const RenderOptions& options);

struct FramePlan {
    int32_t number;      // 1-based number in the sequence
    double timePercent;  // the frame's Time
    std::string file;    // where it is written (OUT itself for a single frame or a strip)
};

// The frames to render: one frame at the options' Time, or frames firstFrame..lastFrame of
// the sequence, Time going evenly from timeFrom (frame 1) to timeTo (the last frame).
std::vector<FramePlan> planFrames(const RenderOptions& options);

// OUT with a frame number: a run of '#' is replaced by the number, zero-padded to the run's
// length; otherwise "_" and the number padded to `digits` go before the extension.
std::string frameFileName(const std::string& out, int32_t number, int32_t digits);

// What an error code from the effect means, for the user.
std::string describeRenderError(PF_Err err, const std::string& hostMessage);

// One plug-in instance on a stand-in host of its own, set up with the scene and the options.
// Workers each have one: the plug-in is single-threaded per instance.
class FrameRenderer {
  public:
    FrameRenderer(const Scene& scene, const RenderOptions& options);
    // Renders one frame. `onProgress` receives the effect's reports; a non-zero answer
    // cancels the frame. Throws RunError with the effect's error explained.
    OwnedImage render(const FramePlan& frame,
                      std::function<PF_Err(int32_t, int32_t)> onProgress = nullptr);
    StandinHost& host() { return host_; }

  private:
    StandinHost host_;
};

// Set by Ctrl-C while a render runs: frames in progress are cancelled through the effect's
// progress reports, and no further frame starts.
extern std::atomic<bool> renderInterrupted;

class Interrupted : public std::runtime_error {
  public:
    Interrupted() : std::runtime_error("interrupted") {}
};

// Renders and writes everything the options ask for. Throws UsageError, RunError or
// Interrupted.
void runRender(const RenderOptions& options);

}  // namespace mst
