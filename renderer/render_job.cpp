#include "renderer/render_job.h"

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>

#include "host/entry_point.h"
#include "renderer/demo_scene.h"
#include "renderer/errors.h"
#include "renderer/image_ops.h"

namespace mst {

std::atomic<bool> renderInterrupted{false};

namespace {

std::string readTextFile(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw RunError("cannot open '" + path + "': " + std::strerror(errno));
    }
    std::string text;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    // A folder opens but does not read: reported as what it is, not as empty path data.
    const int err = std::ferror(file) ? errno : 0;
    std::fclose(file);
    if (err != 0)
        throw RunError("cannot read '" + path + "': " + std::strerror(err));
    return text;
}

MaskPath parsePathOption(const std::string& option, const std::string& data) {
    try {
        return parseSvgPath(data);
    } catch (const UsageError& e) {
        throw UsageError(option + ": " + e.what());
    }
}

extern "C" void onInterrupt(int) {
    renderInterrupted = true;
}

// Ctrl-C during a render cancels it cleanly (no partial files); a second one ends the
// program at once, as the handler is reset on the first.
class InterruptHandler {
  public:
    InterruptHandler() {
        renderInterrupted = false;
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_);
    }
    ~InterruptHandler() { sigaction(SIGINT, &previous_, nullptr); }
    InterruptHandler(const InterruptHandler&) = delete;
    InterruptHandler& operator=(const InterruptHandler&) = delete;

  private:
    struct sigaction previous_ {};
};

}  // namespace

Scene loadScene(const RenderOptions& options) {
    std::optional<MaskPath> path;
    if (options.pathData) {
        path = parsePathOption("--path", *options.pathData);
    } else if (options.pathFile) {
        path = parsePathOption("--path-file '" + *options.pathFile + "'",
                               readTextFile(*options.pathFile));
    }

    Scene scene;
    scene.input = options.input ? readImage(*options.input)
                                : makeDemoImage(options.depth.value_or(PixelDepth::Depth8));
    const PixelDepth depth = options.depth.value_or(scene.input.depth());
    if (scene.input.depth() != depth)
        scene.input = convertDepth(scene.input, depth);
    if (!path) {
        // The demo path, stretched from the demo image onto whatever image was given.
        path = scaledPath(parseSvgPath(DEMO_PATH),
                          static_cast<double>(scene.input.width()) / DEMO_WIDTH,
                          static_cast<double>(scene.input.height()) / DEMO_HEIGHT);
    }
    if (options.layer)
        scene.layer = convertDepth(readImage(*options.layer), depth);

    if (options.downsample > 1) {
        // The host hands a draft render every layer at the draft resolution, and the mask in
        // its pixels.
        scene.input = downsampleImage(scene.input, options.downsample);
        if (scene.layer)
            scene.layer = downsampleImage(*scene.layer, options.downsample);
        const double s = 1.0 / options.downsample;
        path = scaledPath(*path, s, s);
    }
    scene.path = *path;
    return scene;
}

std::string frameFileName(const std::string& out, int32_t number, int32_t digits) {
    const size_t slash = out.find_last_of('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    auto padded = [number](size_t width) {
        std::string n = std::to_string(number);
        return n.size() < width ? std::string(width - n.size(), '0') + n : n;
    };
    const size_t hash = out.find('#', base);
    if (hash != std::string::npos) {
        const size_t end = out.find_first_not_of('#', hash);
        const size_t run = (end == std::string::npos ? out.size() : end) - hash;
        return out.substr(0, hash) + padded(run) + out.substr(hash + run);
    }
    const size_t dot = out.find_last_of('.');
    const size_t split = dot == std::string::npos || dot <= base ? out.size() : dot;
    return out.substr(0, split) + "_" + padded(static_cast<size_t>(digits)) + out.substr(split);
}

std::vector<FramePlan> planFrames(const RenderOptions& options) {
    if (options.frames == 0) {
        return {FramePlan{1, options.params[TIME].u.fd.value / 65536.0, options.out}};
    }
    const int32_t digits =
        std::max<int32_t>(4, static_cast<int32_t>(std::to_string(options.frames).size()));
    std::vector<FramePlan> plans;
    for (int32_t n = options.firstFrame; n <= options.lastFrame; ++n) {
        // Evenly spaced, both ends included; a one-frame sequence sits at its start.
        const double t = options.frames == 1
                             ? options.timeFrom
                             : options.timeFrom + (options.timeTo - options.timeFrom) * (n - 1) /
                                                      (options.frames - 1);
        plans.push_back(
            {n, t, options.strip ? options.out : frameFileName(options.out, n, digits)});
    }
    return plans;
}

std::string describeRenderError(PF_Err err, const std::string& hostMessage) {
    std::string meaning;
    switch (err) {
        case PF_Err_OUT_OF_MEMORY:
            meaning = "out of memory (error 4)";
            break;
        case PF_Err_INTERNAL_STRUCT_DAMAGED:
            meaning = "internal structure damaged (error 512)";
            break;
        case PF_Err_BAD_CALLBACK_PARAM:
            meaning = "bad callback parameter (error 516)";
            break;
        case ERR_SURFACE_MISMATCH:
            meaning = "the output image does not fit the input (surface mismatch, error 255)";
            break;
        case STANDIN_CANCEL_CODE:
            meaning = "cancelled";
            break;
        default:
            meaning = "error " + std::to_string(err);
            break;
    }
    return hostMessage.empty() ? meaning : meaning + ": " + hostMessage;
}

FrameRenderer::FrameRenderer(const Scene& scene, const RenderOptions& options)
    : host_(EntryPointFunc) {
    host_.input = scene.input;
    host_.layer = scene.layer;
    host_.masks[MASK_ID] = makeMask(scene.path);
    host_.downsample = PF_RationalScale{1, static_cast<uint32_t>(options.downsample)};
    if (const PF_Err err = host_.setUp()) {
        throw RunError("the plug-in's setup failed: " + describeRenderError(err, ""));
    }
    for (int32_t i = PATH; i < PARAM_COUNT; ++i) {
        if (i == LAYER)
            continue;  // the host fills it from `layer` at check-out
        host_.param(i).u = options.params[static_cast<size_t>(i)].u;
    }
    host_.param(PATH).u.path_d.path_id = MASK_ID;
}

OwnedImage FrameRenderer::render(const FramePlan& frame,
                                 std::function<PF_Err(int32_t, int32_t)> onProgress) {
    host_.param(TIME).u.fd.value = toFixed(frame.timePercent);
    host_.currentTime = frame.number - 1;
    host_.onProgress = std::move(onProgress);
    OwnedImage output;
    const PF_Err err = host_.renderFrame(output);
    // The stand-in's records of the frame are not needed, and would grow with every frame.
    host_.progress.clear();
    host_.checkedOutParams.clear();
    if (err != PF_Err_NONE) {
        const PF_OutData& out = host_.outData();
        const std::string message =
            (out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0 ? out.return_msg : "";
        throw RunError("the effect failed: " + describeRenderError(err, message));
    }
    return output;
}

void runRender(const RenderOptions& options) {
    const Scene scene = loadScene(options);
    const std::vector<FramePlan> plans = planFrames(options);
    const auto count = static_cast<int32_t>(plans.size());
    const int32_t workers = std::clamp(options.jobs, 1, count);
    ProgressBar bar(count, workers, !options.quiet && stderrIsTerminal());
    InterruptHandler interrupts;

    std::vector<OwnedImage> strip(options.strip ? plans.size() : 0);
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex errorLock;
    std::exception_ptr firstError;

    auto work = [&](int32_t worker) {
        try {
            FrameRenderer renderer(scene, options);
            auto onProgress = [&](int32_t current, int32_t total) -> PF_Err {
                bar.report(worker, current, total);
                return stop || renderInterrupted ? STANDIN_CANCEL_CODE : PF_Err_NONE;
            };
            for (;;) {
                if (stop || renderInterrupted)
                    return;
                const size_t i = next++;
                if (i >= plans.size())
                    return;
                OwnedImage frame;
                try {
                    frame = renderer.render(plans[i], onProgress);
                } catch (const RunError& e) {
                    if (options.frames == 0)
                        throw;
                    throw RunError("frame " + std::to_string(plans[i].number) + ": " + e.what());
                }
                if (options.strip) {
                    strip[i] = std::move(frame);
                } else {
                    writeImage(plans[i].file, frame, options.outType);
                }
                bar.frameDone(worker);
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(errorLock);
            if (!firstError)
                firstError = std::current_exception();
            stop = true;
        }
    };
    if (workers == 1) {
        work(0);
    } else {
        std::vector<std::thread> threads;
        for (int32_t w = 0; w < workers; ++w)
            threads.emplace_back(work, w);
        for (std::thread& t : threads)
            t.join();
    }
    if (renderInterrupted)
        throw Interrupted();
    if (firstError)
        std::rethrow_exception(firstError);
    if (options.strip)
        writeImage(options.out, sideBySide(strip), options.outType);
    bar.finish();
}

}  // namespace mst
