// The host suites a command uses: acquired on first use, released together when the command
// ends, also when a code is thrown through it.
#pragma once

#include <array>
#include <cstdint>

#include "host_api/suites.h"

namespace mst {

// In release order.
enum class SuiteId : int {
    Stream,
    DynamicStream,
    PfInterface,
    PathQuery,
    PathData,
    ParamUtils,
    Effect,
    Utility,
    Ansi,
    Handle,
    World,
    Sampling8,
    Sampling16,
    SamplingFloat,
    Count,
};

struct SuiteName {
    const char* name;
    int32_t version;
};
const SuiteName& suiteName(SuiteId id);

class SuiteCache {
  public:
    // Throws PF_Err_BAD_CALLBACK_PARAM when there is no basic suite.
    explicit SuiteCache(const SPBasicSuite* basic);
    // Releases every acquired suite, in release order; results are ignored.
    ~SuiteCache();
    SuiteCache(const SuiteCache&) = delete;
    SuiteCache& operator=(const SuiteCache&) = delete;

    // Each getter acquires on first use and throws PF_Err_BAD_CALLBACK_PARAM when the host
    // refuses or hands out nothing.
    const AEGP_StreamSuite7& streamSuite() { return get<AEGP_StreamSuite7>(SuiteId::Stream); }
    const AEGP_DynamicStreamSuite2& dynamicStreamSuite() {
        return get<AEGP_DynamicStreamSuite2>(SuiteId::DynamicStream);
    }
    const AEGP_PFInterfaceSuite1& pfInterfaceSuite() {
        return get<AEGP_PFInterfaceSuite1>(SuiteId::PfInterface);
    }
    const PF_PathQuerySuite1& pathQuerySuite() {
        return get<PF_PathQuerySuite1>(SuiteId::PathQuery);
    }
    const PF_PathDataSuite1& pathDataSuite() { return get<PF_PathDataSuite1>(SuiteId::PathData); }
    const PF_ParamUtilsSuite1& paramUtilsSuite() {
        return get<PF_ParamUtilsSuite1>(SuiteId::ParamUtils);
    }
    const AEGP_EffectSuite2& effectSuite() { return get<AEGP_EffectSuite2>(SuiteId::Effect); }
    const AEGP_UtilitySuite7& utilitySuite() { return get<AEGP_UtilitySuite7>(SuiteId::Utility); }
    const PF_ANSISuite1& ansiSuite() { return get<PF_ANSISuite1>(SuiteId::Ansi); }
    const PF_HandleSuite1& handleSuite() { return get<PF_HandleSuite1>(SuiteId::Handle); }
    const PF_WorldSuite1& worldSuite() { return get<PF_WorldSuite1>(SuiteId::World); }
    const PF_Sampling8Suite1& sampling8Suite() {
        return get<PF_Sampling8Suite1>(SuiteId::Sampling8);
    }
    const PF_Sampling16Suite1& sampling16Suite() {
        return get<PF_Sampling16Suite1>(SuiteId::Sampling16);
    }
    const PF_SamplingFloatSuite1& samplingFloatSuite() {
        return get<PF_SamplingFloatSuite1>(SuiteId::SamplingFloat);
    }

    bool holds(SuiteId id) const { return slots_[static_cast<int>(id)] != nullptr; }

  private:
    const void* acquire(SuiteId id);
    template <class S>
    const S& get(SuiteId id) {
        const void* s = slots_[static_cast<int>(id)];
        return *static_cast<const S*>(s != nullptr ? s : acquire(id));
    }

    const SPBasicSuite* basic_;
    std::array<const void*, static_cast<size_t>(SuiteId::Count)> slots_{};
};

// Acquires a suite outside the cache. Returns 0 with the suite, or sets
// PF_OutFlag_DISPLAY_ERROR_MESSAGE, writes `message` (a default when null) into return_msg and
// returns PF_Err_BAD_CALLBACK_PARAM.
PF_Err acquireSuiteWithMessage(const PF_InData* in_data, PF_OutData* out_data, const char* name,
                               int32_t version, const char* message, const void** suite);
// Releases a suite acquired that way; reports like acquireSuiteWithMessage when there is no
// basic suite.
PF_Err releaseSuiteWithMessage(const PF_InData* in_data, PF_OutData* out_data, const char* name,
                               int32_t version, const char* message);

// Writes `text` into return_msg, truncated to fit, and asks the host to show it.
void reportMessage(PF_OutData* out_data, const char* text);

}  // namespace mst
