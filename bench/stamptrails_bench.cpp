// Frame-render benchmark: reference scenes through the plug-in's entry point on the stand-in
// host, side by side with Cairo drawing the same stamps, and the scaling of the frame time with
// footprint pixels and instance count. Prints tables; run it on an otherwise idle machine.
//
//   mst_bench              all tables
//   mst_bench --quick      fewer repetitions
//   mst_bench --memory     peak resident size of one 3840 x 2160 float frame (run alone)
//   mst_bench --peers      only S1 beside Cairo
//   mst_bench --scene N --depth D
//                          only the scene table's row for scene N (1-4) in depth D (8, 16,
//                          float), e.g. under a profiler
//   mst_bench --checksum   a hash of every scene's frame in every depth: an optimisation that
//                          changes no output bit leaves these lines unchanged
#include <cairo.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/path_walk.h"
#include "core/render_frame.h"
#include "core/stamp_rasteriser.h"
#include "host/entry_point.h"
#include "standin_host/recording_render_host.h"
#include "standin_host/standin_host.h"

namespace mst {
namespace {

constexpr int32_t FRAME_W = 1920;
constexpr int32_t FRAME_H = 1080;
constexpr uint32_t MASK_ID = 1;

int gRepetitions = 7;
int gOnlyScene = 0;                // 1-based; 0 for all
const char* gOnlyDepth = nullptr;  // "8", "16" or "float"; null for all

// A deterministic colourful source: hue bands crossed with a vertical ramp.
Pixel8 sourcePixel(int32_t x, int32_t y, int32_t w, int32_t h) {
    const double t = static_cast<double>(x) / w;
    const double u = static_cast<double>(y) / h;
    const double r = 0.5 + 0.5 * std::sin(6.2831853 * t * 3.0);
    const double g = 0.5 + 0.5 * std::sin(6.2831853 * (t * 3.0 + 0.33));
    const double b = 0.5 + 0.5 * std::sin(6.2831853 * (t * 3.0 + 0.67));
    const double k = 0.35 + 0.65 * u;
    return {255, static_cast<uint8_t>(255 * r * k), static_cast<uint8_t>(255 * g * k),
            static_cast<uint8_t>(255 * b * k)};
}

OwnedImage makeSource(PixelDepth depth, int32_t w, int32_t h) {
    OwnedImage image(depth, w, h);
    fillFrom8(image, [w, h](int32_t x, int32_t y) { return sourcePixel(x, y, w, h); });
    return image;
}

struct Scene {
    const char* name;
    PanelValues values;
    bool layer;
};

PanelValues s1() {
    PanelValues v;
    v.path = MASK_ID;
    v.number = 1000;
    v.width = 100;
    v.edgeThickness = 1;
    v.shape = 1;
    v.edgeMode = 1;
    v.background = 1;
    return v;
}

std::vector<Scene> scenes() {
    Scene a{"S1 circles", s1(), false};
    Scene b{"S2 hexagons", s1(), false};
    b.values.number = 10000;
    b.values.width = 24;
    b.values.shape = 2;
    b.values.sides = 6;
    Scene c{"S3 layer", s1(), true};
    c.values.shape = 3;
    c.values.width = 160;
    c.values.number = 200;
    c.values.blendMode = 6;
    c.values.colorOpacity = 70;
    Scene d{"S4 one big", s1(), false};
    d.values.number = 1;
    d.values.width = 2000;
    d.values.edgeThickness = 20;
    d.values.inner = 30;
    d.values.shape = 2;
    d.values.sides = 7;
    return {a, b, c, d};
}

const char* depthName(PixelDepth d) {
    return d == PixelDepth::Depth8 ? "8-bit" : d == PixelDepth::Depth16 ? "16-bit" : "float";
}

const char* depthArgument(PixelDepth d) {
    return d == PixelDepth::Depth8 ? "8" : d == PixelDepth::Depth16 ? "16" : "float";
}

double medianOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <class F>
double medianSeconds(int repetitions, F&& f) {
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const auto t1 = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double>(t1 - t0).count());
    }
    return medianOf(times);
}

// The frame's instances and footprint, from the render core's own walk on a plain host.
struct InstanceSet {
    std::vector<StampInstance> instances;
    double footprint = 0;  // sum of (2 hx + 1)(2 hy + 1)
    Stamp stamp;
};

class CollectingSink final : public InstanceSink {
  public:
    CollectingSink(InstanceSet& set, const Stamp& stamp, const MathFunctions& math)
        : set_(set), stamp_(stamp), math_(math) {}
    void beginInstances(int32_t&) override {}
    void drawInstance(const StampInstance& instance, int32_t&) override {
        const SplatGeometry g = splatGeometry(instance, stamp_, math_);
        set_.instances.push_back(instance);
        set_.footprint += (2.0 * g.hx + 1) * (2.0 * g.hy + 1);
    }

  private:
    InstanceSet& set_;
    const Stamp& stamp_;
    const MathFunctions& math_;
};

InstanceSet collectInstances(const Scene& scene, const FrameParams& params) {
    RecordingRenderHost plain(PixelDepth::Depth8, FRAME_W, FRAME_H);
    plain.params = params;
    plain.path = makeCirclePath(FRAME_W / 2.0, FRAME_H / 2.0, 400);
    InstanceSet set;
    StampSize size = scene.layer
                         ? StampSize{161, 161}
                         : shapeStampSize(params.stampWidth, params.edgeThickness, standardMath());
    set.stamp.halfWidth = size.width / 2;
    set.stamp.halfHeight = size.height / 2;
    CollectingSink sink(set, set.stamp, standardMath());
    InstanceStageHoldings held;
    int32_t err = 0;
    walkPathInstances(params, plain, sink, held, err);
    return set;
}

// One scene set up on the stand-in host, ready to render frame after frame.
class SceneRun {
  public:
    SceneRun(const Scene& scene, PixelDepth depth) : host_(EntryPointFunc) {
        host_.input = makeSource(depth, FRAME_W, FRAME_H);
        if (scene.layer) {
            host_.layer = makeSource(depth, 256, 256);
        }
        host_.masks[MASK_ID] = makeCirclePath(FRAME_W / 2.0, FRAME_H / 2.0, 400);
        if (host_.setUp() != PF_Err_NONE)
            std::abort();
        applyPanelValues(host_, scene.values);
        RawParamValues raw;
        raw.path = MASK_ID;
        raw.number = scene.values.number;
        raw.length = 100 * 65536;
        raw.time = 50 * 65536;
        raw.width = scene.values.width;
        raw.edgeThickness = scene.values.edgeThickness;
        raw.shape = scene.values.shape;
        raw.sides = scene.values.sides;
        raw.inner = static_cast<int32_t>(scene.values.inner * 65536);
        instances_ = collectInstances(scene, buildFrameParams(raw, 1, 1, nullptr));
    }

    // Seconds for one frame through the plug-in's whole command sequence.
    double frameSeconds() {
        return medianSeconds(1, [&] {
            if (host_.renderFrame(output_) != PF_Err_NONE)
                std::abort();
        });
    }
    const InstanceSet& instances() const { return instances_; }
    // The last frame rendered.
    OwnedImage& output() { return output_; }

  private:
    StandinHost host_;
    OwnedImage output_;
    InstanceSet instances_;
};

struct FrameResult {
    double seconds;
    InstanceSet set;
};

FrameResult runScene(const Scene& scene, PixelDepth depth, int repetitions) {
    SceneRun run(scene, depth);
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i)
        times.push_back(run.frameSeconds());
    return {medianOf(times), run.instances()};
}

// --- Cairo peers ----------------------------------------------------------------------------

// The S1 stamp, made once by the render core and premultiplied for Cairo.
cairo_surface_t* stampSurface(const FrameParams& params) {
    const StampSize size = shapeStampSize(params.stampWidth, params.edgeThickness, standardMath());
    OwnedImage image(PixelDepth::Depth8, size.width, size.height);
    Stamp stamp{image.view(), size.width / 2, size.height / 2};
    rasteriseStamp(stamp, params, makePolygonConstants(params.polygonSides, standardMath()),
                   standardMath());
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size.width, size.height);
    auto* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int32_t y = 0; y < size.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int32_t x = 0; x < size.width; ++x) {
            const Pixel8 p = image.at<Pixel8>(x, y);
            auto pm = [&](uint8_t c) { return static_cast<uint32_t>((c * p.alpha + 127) / 255); };
            row[x] =
                (uint32_t{p.alpha} << 24) | (pm(p.red) << 16) | (pm(p.green) << 8) | pm(p.blue);
        }
    }
    cairo_surface_mark_dirty(s);
    return s;
}

cairo_surface_t* frameSurface() {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, FRAME_W, FRAME_H);
    auto* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int32_t y = 0; y < FRAME_H; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int32_t x = 0; x < FRAME_W; ++x) {
            const Pixel8 p = sourcePixel(x, y, FRAME_W, FRAME_H);
            row[x] = 0xFF000000u | (uint32_t{p.red} << 16) | (uint32_t{p.green} << 8) | p.blue;
        }
    }
    cairo_surface_mark_dirty(s);
    return s;
}

// The S1 instances drawn by Cairo onto a frame of the same source, one pass per call.
class CairoPeer {
  public:
    CairoPeer(const InstanceSet& set, cairo_surface_t* stamp)
        : set_(set), stamp_(stamp), frame_(frameSurface()), cr_(cairo_create(frame_)) {}
    ~CairoPeer() {
        cairo_destroy(cr_);
        cairo_surface_destroy(frame_);
    }
    CairoPeer(const CairoPeer&) = delete;
    CairoPeer& operator=(const CairoPeer&) = delete;

    // Each stamp as a rotated, bilinearly filtered ARGB32 source painted with OVER.
    double rotatedPaintSeconds() {
        return medianSeconds(1, [&] {
            for (const StampInstance& i : set_.instances) {
                cairo_save(cr_);
                cairo_translate(cr_, std::trunc(i.x), std::trunc(i.y));
                cairo_rotate(cr_, i.angle);
                cairo_set_source_surface(cr_, stamp_, -set_.stamp.halfWidth,
                                         -set_.stamp.halfHeight);
                cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_BILINEAR);
                cairo_paint(cr_);
                cairo_restore(cr_);
            }
            cairo_surface_flush(frame_);
        });
    }

    // Each stamp as a vector circle: a fill in the sampled colour and a 1-pixel stroke.
    double vectorCirclesSeconds(double radius) {
        cairo_set_line_width(cr_, 1.0);
        return medianSeconds(1, [&] {
            for (const StampInstance& i : set_.instances) {
                const int32_t cx = std::clamp(static_cast<int32_t>(i.x), 0, FRAME_W - 1);
                const int32_t cy = std::clamp(static_cast<int32_t>(i.y), 0, FRAME_H - 1);
                const Pixel8 p = sourcePixel(cx, cy, FRAME_W, FRAME_H);
                cairo_new_path(cr_);
                cairo_arc(cr_, std::trunc(i.x), std::trunc(i.y), radius, 0, 2 * M_PI);
                cairo_set_source_rgb(cr_, p.red / 255.0, p.green / 255.0, p.blue / 255.0);
                cairo_fill_preserve(cr_);
                cairo_set_source_rgb(cr_, 0, 0, 0);
                cairo_stroke(cr_);
            }
            cairo_surface_flush(frame_);
        });
    }

  private:
    const InstanceSet& set_;
    cairo_surface_t* stamp_;
    cairo_surface_t* frame_;
    cairo_t* cr_;
};

// --- tables ---------------------------------------------------------------------------------

void sceneTable() {
    std::printf("\nScenes, %d x %d, median of %d frames through the entry point\n", FRAME_W,
                FRAME_H, gRepetitions);
    std::printf("%-12s %-7s %10s %10s %14s %12s\n", "scene", "depth", "instances", "frame ms",
                "footprint Mpx/s", "us/instance");
    int sceneNumber = 0;
    for (const Scene& scene : scenes()) {
        ++sceneNumber;
        if (gOnlyScene != 0 && sceneNumber != gOnlyScene)
            continue;
        for (PixelDepth depth : {PixelDepth::Depth8, PixelDepth::Depth16, PixelDepth::DepthFloat}) {
            if (gOnlyDepth != nullptr && std::strcmp(gOnlyDepth, depthArgument(depth)) != 0)
                continue;
            const int reps =
                scene.values.number >= 10000 ? std::max(3, gRepetitions / 2) : gRepetitions;
            const FrameResult r = runScene(scene, depth, reps);
            const double n = static_cast<double>(r.set.instances.size());
            std::printf("%-12s %-7s %10.0f %10.2f %14.1f %12.3f\n", scene.name, depthName(depth), n,
                        r.seconds * 1e3, r.set.footprint / r.seconds / 1e6,
                        n > 0 ? r.seconds / n * 1e6 : 0.0);
        }
    }
}

// Our frame and the two Cairo passes take turns, repetition by repetition, and each ratio is
// the median of the per-repetition ratios: a machine whose speed drifts during the run (a
// shared or throttled one) then moves both sides of every ratio alike.
void peerTable() {
    const Scene s = scenes()[0];
    std::printf(
        "\nS1 beside Cairo (same instances, same stamp), %d alternating repetitions, "
        "medians\n",
        gRepetitions);
    std::printf("%-8s %10s %12s %10s %12s %10s\n", "depth", "ours ms", "cairo img ms", "ratio",
                "cairo vec ms", "ratio");
    RawParamValues raw;
    raw.width = 100;
    raw.edgeThickness = 1;
    raw.shape = 1;
    const FrameParams params = buildFrameParams(raw, 1, 1, nullptr);
    cairo_surface_t* stamp = stampSurface(params);
    for (PixelDepth depth : {PixelDepth::Depth8, PixelDepth::Depth16, PixelDepth::DepthFloat}) {
        SceneRun run(s, depth);
        CairoPeer peer(run.instances(), stamp);
        std::vector<double> ours, image, vector, imageRatio, vectorRatio;
        for (int i = 0; i < gRepetitions; ++i) {
            ours.push_back(run.frameSeconds() * 1e3);
            image.push_back(peer.rotatedPaintSeconds() * 1e3);
            vector.push_back(peer.vectorCirclesSeconds(50.0) * 1e3);
            imageRatio.push_back(ours.back() / image.back());
            vectorRatio.push_back(ours.back() / vector.back());
        }
        std::printf("%-8s %10.2f %12.2f %10.2f %12.2f %10.2f\n", depthName(depth), medianOf(ours),
                    medianOf(image), medianOf(imageRatio), medianOf(vector), medianOf(vectorRatio));
    }
    std::printf("(ratio = our time / Cairo's; below 1 is faster)\n");
    cairo_surface_destroy(stamp);
}

// FNV-1a over the frame's bytes, row by row within the image's width.
uint64_t frameHash(OwnedImage& image) {
    uint64_t h = 1469598103934665603ull;
    const PixelImage v = image.view();
    const size_t rowLength = static_cast<size_t>(v.width) * static_cast<size_t>(pixelSize(v.depth));
    for (int32_t y = 0; y < v.height; ++y) {
        const auto* row = reinterpret_cast<const uint8_t*>(v.row<Pixel8>(0)) +
                          static_cast<size_t>(y) * static_cast<size_t>(v.pixelsPerRow) *
                              static_cast<size_t>(pixelSize(v.depth));
        for (size_t i = 0; i < rowLength; ++i) {
            h = (h ^ row[i]) * 1099511628211ull;
        }
    }
    return h;
}

void checksumTable() {
    for (const Scene& scene : scenes()) {
        for (PixelDepth depth : {PixelDepth::Depth8, PixelDepth::Depth16, PixelDepth::DepthFloat}) {
            SceneRun run(scene, depth);
            run.frameSeconds();
            std::printf("%-12s %-7s %016llx\n", scene.name, depthName(depth),
                        static_cast<unsigned long long>(frameHash(run.output())));
        }
    }
}

void scalingTable() {
    std::printf("\nS1 scaling, 8-bit: time = a * footprint + b * instances + c\n");
    std::printf("%8s %8s %14s %10s\n", "Number", "Width", "footprint Mpx", "frame ms");
    std::vector<std::array<double, 3>> rows;  // footprint, instances, seconds
    for (int32_t number : {100, 1000, 10000}) {
        for (double width : {25.0, 100.0, 400.0}) {
            Scene s = scenes()[0];
            s.values.number = number;
            s.values.width = width;
            // The largest rows take seconds a frame: one is enough there.
            const bool heavy = number * width * width > 1e8;
            const FrameResult r =
                runScene(s, PixelDepth::Depth8, heavy ? 1 : std::max(3, gRepetitions / 2));
            rows.push_back(
                {r.set.footprint, static_cast<double>(r.set.instances.size()), r.seconds});
            std::printf("%8d %8.0f %14.2f %10.2f\n", number, width, r.set.footprint / 1e6,
                        r.seconds * 1e3);
        }
    }
    // Least squares on (footprint, instances, 1) by the normal equations, each row weighted by
    // 1 / time so that relative errors count: the rows span four orders of magnitude.
    double m[3][4] = {};
    for (const auto& r : rows) {
        const double w = 1.0 / r[2];
        const double x[3] = {r[0] * w, r[1] * w, w};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j)
                m[i][j] += x[i] * x[j];
            m[i][3] += x[i] * r[2] * w;
        }
    }
    for (int i = 0; i < 3; ++i) {
        for (int k = i + 1; k < 3; ++k) {
            const double f = m[k][i] / m[i][i];
            for (int j = i; j < 4; ++j)
                m[k][j] -= f * m[i][j];
        }
    }
    double coef[3];
    for (int i = 2; i >= 0; --i) {
        double s = m[i][3];
        for (int j = i + 1; j < 3; ++j)
            s -= m[i][j] * coef[j];
        coef[i] = s / m[i][i];
    }
    double worst = 0;
    for (const auto& r : rows) {
        const double fit = coef[0] * r[0] + coef[1] * r[1] + coef[2];
        worst = std::max(worst, std::fabs(fit - r[2]) / r[2]);
    }
    std::printf(
        "fit: %.3f ns per footprint pixel, %.0f ns per instance, %.2f ms per frame; "
        "worst relative residual %.1f %%\n",
        coef[0] * 1e9, coef[1] * 1e9, coef[2] * 1e3, worst * 100);
}

void memoryRun() {
    StandinHost host(EntryPointFunc);
    host.input = makeSource(PixelDepth::DepthFloat, 3840, 2160);
    host.masks[MASK_ID] = makeCirclePath(1920, 1080, 800);
    if (host.setUp() != PF_Err_NONE)
        std::abort();
    applyPanelValues(host, s1());
    OwnedImage output;
    if (host.renderFrame(output) != PF_Err_NONE)
        std::abort();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double images = 2.0 * 3840 * 2160 * 16 / 1048576.0;
    const double peak = usage.ru_maxrss / 1024.0;
    std::printf(
        "3840 x 2160 float frame: peak resident %.1f MiB, input + output %.1f MiB, "
        "ratio %.2f\n",
        peak, images, peak / images);
}

}  // namespace
}  // namespace mst

int main(int argc, char** argv) {
    bool memory = false;
    bool peers = false;
    bool checksum = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            mst::gRepetitions = 3;
        } else if (std::strcmp(argv[i], "--memory") == 0) {
            memory = true;
        } else if (std::strcmp(argv[i], "--peers") == 0) {
            peers = true;
        } else if (std::strcmp(argv[i], "--checksum") == 0) {
            checksum = true;
        } else if (std::strcmp(argv[i], "--scene") == 0 && i + 1 < argc &&
                   std::strlen(argv[i + 1]) == 1 && argv[i + 1][0] >= '1' &&
                   argv[i + 1][0] <= '4') {
            mst::gOnlyScene = argv[++i][0] - '0';
        } else if (std::strcmp(argv[i], "--depth") == 0 && i + 1 < argc &&
                   (std::strcmp(argv[i + 1], "8") == 0 || std::strcmp(argv[i + 1], "16") == 0 ||
                    std::strcmp(argv[i + 1], "float") == 0)) {
            mst::gOnlyDepth = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: %s [--quick] [--memory | --peers | --checksum | --scene 1-4 "
                         "[--depth 8|16|float]]\n",
                         argv[0]);
            return 2;
        }
    }
    if (mst::gOnlyScene != 0 || mst::gOnlyDepth != nullptr) {
        mst::sceneTable();
        return 0;
    }
    if (memory) {
        mst::memoryRun();
        return 0;
    }
    if (checksum) {
        mst::checksumTable();
        return 0;
    }
    if (peers) {
        mst::peerTable();
        return 0;
    }
    mst::sceneTable();
    mst::peerTable();
    mst::scalingTable();
    return 0;
}
