// The `render` command line: its options, read into the settings of a render.
#pragma once

#include <CLI/CLI.hpp>
#include <array>
#include <map>
#include <optional>
#include <string>

#include "renderer/image_io.h"
#include "renderer/panel.h"

namespace mst {

// What a render is asked to do, checked and in the host's units.
struct RenderOptions {
    std::optional<std::string> input;
    std::optional<std::string> pathData;  // --path
    std::optional<std::string> pathFile;  // --path-file
    std::optional<std::string> layer;
    std::optional<PixelDepth> depth;  // unset: the input's own
    int32_t downsample = 1;
    std::string out = "stamptrails-demo.png";
    ImageFileType outType = ImageFileType::Png;
    int32_t frames = 0;  // 0: one frame at --time
    double timeFrom = 0.0;
    double timeTo = 100.0;
    int32_t firstFrame = 1;  // --frame-range, 1-based and inclusive
    int32_t lastFrame = 0;
    int32_t jobs = 1;
    bool quiet = false;
    bool strip = false;
    // The parameter values to render with, indexed by ParamId; Path and Layer are set by
    // the render from the path and layer options.
    std::array<PF_ParamDef, PARAM_COUNT> params{};
};

constexpr int32_t MAX_DOWNSAMPLE = 64;
constexpr int32_t MAX_FRAMES = 1000000;
constexpr int32_t MAX_JOBS = 64;

// The options as typed, before they are checked.
struct RenderCommandLine {
    std::map<std::string, std::string> text;  // by long option name
    std::map<std::string, CLI::Option*> given;
    bool fixedAngle = false;
    bool quiet = false;
    bool strip = false;
};

// Adds the render options to `command`, with help showing each default and range as the
// plug-in declares them.
void addRenderOptions(CLI::App& command, const Panel& panel, RenderCommandLine& line);

// Checks what was typed and turns it into settings. Throws UsageError.
RenderOptions resolveRenderOptions(const Panel& panel, const RenderCommandLine& line);

}  // namespace mst
