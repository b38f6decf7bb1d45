#include "renderer/cli_options.h"

#include <algorithm>

#include "renderer/errors.h"

namespace mst {
namespace {

const char* const IO_GROUP = "Input and output";
const char* const EFFECT_GROUP = "Effect parameters (defaults and ranges as the plug-in declares)";
const char* const ANIMATION_GROUP = "Animation";

CLI::Option* textOption(CLI::App& command, RenderCommandLine& line, const std::string& name,
                        const std::string& valueName, const std::string& help, const char* group) {
    CLI::Option* option = command.add_option(name, line.text[name], help);
    option->type_name(valueName)->group(group);
    line.given[name] = option;
    return option;
}

PixelDepth depthFromText(const std::string& text) {
    if (text == "8")
        return PixelDepth::Depth8;
    if (text == "16")
        return PixelDepth::Depth16;
    if (text == "32")
        return PixelDepth::DepthFloat;
    throw UsageError("--depth: '" + text + "' is not a depth; use 8, 16 or 32");
}

}  // namespace

void addRenderOptions(CLI::App& command, const Panel& panel, RenderCommandLine& line) {
    line.text["--out"] = "stamptrails-demo.png";

    textOption(command, line, "--input", "FILE",
               "PNG (8- or 16-bit) or OpenEXR image; without it, a built-in demo image", IO_GROUP);
    textOption(command, line, "--path", "DATA",
               "the mask as SVG path data in the input's pixels (x right, y down), one "
               "subpath; without a path, a built-in demo path fitted to the image",
               IO_GROUP);
    textOption(command, line, "--path-file", "FILE", "a file holding the mask's SVG path data",
               IO_GROUP);
    textOption(command, line, "--layer", "FILE",
               "the image --shape layer stamps (PNG or OpenEXR, any size and depth)", IO_GROUP);
    textOption(command, line, "--depth", "8|16|32",
               "frame depth [default: the input's; 8 for the demo image]", IO_GROUP);
    textOption(command, line, "--downsample", "N",
               "render at 1/N resolution, as the host's draft previews do; the path scales "
               "with it [default 1, 1 to " +
                   std::to_string(MAX_DOWNSAMPLE) + "]",
               IO_GROUP);
    textOption(command, line, "--out", "FILE",
               "output file, .png (8-bit, or 16-bit for 16-bit and float frames) or .exr "
               "(float) [default stamptrails-demo.png]",
               IO_GROUP);
    command.add_flag("--quiet,-q", line.quiet, "no progress bar")->group(IO_GROUP);

    for (const ParamOption& o : PARAM_OPTIONS) {
        const PF_ParamDef& def = panel.def(o.id);
        std::string help =
            std::string("\"") + def.name + "\": " + o.help + " [default " + defaultText(o, def);
        if (o.kind == OptionKind::Checkbox) {
            command.add_flag(o.name, line.fixedAngle, help + "]")->group(EFFECT_GROUP);
            continue;
        }
        if (o.kind != OptionKind::Popup && o.kind != OptionKind::Color) {
            help += ", " + rangeText(o, def);
        }
        const std::string valueName = o.kind == OptionKind::Popup ? rangeText(o, def) : o.valueName;
        textOption(command, line, o.name, valueName, help + "]", EFFECT_GROUP);
    }

    const PF_ParamDef& time = panel.def(TIME);
    const std::string timeRange = rangeText(paramOption(TIME), time);
    const OptionRange timeBounds = optionRange(paramOption(TIME), time);
    textOption(command, line, "--frames", "N",
               "render N frames with Time going evenly from --time-from to --time-to, each "
               "written to OUT with its frame number inserted (trail.png: trail_0001.png ...; "
               "a run of # in OUT is replaced by the number) [1 to " +
                   std::to_string(MAX_FRAMES) + "]",
               ANIMATION_GROUP);
    textOption(
        command, line, "--time-from", "PCT",
        "Time of the first frame [default " + numberText(timeBounds.min) + ", " + timeRange + "]",
        ANIMATION_GROUP);
    textOption(
        command, line, "--time-to", "PCT",
        "Time of the last frame [default " + numberText(timeBounds.max) + ", " + timeRange + "]",
        ANIMATION_GROUP);
    textOption(command, line, "--frame-range", "A-B",
               "render only frames A to B of the sequence (for splitting a shot across "
               "machines)",
               ANIMATION_GROUP);
    textOption(command, line, "--jobs", "J",
               "frames rendered at once, each by its own plug-in instance [default 1, 1 to " +
                   std::to_string(MAX_JOBS) + "]",
               ANIMATION_GROUP);
    command
        .add_flag("--strip", line.strip,
                  "write the frames side by side into OUT as one image, not one file each")
        ->group(ANIMATION_GROUP);
}

RenderOptions resolveRenderOptions(const Panel& panel, const RenderCommandLine& line) {
    auto has = [&line](const std::string& name) { return line.given.at(name)->count() > 0; };
    auto text = [&line](const std::string& name) -> const std::string& {
        return line.text.at(name);
    };
    auto need = [&has](const std::string& name, const std::string& needed) {
        if (has(name))
            throw UsageError(name + " needs " + needed);
    };

    RenderOptions o;
    for (int32_t i = PATH; i < PARAM_COUNT; ++i) {
        o.params[static_cast<size_t>(i)] = panel.def(static_cast<ParamId>(i));
    }
    for (const ParamOption& p : PARAM_OPTIONS) {
        PF_ParamDef& def = o.params[static_cast<size_t>(p.id)];
        if (p.kind == OptionKind::Checkbox) {
            if (line.fixedAngle)
                setParamFromText(p, def, "");
        } else if (has(p.name)) {
            setParamFromText(p, def, text(p.name));
        }
    }

    if (has("--input"))
        o.input = text("--input");
    if (has("--path") && has("--path-file")) {
        throw UsageError("--path and --path-file both give the mask; use one");
    }
    if (has("--path"))
        o.pathData = text("--path");
    if (has("--path-file"))
        o.pathFile = text("--path-file");
    if (has("--layer"))
        o.layer = text("--layer");
    // The effect would quietly draw circles: almost certainly not what was meant.
    if (o.params[SHAPE].u.pd.value == 3 && !o.layer) {
        throw UsageError("--shape layer needs --layer FILE, the image to stamp");
    }
    if (has("--depth"))
        o.depth = depthFromText(text("--depth"));
    if (has("--downsample")) {
        o.downsample = parseWholeIn("--downsample", text("--downsample"), 1, MAX_DOWNSAMPLE);
    }
    o.out = text("--out");
    const std::optional<ImageFileType> type = fileTypeForName(o.out);
    if (!type) {
        throw UsageError("--out: '" + o.out + "' has no known image type; end it in .png or .exr");
    }
    o.outType = *type;
    o.quiet = line.quiet;
    o.strip = line.strip;
    if (has("--jobs"))
        o.jobs = parseWholeIn("--jobs", text("--jobs"), 1, MAX_JOBS);

    if (!has("--frames")) {
        need("--time-from", "--frames");
        need("--time-to", "--frames");
        need("--frame-range", "--frames");
        if (line.strip)
            throw UsageError("--strip needs --frames");
        return o;
    }
    if (has("--time")) {
        throw UsageError(
            "--time sets the Time of a single frame; with --frames use --time-from and "
            "--time-to");
    }
    o.frames = parseWholeIn("--frames", text("--frames"), 1, MAX_FRAMES);
    const ParamOption& timeOption = paramOption(TIME);
    const PF_ParamDef& timeDef = panel.def(TIME);
    const OptionRange timeRange = optionRange(timeOption, timeDef);
    auto timeValue = [&](const std::string& name, double fallback) {
        if (!has(name))
            return fallback;
        const double v = parseReal(name, text(name));
        if (!(v >= timeRange.min && v <= timeRange.max)) {
            throw UsageError(name + " " + text(name) + " is out of range: \"" + timeDef.name +
                             "\" takes " + rangeText(timeOption, timeDef));
        }
        return v;
    };
    o.timeFrom = timeValue("--time-from", timeRange.min);
    o.timeTo = timeValue("--time-to", timeRange.max);

    o.firstFrame = 1;
    o.lastFrame = o.frames;
    if (has("--frame-range")) {
        const std::string& range = text("--frame-range");
        const size_t dash = range.find('-');
        const std::string a = range.substr(0, dash);
        const std::string b = dash == std::string::npos ? a : range.substr(dash + 1);
        const std::string what = "--frame-range " + range;
        if (a.empty() || b.empty()) {
            throw UsageError("--frame-range: '" + range + "' is not a range; give A-B, as 1-50");
        }
        o.firstFrame =
            static_cast<int32_t>(std::clamp<int64_t>(parseWhole(what, a), 0, MAX_FRAMES + 1));
        o.lastFrame =
            static_cast<int32_t>(std::clamp<int64_t>(parseWhole(what, b), 0, MAX_FRAMES + 1));
        if (o.firstFrame < 1 || o.lastFrame > o.frames) {
            throw UsageError(what + " is out of range: the sequence has frames 1 to " +
                             std::to_string(o.frames));
        }
        if (o.firstFrame > o.lastFrame) {
            throw UsageError(what + " runs backwards; give the first frame first");
        }
    }
    return o;
}

}  // namespace mst
