#include "standin_host/recording_render_host.h"

#include <algorithm>
#include <cstring>

#include "standin_host/hls_color.h"
#include "standin_host/samplers.h"

namespace mst {

const char* opName(Op op) {
    static const char* const NAMES[] = {
        "FrameParams",  "CheckoutInput",  "CheckoutOutput",   "AcquireWorld", "PixelFormat",
        "Copy",         "Clear",          "CheckoutLayer",    "PollAbort",    "CreateStamp",
        "AreaSample",   "CheckinLayer",   "DisposeStamp",     "CheckinPath",  "ReleaseWorld",
        "CheckoutPath", "PathIsOpen",     "PathSegmentCount", "PathPrepare",  "PathLength",
        "PathEvaluate", "PathRelease",    "AcquireColor",     "ReleaseColor", "RgbToHls",
        "HlsToRgb",     "SubpixelSample", "Progress",
    };
    return NAMES[static_cast<int>(op)];
}

namespace {

// Forwards to the caller's path, recording each operation and counting live tables.
class RecordingPath final : public PathSource {
  public:
    RecordingPath(RecordingRenderHost& host, PathSource& inner) : host_(host), inner_(inner) {}
    int32_t isOpen(bool& open) override {
        if (int32_t rc = host_.record(Op::PathIsOpen))
            return rc;
        return inner_.isOpen(open);
    }
    int32_t segmentCount(int32_t& count) override {
        if (int32_t rc = host_.record(Op::PathSegmentCount))
            return rc;
        return inner_.segmentCount(count);
    }
    int32_t prepareSegment(int32_t index, int32_t frequency, SegmentPrep& prep) override {
        if (int32_t rc = host_.record(Op::PathPrepare))
            return rc;
        const int32_t rc = inner_.prepareSegment(index, frequency, prep);
        if (rc == 0)
            ++host_.livePreps;
        return rc;
    }
    int32_t segmentLength(int32_t index, SegmentPrep prep, double& length) override {
        if (int32_t rc = host_.record(Op::PathLength))
            return rc;
        return inner_.segmentLength(index, prep, length);
    }
    int32_t evaluateSegment(SegmentPrep prep, int32_t index, double distance, double& x, double& y,
                            double& dx, double& dy) override {
        if (int32_t rc = host_.record(Op::PathEvaluate))
            return rc;
        return inner_.evaluateSegment(prep, index, distance, x, y, dx, dy);
    }
    int32_t releaseSegment(int32_t index, SegmentPrep prep) override {
        // Releases (and disposals) give the resource back before a failure is injected: the
        // ledger tracks whether the caller asked.
        const int32_t rc = inner_.releaseSegment(index, prep);
        if (rc == 0)
            --host_.livePreps;
        const int32_t injected = host_.record(Op::PathRelease);
        return injected != 0 ? injected : rc;
    }

  private:
    RecordingRenderHost& host_;
    PathSource& inner_;
};

template <class P>
int32_t areaSampleTyped(const PixelImage& layer, int32_t x, int32_t y, int32_t radius, P& out) {
    out = sampleArea<P>(layer, x, y, radius);
    return 0;
}

}  // namespace

RecordingRenderHost::RecordingRenderHost(PixelDepth depth, int32_t width, int32_t height)
    : input(depth, width, height), output(depth, width, height), formatCode(formatCodeOf(depth)) {}

RecordingRenderHost::~RecordingRenderHost() = default;

int32_t RecordingRenderHost::record(Op op) {
    calls.push_back(op);
    if (failure_ && failure_->op == op && callCount(op) == failure_->nth) {
        if (failure_->thrown)
            throw failure_->code;
        return failure_->code;
    }
    return 0;
}

int RecordingRenderHost::callCount(Op op) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), op));
}

std::string RecordingRenderHost::held() const {
    std::string s;
    auto add = [&s](int n, const char* what) {
        if (n != 0)
            s += std::string(what) + "=" + std::to_string(n) + " ";
    };
    add(worldServices, "worldServices");
    add(colorServices, "colorServices");
    add(layersOut, "layers");
    add(pathsOut, "paths");
    add(stampImages, "stampImages");
    add(livePreps, "segmentTables");
    return s;
}

const FrameParams* RecordingRenderHost::frameParams() {
    if (record(Op::FrameParams) != 0 || !hasParams)
        return nullptr;
    return &params;
}

int32_t RecordingRenderHost::checkoutInput(HostImage& image) {
    if (int32_t rc = record(Op::CheckoutInput))
        return rc;
    image = input.host();
    return 0;
}

int32_t RecordingRenderHost::checkoutOutput(HostImage& image) {
    if (int32_t rc = record(Op::CheckoutOutput))
        return rc;
    image = output.host();
    return 0;
}

int32_t RecordingRenderHost::acquireWorldService() {
    if (int32_t rc = record(Op::AcquireWorld))
        return rc;
    ++worldServices;
    return 0;
}

int32_t RecordingRenderHost::releaseWorldService() {
    --worldServices;
    return record(Op::ReleaseWorld);
}

int32_t RecordingRenderHost::inputPixelFormat(uint32_t& code) {
    if (int32_t rc = record(Op::PixelFormat))
        return rc;
    code = formatCode;
    return 0;
}

int32_t RecordingRenderHost::copyInputToOutput() {
    if (int32_t rc = record(Op::Copy))
        return rc;
    const size_t rowBytes = static_cast<size_t>(input.width()) * pixelSize(input.depth());
    for (int32_t y = 0; y < std::min(input.height(), output.height()); ++y) {
        std::memcpy(
            static_cast<std::byte*>(output.data()) + static_cast<size_t>(y) * output.rowBytes(),
            static_cast<std::byte*>(input.data()) + static_cast<size_t>(y) * input.rowBytes(),
            std::min<size_t>(rowBytes, static_cast<size_t>(output.rowBytes())));
    }
    return 0;
}

int32_t RecordingRenderHost::clearOutput() {
    if (int32_t rc = record(Op::Clear))
        return rc;
    std::memset(output.data(), 0, output.bytes().size());
    return 0;
}

int32_t RecordingRenderHost::checkoutLayer(HostImage& image) {
    if (int32_t rc = record(Op::CheckoutLayer))
        return rc;
    image = layer ? layer->host() : HostImage{};
    ++layersOut;
    return 0;
}

int32_t RecordingRenderHost::checkinLayer() {
    --layersOut;
    return record(Op::CheckinLayer);
}

int32_t RecordingRenderHost::pollAbort() {
    if (int32_t rc = record(Op::PollAbort))
        return rc;
    return abortCode;
}

int32_t RecordingRenderHost::createStampImage(PixelDepth depth, int32_t width, int32_t height,
                                              HostImage& image) {
    if (int32_t rc = record(Op::CreateStamp))
        return rc;
    if (width <= 0 || height <= 0)
        return ERR_BAD_CALLBACK_PARAM;
    const int64_t bytes = int64_t{width} * height * pixelSize(depth);
    if (bytes > maxStampBytes)
        return ERR_OUT_OF_MEMORY;
    stamps_.push_back(std::make_unique<OwnedImage>(depth, width, height));
    image = stamps_.back()->host();
    ++stampImages;
    return 0;
}

int32_t RecordingRenderHost::disposeStampImage(HostImage& image) {
    auto it = std::find_if(stamps_.begin(), stamps_.end(),
                           [&](const auto& s) { return s->data() == image.data; });
    if (it != stamps_.end()) {
        lastStamp = std::move(**it);
        stamps_.erase(it);
        --stampImages;
    }
    return record(Op::DisposeStamp);
}

int32_t RecordingRenderHost::areaSample(const PixelImage& l, int32_t x, int32_t y, int32_t r,
                                        Pixel8& out) {
    if (int32_t rc = record(Op::AreaSample))
        return rc;
    return areaSampleTyped(l, x, y, r, out);
}
int32_t RecordingRenderHost::areaSample(const PixelImage& l, int32_t x, int32_t y, int32_t r,
                                        Pixel16& out) {
    if (int32_t rc = record(Op::AreaSample))
        return rc;
    return areaSampleTyped(l, x, y, r, out);
}
int32_t RecordingRenderHost::areaSample(const PixelImage& l, int32_t x, int32_t y, int32_t r,
                                        PixelFloat& out) {
    if (int32_t rc = record(Op::AreaSample))
        return rc;
    return areaSampleTyped(l, x, y, r, out);
}

int32_t RecordingRenderHost::subpixelSample(const PixelImage& s, int32_t u, int32_t v,
                                            Pixel8& out) {
    if (int32_t rc = record(Op::SubpixelSample))
        return rc;
    out = sampleBilinear<Pixel8>(s, u, v);
    return 0;
}
int32_t RecordingRenderHost::subpixelSample(const PixelImage& s, int32_t u, int32_t v,
                                            Pixel16& out) {
    if (int32_t rc = record(Op::SubpixelSample))
        return rc;
    out = sampleBilinear<Pixel16>(s, u, v);
    return 0;
}
int32_t RecordingRenderHost::subpixelSample(const PixelImage& s, int32_t u, int32_t v,
                                            PixelFloat& out) {
    if (int32_t rc = record(Op::SubpixelSample))
        return rc;
    out = sampleBilinear<PixelFloat>(s, u, v);
    return 0;
}

namespace {
template <class P>
int32_t sampleRow(RecordingRenderHost& host, const PixelImage& stamp, const int32_t* u,
                  const int32_t* v, int32_t count, P* out) {
    for (int32_t k = 0; k < count; ++k) {
        if (int32_t rc = host.subpixelSample(stamp, u[k], v[k], out[k]))
            return rc;
    }
    return 0;
}
}  // namespace

int32_t RecordingRenderHost::subpixelSampleRow(const PixelImage& s, const int32_t* u,
                                               const int32_t* v, int32_t count, Pixel8* out) {
    return sampleRow(*this, s, u, v, count, out);
}
int32_t RecordingRenderHost::subpixelSampleRow(const PixelImage& s, const int32_t* u,
                                               const int32_t* v, int32_t count, Pixel16* out) {
    return sampleRow(*this, s, u, v, count, out);
}
int32_t RecordingRenderHost::subpixelSampleRow(const PixelImage& s, const int32_t* u,
                                               const int32_t* v, int32_t count, PixelFloat* out) {
    return sampleRow(*this, s, u, v, count, out);
}

int32_t RecordingRenderHost::checkoutPath(uint32_t, PathSource*& out) {
    if (int32_t rc = record(Op::CheckoutPath))
        return rc;
    ++pathsOut;
    if (path) {
        recordingPath_ = std::make_unique<RecordingPath>(*this, *path);
        out = recordingPath_.get();
    } else {
        out = nullptr;
    }
    return 0;
}

int32_t RecordingRenderHost::checkinPath(uint32_t) {
    --pathsOut;
    return record(Op::CheckinPath);
}

int32_t RecordingRenderHost::acquireColorService() {
    if (int32_t rc = record(Op::AcquireColor))
        return rc;
    ++colorServices;
    return 0;
}

int32_t RecordingRenderHost::releaseColorService() {
    --colorServices;
    return record(Op::ReleaseColor);
}

int32_t RecordingRenderHost::rgbToHls(const PixelFloat& rgb, HlsPixel& hls) {
    if (int32_t rc = record(Op::RgbToHls))
        return rc;
    return ::mst::rgbToHls(rgb, hls);
}

int32_t RecordingRenderHost::hlsToRgb(const HlsPixel& hls, PixelFloat& rgb) {
    if (int32_t rc = record(Op::HlsToRgb))
        return rc;
    return ::mst::hlsToRgb(hls, rgb);
}

int32_t RecordingRenderHost::reportProgress(int32_t current, int32_t total) {
    if (int32_t rc = record(Op::Progress))
        return rc;
    progress.emplace_back(current, total);
    return 0;
}

}  // namespace mst
