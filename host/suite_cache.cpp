#include "host/suite_cache.h"

#include <cstring>

namespace mst {

const SuiteName& suiteName(SuiteId id) {
    static const SuiteName NAMES[] = {
        {kAEGPStreamSuite, 7},   {kAEGPDynamicStreamSuite, 2}, {kAEGPPFInterfaceSuite, 1},
        {kPFPathQuerySuite, 1},  {kPFPathDataSuite, 1},        {kPFParamUtilsSuite, 1},
        {kAEGPEffectSuite, 2},   {kAEGPUtilitySuite, 7},       {kPFANSISuite, 1},
        {kPFHandleSuite, 1},     {kPFWorldSuite, 1},           {kPFSampling8Suite, 1},
        {kPFSampling16Suite, 1}, {kPFSamplingFloatSuite, 1},
    };
    static_assert(std::size(NAMES) == static_cast<size_t>(SuiteId::Count));
    return NAMES[static_cast<int>(id)];
}

SuiteCache::SuiteCache(const SPBasicSuite* basic) : basic_(basic) {
    if (basic_ == nullptr)
        throw PF_Err_BAD_CALLBACK_PARAM;
}

SuiteCache::~SuiteCache() {
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i] == nullptr)
            continue;
        const SuiteName& s = suiteName(static_cast<SuiteId>(i));
        basic_->ReleaseSuite(s.name, s.version);
    }
}

const void* SuiteCache::acquire(SuiteId id) {
    const SuiteName& s = suiteName(id);
    const void* suite = nullptr;
    if (basic_->AcquireSuite(s.name, s.version, &suite) != PF_Err_NONE || suite == nullptr) {
        throw PF_Err_BAD_CALLBACK_PARAM;
    }
    slots_[static_cast<int>(id)] = suite;
    return suite;
}

void reportMessage(PF_OutData* out_data, const char* text) {
    out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    std::strncpy(out_data->return_msg, text, PF_MAX_RETURN_MSG_LEN);
    out_data->return_msg[PF_MAX_RETURN_MSG_LEN] = '\0';
}

PF_Err acquireSuiteWithMessage(const PF_InData* in_data, PF_OutData* out_data, const char* name,
                               int32_t version, const char* message, const void** suite) {
    const SPBasicSuite* basic = in_data->pica_basicP;
    if (basic != nullptr && basic->AcquireSuite(name, version, suite) == PF_Err_NONE &&
        *suite != nullptr) {
        return PF_Err_NONE;
    }
    reportMessage(out_data, message != nullptr ? message : "Not able to acquire AEFX Suite.");
    return PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err releaseSuiteWithMessage(const PF_InData* in_data, PF_OutData* out_data, const char* name,
                               int32_t version, const char* message) {
    const SPBasicSuite* basic = in_data->pica_basicP;
    if (basic != nullptr) {
        basic->ReleaseSuite(name, version);
        return PF_Err_NONE;
    }
    reportMessage(out_data, message != nullptr ? message : "Not able to release AEFX Suite.");
    return PF_Err_BAD_CALLBACK_PARAM;
}

}  // namespace mst
