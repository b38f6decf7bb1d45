#include "standin_host/standin_host.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "standin_host/hls_color.h"
#include "standin_host/samplers.h"

namespace mst {
namespace {

// The host callbacks are plain C functions, most without a context argument: each command
// runs with its host as the thread's current one.
thread_local StandinHost* tlsHost = nullptr;

class CurrentHost {
  public:
    explicit CurrentHost(StandinHost* host) : previous_(tlsHost) { tlsHost = host; }
    ~CurrentHost() { tlsHost = previous_; }
    CurrentHost(const CurrentHost&) = delete;
    CurrentHost& operator=(const CurrentHost&) = delete;

  private:
    StandinHost* previous_;
};

PixelImage viewOf(const PF_EffectWorld& world) {
    PixelDepth depth = PixelDepth::Depth8;
    depthFromFormatCode(world.pixel_format, depth);
    return viewOfRows(world.data, world.width, world.height, world.rowbytes, depth);
}

PF_EffectWorld worldOf(OwnedImage& image) {
    PF_EffectWorld w{};
    w.data = image.data();
    w.rowbytes = image.rowBytes();
    w.width = image.width();
    w.height = image.height();
    w.pixel_format = formatCodeOf(image.depth());
    return w;
}

// The most one block can hold in this process: pointer differences must stay representable.
constexpr uint64_t MAX_BLOCK_BYTES = static_cast<uint64_t>(PTRDIFF_MAX);
// A world's row length is a signed 32-bit byte count.
constexpr uint64_t MAX_ROW_BYTES = static_cast<uint64_t>(INT32_MAX);

// FNV-1a over the parameter values: the stand-in's parameter-state snapshot.
uint64_t hashValues(const std::array<PF_ParamDef, 20>& params) {
    uint64_t h = 1469598103934665603ull;
    for (const PF_ParamDef& p : params) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&p.u);
        for (size_t i = 0; i < sizeof p.u; ++i) {
            h ^= bytes[i];
            h *= 1099511628211ull;
        }
    }
    return h;
}

}  // namespace

// The C callbacks and suites, reaching the current host through tlsHost.
struct StandinHost::Impl {
    static StandinHost& host() { return *tlsHost; }

    // --- handles ---------------------------------------------------------------------------
    static PF_Handle newHandle(uint64_t size) {
        StandinHost& h = host();
        if (h.gate("host_new_handle"))
            return nullptr;
        // A size this process cannot hold is refused before it could wrap in size_t.
        if (size > h.maxImageBytes || size > MAX_BLOCK_BYTES) {
            ++h.oversizeRefusals;
            return nullptr;
        }
        // Out of memory is a null handle: nothing the host throws may reach the plug-in.
        try {
            auto rec = std::make_unique<HandleRecord>();
            rec->memory.resize(static_cast<size_t>(size));
            rec->block = rec->memory.data();
            rec->size = size;
            rec->locks = 0;
            PF_Handle handle = &rec->block;
            h.handles_[handle] = std::move(rec);
            return handle;
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    static HandleRecord* find(PF_Handle handle) {
        auto it = host().handles_.find(handle);
        return it == host().handles_.end() ? nullptr : it->second.get();
    }
    static void* lockHandle(PF_Handle handle) {
        StandinHost& h = host();
        if (h.gate("host_lock_handle"))
            return nullptr;
        HandleRecord* rec = find(handle);
        if (rec == nullptr)
            return nullptr;
        ++rec->locks;
        return rec->block;
    }
    static void unlockHandle(PF_Handle handle) {
        if (HandleRecord* rec = find(handle); rec != nullptr && rec->locks > 0)
            --rec->locks;
    }
    static void disposeHandle(PF_Handle handle) {
        StandinHost& h = host();
        h.handles_.erase(handle);
        if (h.pendingPreRender_ == handle)
            h.pendingPreRender_ = nullptr;
    }
    static uint64_t handleSize(PF_Handle handle) {
        HandleRecord* rec = find(handle);
        return rec == nullptr ? 0 : rec->size;
    }

    // --- worlds ----------------------------------------------------------------------------
    static PF_Err makeWorld(const char* call, int32_t width, int32_t height, PixelDepth depth,
                            PF_EffectWorld* world) {
        StandinHost& h = host();
        if (PF_Err err = h.gateCode(call))
            return err;
        if (width <= 0 || height <= 0 || world == nullptr)
            return PF_Err_BAD_CALLBACK_PARAM;
        // Checked in 64 bits before anything is allocated: width x height x pixel size can
        // pass any 32-bit size. A row must fit the world's signed 32-bit row bytes, and then
        // the product (below 2^62) cannot wrap.
        const uint64_t rowBytes =
            static_cast<uint64_t>(width) * static_cast<uint64_t>(pixelSize(depth));
        const uint64_t bytes = rowBytes * static_cast<uint64_t>(height);
        if (rowBytes > MAX_ROW_BYTES || bytes > h.maxImageBytes || bytes > MAX_BLOCK_BYTES) {
            ++h.oversizeRefusals;
            return PF_Err_OUT_OF_MEMORY;
        }
        // Out of memory is the host's code: nothing the host throws may reach the plug-in.
        try {
            auto image = std::make_unique<OwnedImage>(depth, width, height);
            const PF_EffectWorld made = worldOf(*image);
            h.worlds_[image->data()] = std::move(image);
            *world = made;
            return PF_Err_NONE;
        } catch (const std::bad_alloc&) {
            return PF_Err_OUT_OF_MEMORY;
        }
    }
    static PF_Err newWorld(PF_ProgPtr, int32_t width, int32_t height, int32_t flags,
                           PF_EffectWorld* world) {
        const PixelDepth depth =
            (flags & PF_NewWorldFlag_DEEP_PIXELS) ? PixelDepth::Depth16 : PixelDepth::Depth8;
        return makeWorld("new_world", width, height, depth, world);
    }
    static PF_Err disposeWorld(PF_ProgPtr, PF_EffectWorld* world) {
        StandinHost& h = host();
        const bool known = world != nullptr && h.worlds_.erase(world->data) == 1;
        if (PF_Err err = h.gateCode("dispose_world"))
            return err;
        return known ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM;
    }
    static PF_Err newWorld2(PF_ProgPtr, int32_t width, int32_t height, PF_Boolean,
                            PF_PixelFormat format, PF_EffectWorld* world) {
        PixelDepth depth;
        if (!depthFromFormatCode(format, depth))
            return PF_Err_BAD_CALLBACK_PARAM;
        return makeWorld("PF_NewWorld", width, height, depth, world);
    }
    static PF_Err pixelFormat(const PF_EffectWorld* world, PF_PixelFormat* format) {
        if (PF_Err err = host().gateCode("PF_GetPixelFormat"))
            return err;
        *format = world->pixel_format;
        return PF_Err_NONE;
    }

    // --- sampling --------------------------------------------------------------------------
    template <class P>
    static PF_Err area(PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* pb, P* dst) {
        if (PF_Err err = host().gateCode("area_sample"))
            return err;
        const PixelImage src = viewOf(*pb->src);
        if (src.depth != depthOf<P>())
            return PF_Err_BAD_CALLBACK_PARAM;
        *dst = sampleArea<P>(src, x, y, pb->x_radius);
        return PF_Err_NONE;
    }
    // Once per output pixel of every stamp: kept to the failure gate, a depth check and the
    // sample's common cases, read from the world's fields without building a view; the rest
    // goes to a function of its own, so the common cases need no stack frame.
    template <class P>
    [[gnu::noinline]] static PF_Err subpixelInside(const P* top, ptrdiff_t rowBytes, PF_Fixed x,
                                                   PF_Fixed y, P* dst) {
        *dst = bilinearInside<P>(top, rowBytes, x, y);
        return PF_Err_NONE;
    }
    template <class P>
    [[gnu::noinline]] static PF_Err subpixelBorder(const PF_EffectWorld* world, PF_Fixed x,
                                                   PF_Fixed y, P* dst) {
        *dst = bilinearBorder<P>(static_cast<const P*>(world->data), world->width, world->height,
                                 world->rowbytes, x, y);
        return PF_Err_NONE;
    }
    template <class P>
    static PF_Err subpixel(PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* pb, P* dst) {
        StandinHost& h = host();
        if (h.gate("subpixel_sample")) [[unlikely]]
            return h.failCode_;
        const PF_EffectWorld* world = pb->src;
        constexpr PixelDepth DEPTH = depthOf<P>();
        if (world->pixel_format != formatCodeOf(DEPTH)) [[unlikely]]
            return PF_Err_BAD_CALLBACK_PARAM;
        const P* inside;
        if (bilinearSettled<P>(static_cast<const P*>(world->data), world->width, world->height,
                               world->rowbytes, x, y, *dst, inside))
            return PF_Err_NONE;
        if (inside != nullptr)
            return subpixelInside<P>(inside, world->rowbytes, x, y, dst);
        return subpixelBorder<P>(world, x, y, dst);
    }
    template <class P>
    static PF_Err nearest(PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* pb, P* dst) {
        return subpixel<P>(nullptr, x & ~0xFFFF, y & ~0xFFFF, pb, dst);
    }

    // --- paths -----------------------------------------------------------------------------
    static PF_Err checkoutPath(PF_ProgPtr, uint32_t id, int32_t, int32_t, uint32_t,
                               PF_PathOutlinePtr* path) {
        StandinHost& h = host();
        if (PF_Err err = h.gateCode("PF_CheckoutPath"))
            return err;
        // No mask, or one this host does not know: a null outline, which reads as an open
        // path without segments.
        auto it = h.masks.find(id);
        *path = it == h.masks.end() ? nullptr : it->second.get();
        ++h.pathsOut_;
        return PF_Err_NONE;
    }
    static PF_Err checkinPath(PF_ProgPtr, uint32_t, PF_Boolean, PF_PathOutlinePtr) {
        StandinHost& h = host();
        --h.pathsOut_;
        return h.gateCode("PF_CheckinPath");
    }
    static BezierPath* outline(PF_PathOutlinePtr p) { return static_cast<BezierPath*>(p); }
    static PF_Err pathIsOpen(PF_ProgPtr, PF_PathOutlinePtr p, PF_Boolean* open) {
        if (PF_Err err = host().gateCode("PF_PathIsOpen"))
            return err;
        bool value = true;
        if (p != nullptr)
            outline(p)->isOpen(value);
        *open = value ? 1 : 0;
        return PF_Err_NONE;
    }
    static PF_Err pathSegments(PF_ProgPtr, PF_PathOutlinePtr p, int32_t* count) {
        if (PF_Err err = host().gateCode("PF_PathNumSegments"))
            return err;
        *count = 0;
        return p == nullptr ? PF_Err_NONE : outline(p)->segmentCount(*count);
    }
    static PF_Err pathPrepare(PF_ProgPtr, PF_PathOutlinePtr p, int32_t seg, int32_t frequency,
                              PF_PathSegPrepPtr* prep) {
        if (PF_Err err = host().gateCode("PF_PathPrepareSegLength"))
            return err;
        if (p == nullptr)
            return PF_Err_BAD_CALLBACK_PARAM;
        return outline(p)->prepareSegment(seg, frequency, *prep);
    }
    static PF_Err pathLength(PF_ProgPtr, PF_PathOutlinePtr p, int32_t seg, PF_PathSegPrepPtr* prep,
                             double* length) {
        if (PF_Err err = host().gateCode("PF_PathGetSegLength"))
            return err;
        if (p == nullptr)
            return PF_Err_BAD_CALLBACK_PARAM;
        return outline(p)->segmentLength(seg, *prep, *length);
    }
    static PF_Err pathEvaluate(PF_ProgPtr, PF_PathOutlinePtr p, PF_PathSegPrepPtr* prep,
                               int32_t seg, double length, double* x, double* y, double* dx,
                               double* dy) {
        if (PF_Err err = host().gateCode("PF_PathEvalSegLengthDeriv1"))
            return err;
        if (p == nullptr)
            return PF_Err_BAD_CALLBACK_PARAM;
        return outline(p)->evaluateSegment(*prep, seg, length, *x, *y, *dx, *dy);
    }
    static PF_Err pathCleanup(PF_ProgPtr, PF_PathOutlinePtr p, int32_t seg,
                              PF_PathSegPrepPtr* prep) {
        // The table is given back first, so a refused call still leaves nothing behind.
        const PF_Err rc =
            p == nullptr ? PF_Err_BAD_CALLBACK_PARAM : outline(p)->releaseSegment(seg, *prep);
        if (PF_Err err = host().gateCode("PF_PathCleanupSegLength"))
            return err;
        return rc;
    }

    // --- colour ------------------------------------------------------------------------------
    static PF_Err toHls(PF_ProgPtr, PF_PixelFloat* rgb, PF_HLS_PixelFloat hls) {
        if (PF_Err err = host().gateCode("RGBtoHLS"))
            return err;
        HlsPixel v;
        const PF_Err rc = rgbToHls(*rgb, v);
        hls[0] = v.hue;
        hls[1] = v.lightness;
        hls[2] = v.saturation;
        return rc;
    }
    static PF_Err fromHls(PF_ProgPtr, PF_HLS_PixelFloat hls, PF_PixelFloat* rgb) {
        if (PF_Err err = host().gateCode("HLStoRGB"))
            return err;
        return hlsToRgb(HlsPixel{hls[0], hls[1], hls[2]}, *rgb);
    }

    // --- parameter panel ----------------------------------------------------------------
    static PF_Err updateParamUi(PF_ProgPtr, int32_t index, const PF_ParamDef* def) {
        StandinHost& h = host();
        if (PF_Err err = h.gateCode("PF_UpdateParamUI"))
            return err;
        if (index < 0 || index >= 20)
            return PF_Err_BAD_CALLBACK_PARAM;
        h.uiFlags[index] = def->ui_flags;
        h.uiUpdates[index] = *def;
        return PF_Err_NONE;
    }
    static PF_Err currentState(PF_ProgPtr, int32_t, const int32_t*, const int32_t*,
                               PF_State* state) {
        StandinHost& h = host();
        if (PF_Err err = h.gateCode("PF_GetCurrentState"))
            return err;
        std::memset(state, 0, sizeof *state);
        const uint64_t v = hashValues(h.params_);
        std::memcpy(state->opaque, &v, sizeof v);
        state->opaque[sizeof v] = 1;  // marks a snapshot actually taken
        return PF_Err_NONE;
    }
    static PF_Err hasChanged(PF_ProgPtr, const PF_State* state, int32_t, PF_Boolean* changed) {
        StandinHost& h = host();
        if (PF_Err err = h.gateCode("PF_HasParamChanged"))
            return err;
        const uint64_t v = hashValues(h.params_);
        *changed =
            (state->opaque[sizeof v] != 1 || std::memcmp(state->opaque, &v, sizeof v) != 0) ? 1 : 0;
        return PF_Err_NONE;
    }

    // --- AEGP ----------------------------------------------------------------------------
    struct StreamRecord {
        int32_t index;
    };
    static PF_Err newEffect(AEGP_PluginID, PF_ProgPtr, AEGP_EffectRefH* effect) {
        StandinHost& h = host();
        if (PF_Err err = h.gateCode("AEGP_GetNewEffectForEffect"))
            return err;
        void* ref = new int(0);
        h.effects_.insert(ref);
        *effect = ref;
        return PF_Err_NONE;
    }
    static PF_Err disposeEffect(AEGP_EffectRefH effect) {
        StandinHost& h = host();
        if (h.effects_.erase(effect) == 1)
            delete static_cast<int*>(effect);
        return h.gateCode("AEGP_DisposeEffect");
    }
    static PF_Err newStream(AEGP_PluginID, AEGP_EffectRefH, int32_t index,
                            AEGP_StreamRefH* stream) {
        StandinHost& h = host();
        if (PF_Err err = h.gateCode("AEGP_GetNewEffectStreamByIndex"))
            return err;
        auto* rec = new StreamRecord{index};
        h.streams_.insert(rec);
        *stream = rec;
        return PF_Err_NONE;
    }
    static PF_Err disposeStream(AEGP_StreamRefH stream) {
        StandinHost& h = host();
        if (h.streams_.erase(stream) == 1)
            delete static_cast<StreamRecord*>(stream);
        return h.gateCode("AEGP_DisposeStream");
    }
    static PF_Err setStreamFlag(AEGP_StreamRefH stream, AEGP_DynStreamFlags flag, PF_Boolean,
                                PF_Boolean set) {
        StandinHost& h = host();
        if (PF_Err err = h.gateCode("AEGP_SetDynamicStreamFlag"))
            return err;
        const int32_t index = static_cast<StreamRecord*>(stream)->index;
        if (flag == AEGP_DynStreamFlag_HIDDEN && index >= 0 && index < 20) {
            h.hidden[index] = set != 0;
        }
        return PF_Err_NONE;
    }
    static PF_Err registerPlugin(void*, const char*, AEGP_PluginID* id) {
        if (PF_Err err = host().gateCode("AEGP_RegisterWithAEGP"))
            return err;
        *id = STANDIN_PLUGIN_ID;
        return PF_Err_NONE;
    }

    // --- in-data callbacks ---------------------------------------------------------------
    static PF_Err checkoutParam(PF_ProgPtr, int32_t index, int32_t, int32_t, uint32_t,
                                PF_ParamDef* def) {
        StandinHost& h = host();
        if (PF_Err err = h.gateCode("checkout_param"))
            return err;
        if (index < 0 || index >= 20 || def == nullptr)
            return PF_Err_BAD_CALLBACK_PARAM;
        *def = h.params_[index];
        if (index == 16) {  // Layer
            def->u.ld.world = h.layer ? worldOf(*h.layer) : PF_EffectWorld{};
        }
        ++h.paramsOut_;
        h.checkedOutParams.push_back(index);
        return PF_Err_NONE;
    }
    static PF_Err checkinParam(PF_ProgPtr, PF_ParamDef*) {
        StandinHost& h = host();
        --h.paramsOut_;
        return h.gateCode("checkin_param");
    }
    static PF_Err addParam(PF_ProgPtr, int32_t, PF_ParamDef* def) {
        StandinHost& h = host();
        if (PF_Err err = h.gateCode("add_param"))
            return err;
        h.declared.push_back(*def);
        const size_t index = h.declared.size();
        if (index < h.params_.size())
            h.params_[index] = *def;
        return PF_Err_NONE;
    }
    static PF_Err abort(PF_ProgPtr) {
        StandinHost& h = host();
        if (h.gate("PF_ABORT"))
            return STANDIN_CANCEL_CODE;
        return h.abortCode;
    }
    static PF_Err progress(PF_ProgPtr, int32_t current, int32_t total) {
        StandinHost& h = host();
        if (h.gate("PF_PROGRESS"))
            return STANDIN_CANCEL_CODE;
        h.progress.emplace_back(current, total);
        return h.onProgress ? h.onProgress(current, total) : PF_Err_NONE;
    }
    static PF_Err copy(PF_ProgPtr, PF_EffectWorld* src, PF_EffectWorld* dst, const PF_LRect*,
                       const PF_LRect*) {
        if (PF_Err err = host().gateCode("PF_COPY"))
            return err;
        const int32_t rows = std::min(src->height, dst->height);
        const size_t bytes = static_cast<size_t>(std::min(src->width, dst->width)) *
                             static_cast<size_t>(pixelSize(viewOf(*src).depth));
        for (int32_t y = 0; y < rows; ++y) {
            std::memcpy(
                static_cast<std::byte*>(dst->data) + static_cast<size_t>(y) * dst->rowbytes,
                static_cast<const std::byte*>(src->data) + static_cast<size_t>(y) * src->rowbytes,
                bytes);
        }
        return PF_Err_NONE;
    }
    static PF_Err fill(PF_ProgPtr, const PF_Pixel8* color, const PF_LRect*, PF_EffectWorld* world) {
        if (PF_Err err = host().gateCode("PF_FILL"))
            return err;
        const PixelImage v = viewOf(*world);
        for (int32_t y = 0; y < v.height; ++y) {
            for (int32_t x = 0; x < v.width; ++x) {
                switch (v.depth) {
                    case PixelDepth::Depth8:
                        v.at<Pixel8>(x, y) = *color;
                        break;
                    case PixelDepth::Depth16:
                        v.at<Pixel16>(x, y) = convert8To16(*color);
                        break;
                    case PixelDepth::DepthFloat:
                        v.at<PixelFloat>(x, y) = convert8ToFloat(*color);
                        break;
                }
            }
        }
        return PF_Err_NONE;
    }

    // --- pre-render and render callbacks ------------------------------------------------
    static PF_Err checkoutLayer(PF_ProgPtr, int32_t, int32_t, const PF_RenderRequest* request,
                                int32_t, int32_t, uint32_t, PF_CheckoutResult* result) {
        StandinHost& h = host();
        if (PF_Err err = h.gateCode("checkout_layer"))
            return err;
        h.lastLayerRequest = *request;
        result->result_rect = PF_LRect{0, 0, h.input.width(), h.input.height()};
        result->max_result_rect = result->result_rect;
        return PF_Err_NONE;
    }
    static PF_Err checkoutLayerPixels(PF_ProgPtr, int32_t, PF_EffectWorld** pixels) {
        StandinHost& h = host();
        if (PF_Err err = h.gateCode("checkout_layer_pixels"))
            return err;
        *pixels = &h.inputWorld_;
        return PF_Err_NONE;
    }
    static PF_Err checkoutOutput(PF_ProgPtr, PF_EffectWorld** output) {
        StandinHost& h = host();
        if (PF_Err err = h.gateCode("checkout_output"))
            return err;
        *output = &h.outputWorld_;
        return PF_Err_NONE;
    }

    // --- ANSI --------------------------------------------------------------------------
    static double atan2(double y, double x) { return std::atan2(y, x); }
    static double ceil(double x) { return std::ceil(x); }
    static double cos(double x) { return std::cos(x); }
    static double floor(double x) { return std::floor(x); }
    static double fmod(double x, double y) { return std::fmod(x, y); }
    static double pow(double x, double y) { return std::pow(x, y); }
    static double sin(double x) { return std::sin(x); }
    static double sqrt(double x) { return std::sqrt(x); }
    static char* strcpy(char* dest, const char* src) { return std::strcpy(dest, src); }

    // --- the suites -----------------------------------------------------------------------
    static constexpr PF_HandleSuite1 HANDLE{newHandle, lockHandle, unlockHandle, disposeHandle,
                                            handleSize};
    static constexpr PF_WorldSuite1 WORLD1{newWorld, disposeWorld};
    static constexpr PF_WorldSuite2 WORLD2{newWorld2, disposeWorld, pixelFormat};
    static constexpr PF_Sampling8Suite1 SAMPLING8{nearest<Pixel8>, subpixel<Pixel8>, area<Pixel8>};
    static constexpr PF_Sampling16Suite1 SAMPLING16{nearest<Pixel16>, subpixel<Pixel16>,
                                                    area<Pixel16>};
    static constexpr PF_SamplingFloatSuite1 SAMPLING_FLOAT{nearest<PixelFloat>,
                                                           subpixel<PixelFloat>, area<PixelFloat>};
    static constexpr PF_PathQuerySuite1 PATH_QUERY{checkoutPath, checkinPath};
    static constexpr PF_PathDataSuite1 PATH_DATA{pathIsOpen, pathSegments, pathPrepare,
                                                 pathLength, pathEvaluate, pathCleanup};
    static constexpr PF_ColorCallbacksFloatSuite1 COLOR{toHls, fromHls};
    static constexpr PF_ParamUtilsSuite1 PARAM_UTILS{updateParamUi, currentState, hasChanged};
    static constexpr AEGP_PFInterfaceSuite1 PF_INTERFACE{newEffect};
    static constexpr AEGP_StreamSuite7 STREAM{newStream, disposeStream};
    static constexpr AEGP_DynamicStreamSuite2 DYNAMIC_STREAM{setStreamFlag};
    static constexpr AEGP_EffectSuite2 EFFECT{disposeEffect};
    static constexpr AEGP_UtilitySuite7 UTILITY{registerPlugin};
    static inline const PF_ANSISuite1 ANSI{std::sprintf};

    static const void* suiteFor(const std::string& name, int32_t version) {
        struct Entry {
            const char* name;
            int32_t version;
            const void* suite;
        };
        static const Entry TABLE[] = {
            {kPFHandleSuite, 1, &HANDLE},
            {kPFWorldSuite, 1, &WORLD1},
            {kPFWorldSuite, 2, &WORLD2},
            {kPFSampling8Suite, 1, &SAMPLING8},
            {kPFSampling16Suite, 1, &SAMPLING16},
            {kPFSamplingFloatSuite, 1, &SAMPLING_FLOAT},
            {kPFPathQuerySuite, 1, &PATH_QUERY},
            {kPFPathDataSuite, 1, &PATH_DATA},
            {kPFColorFloatSuite, 1, &COLOR},
            {kPFParamUtilsSuite, 1, &PARAM_UTILS},
            {kAEGPPFInterfaceSuite, 1, &PF_INTERFACE},
            {kAEGPStreamSuite, 7, &STREAM},
            {kAEGPDynamicStreamSuite, 2, &DYNAMIC_STREAM},
            {kAEGPEffectSuite, 2, &EFFECT},
            {kAEGPUtilitySuite, 7, &UTILITY},
            {kPFANSISuite, 1, &ANSI},
        };
        for (const Entry& e : TABLE) {
            if (name == e.name && version == e.version)
                return e.suite;
        }
        return nullptr;
    }
    static PF_Err acquireSuite(const char* name, int32_t version, const void** suite) {
        StandinHost& h = host();
        *suite = nullptr;
        h.requestedSuites.insert(name);
        if (h.gate("AcquireSuite") || name == h.missingSuite)
            return PF_Err_BAD_CALLBACK_PARAM;
        *suite = suiteFor(name, version);
        if (*suite == nullptr)
            return PF_Err_BAD_CALLBACK_PARAM;
        ++h.suites_[std::string(name) + " " + std::to_string(version)];
        return PF_Err_NONE;
    }
    static PF_Err releaseSuite(const char* name, int32_t version) {
        StandinHost& h = host();
        --h.suites_[std::string(name) + " " + std::to_string(version)];
        return h.gateCode("ReleaseSuite");
    }
    static constexpr SPBasicSuite BASIC{acquireSuite, releaseSuite};
};

StandinHost::StandinHost(PF_EntryPointFunc entry) : entry_(entry) {
    utils_.copy = Impl::copy;
    utils_.fill = Impl::fill;
    utils_.host_new_handle = Impl::newHandle;
    utils_.host_dispose_handle = Impl::disposeHandle;
    utils_.ansi = PF_ANSICallbacks{Impl::atan2, Impl::ceil, Impl::cos,  Impl::floor,  Impl::fmod,
                                   Impl::pow,   Impl::sin,  Impl::sqrt, std::sprintf, Impl::strcpy};
    in_.inter = PF_InteractCallbacks{Impl::checkoutParam, Impl::checkinParam, Impl::addParam,
                                     Impl::abort, Impl::progress};
    in_.utils = &utils_;
    in_.effect_ref = this;
    in_.pica_basicP = &Impl::BASIC;
    for (size_t i = 0; i < params_.size(); ++i)
        paramList_[i] = &params_[i];
}

StandinHost::~StandinHost() {
    for (void* e : effects_)
        delete static_cast<int*>(e);
    for (void* s : streams_)
        delete static_cast<Impl::StreamRecord*>(s);
}

bool StandinHost::gate(const char* call) {
    // failAt_ 0 (no failure) is never reached: the count starts at 1.
    if (++calls_ != failAt_)
        return false;
    failedCall_ = call;
    return true;
}

PF_Err StandinHost::command(PF_Cmd cmd, void* extra) {
    CurrentHost current(this);
    in_.current_time = currentTime;
    in_.time_step = timeStep;
    in_.time_scale = timeScale;
    in_.downsample_x = downsample;
    in_.downsample_y = downsample;
    // A fresh out-data for every command, carrying the blocks the host keeps.
    const uint32_t version = out_.my_version;
    const int32_t numParams = out_.num_params;
    std::memset(&out_, 0, sizeof out_);
    out_.my_version = version;
    out_.num_params = numParams;
    out_.global_data = in_.global_data;
    out_.sequence_data = in_.sequence_data;
    const PF_Err err = entry_(cmd, &in_, &out_, paramList_.data(), &outputWorld_, extra);
    in_.global_data = out_.global_data;
    in_.sequence_data = out_.sequence_data;
    return err;
}

PF_Err StandinHost::setUp() {
    PF_Err err = PF_Err_NONE;
    if (!globalDone_) {
        err = command(PF_Cmd_GLOBAL_SETUP);
        globalDone_ = err == PF_Err_NONE;
    }
    if (!err && !paramsDone_) {
        err = command(PF_Cmd_PARAMS_SETUP);
        paramsDone_ = err == PF_Err_NONE;
    }
    if (!err && !sequenceDone_) {
        err = command(PF_Cmd_SEQUENCE_SETUP);
        sequenceDone_ = err == PF_Err_NONE;
    }
    return err;
}

PF_Err StandinHost::smartPreRender(PF_PreRenderExtra& extra) {
    return command(PF_Cmd_SMART_PRE_RENDER, &extra);
}

PF_Err StandinHost::smartRender(PF_Handle preRenderData, OwnedImage& output) {
    inputWorld_ = worldOf(input);
    outputWorld_ = worldOf(output);
    PF_SmartRenderInput renderInput{};
    renderInput.output_request.rect = PF_LRect{0, 0, input.width(), input.height()};
    renderInput.pre_render_data = preRenderData;
    PF_SmartRenderCallbacks callbacks{Impl::checkoutLayerPixels, Impl::checkoutOutput};
    PF_SmartRenderExtra extra{&renderInput, &callbacks};
    return command(PF_Cmd_SMART_RENDER, &extra);
}

PF_Err StandinHost::renderFrame(OwnedImage& output) {
    PF_Err err = setUp();
    if (err)
        return err;
    output = OwnedImage(input.depth(), input.width(), input.height());
    inputWorld_ = worldOf(input);
    outputWorld_ = worldOf(output);

    err = command(PF_Cmd_UPDATE_PARAMS_UI);
    if (err)
        return err;

    PF_PreRenderOutput preOutput{};
    err = preRenderFrame(preOutput);
    if (!err)
        err = smartRender(preOutput.pre_render_data, output);
    deletePreRenderData(preOutput);
    return err;
}

PF_Err StandinHost::preRenderFrame(PF_PreRenderOutput& output) {
    PF_PreRenderInput preInput{};
    preInput.output_request.rect = PF_LRect{0, 0, input.width(), input.height()};
    preInput.output_request.channel_mask = 0xF;
    output = PF_PreRenderOutput{};
    PF_PreRenderCallbacks preCallbacks{Impl::checkoutLayer};
    PF_PreRenderExtra preExtra{&preInput, &output, &preCallbacks};
    const PF_Err err = smartPreRender(preExtra);
    pendingPreRender_ = output.pre_render_data;
    return err;
}

void StandinHost::deletePreRenderData(const PF_PreRenderOutput& output) {
    if (output.pre_render_data == nullptr)
        return;
    if (output.delete_pre_render_data_func != nullptr) {
        CurrentHost current(this);
        output.delete_pre_render_data_func(output.pre_render_data);
    }
    // From here on the block is nobody's: if it is still live, the ledger shows it.
    if (pendingPreRender_ == output.pre_render_data)
        pendingPreRender_ = nullptr;
}

std::string StandinHost::held() const {
    std::string s;
    auto add = [&s](long n, const std::string& what) {
        if (n != 0)
            s += what + "=" + std::to_string(n) + " ";
    };
    long handles = 0;
    for (const auto& [handle, rec] : handles_) {
        if (handle != in_.global_data && handle != in_.sequence_data &&
            handle != pendingPreRender_) {
            ++handles;
        }
    }
    add(handles, "handles");
    // The blocks the host keeps between calls are read in place: a lock left on one pins it.
    long keptLocks = 0;
    for (PF_Handle kept : {in_.global_data, in_.sequence_data}) {
        if (auto it = handles_.find(kept); kept != nullptr && it != handles_.end()) {
            keptLocks += it->second->locks;
        }
    }
    add(keptLocks, "locks");
    add(static_cast<long>(worlds_.size()), "worlds");
    add(paramsOut_, "params");
    add(pathsOut_, "paths");
    add(static_cast<long>(effects_.size()), "effects");
    add(static_cast<long>(streams_.size()), "streams");
    for (const auto& [name, count] : suites_)
        add(count, "suite '" + name + "'");
    long preps = 0;
    for (const auto& [id, mask] : masks)
        preps += mask->livePreps();
    add(preps, "segmentTables");
    return s;
}

void applyPanelValues(StandinHost& host, const PanelValues& v) {
    auto fixed = [](double value) { return static_cast<PF_Fixed>(std::lround(value * 65536.0)); };
    host.param(1).u.path_d.path_id = v.path;
    host.param(2).u.ad.value = fixed(v.offset);
    host.param(3).u.sd.value = v.number;
    host.param(4).u.fd.value = fixed(v.length);
    host.param(5).u.fd.value = fixed(v.time);
    host.param(6).u.fs_d.value = v.width;
    host.param(7).u.ad.value = fixed(v.angle);
    host.param(8).u.bd.value = v.fixedAngle ? 1 : 0;
    host.param(9).u.pd.value = v.shape;
    host.param(10).u.fd.value = fixed(v.inner);
    host.param(11).u.sd.value = v.sides;
    host.param(12).u.sd.value = v.edgeThickness;
    host.param(13).u.pd.value = v.edgeMode;
    host.param(14).u.fs_d.value = v.edgeLightness;
    host.param(15).u.cd.value = v.edgeColor;
    host.param(17).u.pd.value = v.blendMode;
    host.param(18).u.fd.value = fixed(v.colorOpacity);
    host.param(19).u.pd.value = v.background;
}

}  // namespace mst
