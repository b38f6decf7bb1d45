// A stand-in for the host: our declarations of its records, callbacks and suites implemented
// over plain memory. It drives the plug-in's entry point exactly as the host would, keeps a
// ledger of everything handed out and given back, and can be told to fail any one call.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host_api/suites.h"
#include "standin_host/bezier_path.h"
#include "standin_host/owned_image.h"

namespace mst {

// The code a cancelled frame returns; the host's own choice.
constexpr PF_Err STANDIN_CANCEL_CODE = -1;
// The plug-in identifier the stand-in hands out at registration.
constexpr AEGP_PluginID STANDIN_PLUGIN_ID = 42;

class StandinHost {
  public:
    // `entry` is the plug-in's entry point: linked in, or looked up in a loaded DLL.
    explicit StandinHost(PF_EntryPointFunc entry);
    ~StandinHost();
    StandinHost(const StandinHost&) = delete;
    StandinHost& operator=(const StandinHost&) = delete;

    // --- what the caller sets ---------------------------------------------------------------
    OwnedImage input;                 // the effect's layer; its depth is the frame's depth
    std::optional<OwnedImage> layer;  // the Layer parameter's image, in the frame's depth
    std::map<uint32_t, std::unique_ptr<BezierPath>> masks;  // mask path id -> path
    int32_t currentTime = 0;
    int32_t timeStep = 1;
    uint32_t timeScale = 30;
    PF_RationalScale downsample{1, 1};
    PF_Err abortCode = PF_Err_NONE;  // what the cancel poll answers
    // Called for every progress report; a non-zero result cancels the frame.
    std::function<PF_Err(int32_t current, int32_t total)> onProgress;
    // Upper bound on one image's (or handle's) bytes; a larger request is out of memory, as is
    // one this process could not address whatever the bound says.
    uint64_t maxImageBytes = uint64_t{1} << 32;

    // The parameter values as the host keeps them, indexed by ParamId; declared by Params
    // Setup (with their defaults), then changed by the caller.
    PF_ParamDef& param(int32_t index) { return params_.at(static_cast<size_t>(index)); }

    // --- commands -----------------------------------------------------------------------------
    PF_Err command(PF_Cmd cmd, void* extra = nullptr);
    // Global Setup, Params Setup and Sequence Setup, each once per host.
    PF_Err setUp();
    // The host's sequence for one frame: Update Params UI, Smart Pre-Render, Smart Render,
    // then the deletion of the pre-render data. `output` gets the input's size and depth.
    PF_Err renderFrame(OwnedImage& output);
    // The host's pre-render of a frame: Smart Pre-Render with the host's own output request and
    // layer check-out. The pre-render data it leaves is the host's until deletePreRenderData.
    PF_Err preRenderFrame(PF_PreRenderOutput& output);
    PF_Err smartPreRender(PF_PreRenderExtra& extra);
    PF_Err smartRender(PF_Handle preRenderData, OwnedImage& output);
    // What the host does when a frame is done with: calls the plug-in's delete function. The
    // block is no longer the host's afterwards, so a block the function left live is held.
    void deletePreRenderData(const PF_PreRenderOutput& output);

    const PF_InData& inData() const { return in_; }
    const PF_OutData& outData() const { return out_; }
    PF_OutData& outData() { return out_; }
    // The ANSI callbacks handed to the plug-in: the C library's unless replaced.
    PF_ANSICallbacks& ansi() { return utils_.ansi; }

    // --- what the host saw --------------------------------------------------------------------
    std::vector<PF_ParamDef> declared;        // every add_param, in order
    std::array<bool, 20> hidden{};            // each stream's hidden flag
    std::array<int32_t, 20> uiFlags{};        // ui_flags of the last update per index
    std::array<PF_ParamDef, 20> uiUpdates{};  // the last definition passed per index
    std::vector<int32_t> checkedOutParams;    // indices, in order of check-out
    PF_RenderRequest lastLayerRequest{};
    std::vector<std::pair<int32_t, int32_t>> progress;
    std::set<std::string> requestedSuites;  // every suite name asked for, granted or not
    int64_t oversizeRefusals = 0;           // handles and images refused as too large

    // --- failures -----------------------------------------------------------------------------
    // Host calls are counted from 1; the call numbered `call` fails with `code` (a null
    // handle, a refused suite, a cancel: whatever failing means for that call).
    void failCall(int64_t call, PF_Err code = PF_Err_OUT_OF_MEMORY) {
        failAt_ = call;
        failCode_ = code;
        failedCall_ = nullptr;
    }
    void clearFailure() { failAt_ = 0; }
    // The host function that was made to fail ("host_new_handle", "AcquireSuite", ...), or null
    // while the failing call has not been reached.
    const char* failedCall() const { return failedCall_; }
    int64_t callCount() const { return calls_; }
    void resetCallCount() { calls_ = 0; }
    // Every suite of this name is refused.
    std::string missingSuite;

    // --- the ledger ---------------------------------------------------------------------------
    // Empty when everything handed out was given back (the global, sequence and pending
    // pre-render blocks are the host's, but a lock left on the global or sequence block is
    // held); otherwise a description of what is held.
    std::string held() const;
    size_t liveHandles() const { return handles_.size(); }
    size_t liveWorlds() const { return worlds_.size(); }

    // --- implementation, reached from the C callbacks -------------------------------------
    struct Impl;

  private:
    friend struct Impl;
    struct HandleRecord {
        void* block;  // first: a PF_Handle points here
        uint64_t size;
        int32_t locks;
        std::vector<std::byte> memory;
    };

    // Counts one call of the host function `call` and tells whether it is the one to fail.
    bool gate(const char* call);
    PF_Err gateCode(const char* call) { return gate(call) ? failCode_ : PF_Err_NONE; }

    PF_EntryPointFunc entry_;
    PF_InData in_{};
    PF_OutData out_{};
    PF_UtilCallbacks utils_{};
    std::array<PF_ParamDef, 20> params_{};
    std::array<PF_ParamDef*, 20> paramList_{};
    bool globalDone_ = false, paramsDone_ = false, sequenceDone_ = false;

    int64_t calls_ = 0;
    int64_t failAt_ = 0;
    PF_Err failCode_ = PF_Err_NONE;
    const char* failedCall_ = nullptr;

    std::map<PF_Handle, std::unique_ptr<HandleRecord>> handles_;
    std::map<void*, std::unique_ptr<OwnedImage>> worlds_;
    std::map<std::string, int> suites_;  // acquired minus released, by "name version"
    int paramsOut_ = 0;
    int pathsOut_ = 0;
    std::set<void*> effects_;
    std::set<void*> streams_;
    PF_Handle pendingPreRender_ = nullptr;

    PF_EffectWorld inputWorld_{};
    PF_EffectWorld outputWorld_{};
};

// The parameter values of a frame in the panel's own units, applied to a set-up host.
struct PanelValues {
    uint32_t path = 1;
    double offset = 0;  // degrees
    int32_t number = 5;
    double length = 100;  // percent
    double time = 50;     // percent
    double width = 100;
    double angle = 0;  // degrees
    bool fixedAngle = false;
    int32_t shape = 1;
    double inner = 0;  // percent
    int32_t sides = 4;
    int32_t edgeThickness = 1;
    int32_t edgeMode = 1;
    double edgeLightness = 1.2000000476837158;
    PF_Pixel8 edgeColor{255, 255, 255, 255};
    int32_t blendMode = 5;
    double colorOpacity = 100;  // percent
    int32_t background = 2;
};
void applyPanelValues(StandinHost& host, const PanelValues& values);

}  // namespace mst
