#include "host/suite_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mst {
namespace {

// A basic suite that hands out a dummy for every name but one, and logs every call.
std::vector<std::string> gLog;
std::string gMissing;
int gDummy = 0;

PF_Err fakeAcquire(const char* name, int32_t version, const void** suite) {
    gLog.push_back(std::string("+") + name + " " + std::to_string(version));
    if (gMissing == name) {
        *suite = nullptr;
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    *suite = &gDummy;
    return PF_Err_NONE;
}
PF_Err fakeRelease(const char* name, int32_t version) {
    gLog.push_back(std::string("-") + name + " " + std::to_string(version));
    return PF_Err_NONE;
}
const SPBasicSuite FAKE_BASIC{fakeAcquire, fakeRelease};

class SuiteCacheTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gLog.clear();
        gMissing.clear();
    }
};

TEST_F(SuiteCacheTest, AcquiresOnFirstUseAndReleasesInTableOrder) {
    {
        SuiteCache cache(&FAKE_BASIC);
        EXPECT_TRUE(gLog.empty());
        cache.sampling8Suite();
        cache.handleSuite();
        cache.handleSuite();  // served from the cache
        cache.streamSuite();
    }
    const std::vector<std::string> expected = {"+PF Sampling8 Suite 1", "+PF Handle Suite 1",
                                               "+AEGP Stream Suite 7",  "-AEGP Stream Suite 7",
                                               "-PF Handle Suite 1",    "-PF Sampling8 Suite 1"};
    EXPECT_EQ(gLog, expected);
}

TEST_F(SuiteCacheTest, AMissingSuiteIsThrownAndTheOthersAreStillReleased) {
    gMissing = kPFPathDataSuite;
    try {
        SuiteCache cache(&FAKE_BASIC);
        cache.pathQuerySuite();
        cache.pathDataSuite();
        FAIL() << "a missing suite must be thrown";
    } catch (PF_Err code) {
        EXPECT_EQ(code, PF_Err_BAD_CALLBACK_PARAM);
    }
    const std::vector<std::string> expected = {"+PF Path Query Suite 1", "+PF Path Data Suite 1",
                                               "-PF Path Query Suite 1"};
    EXPECT_EQ(gLog, expected);
}

TEST_F(SuiteCacheTest, NoBasicSuiteIsThrown) {
    EXPECT_THROW(SuiteCache cache(nullptr), PF_Err);
}

TEST_F(SuiteCacheTest, AcquireAndReleaseWithMessage) {
    PF_InData in{};
    PF_OutData out{};
    const void* suite = nullptr;

    in.pica_basicP = &FAKE_BASIC;
    EXPECT_EQ(acquireSuiteWithMessage(&in, &out, kPFWorldSuite, 2, "Couldn't load suite.", &suite),
              PF_Err_NONE);
    EXPECT_EQ(suite, &gDummy);
    EXPECT_EQ(releaseSuiteWithMessage(&in, &out, kPFWorldSuite, 2, "Couldn't release suite."),
              PF_Err_NONE);
    EXPECT_EQ(out.out_flags, 0);

    gMissing = kPFColorFloatSuite;
    EXPECT_EQ(
        acquireSuiteWithMessage(&in, &out, kPFColorFloatSuite, 1, "Couldn't load suite.", &suite),
        PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_STREQ(out.return_msg, "Couldn't load suite.");
    EXPECT_NE(out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);

    struct Case {
        const char* message;
        bool acquire;
        const char* shown;
    } cases[] = {
        {nullptr, true, "Not able to acquire AEFX Suite."},
        {nullptr, false, "Not able to release AEFX Suite."},
        {"Couldn't release suite.", false, "Couldn't release suite."},
    };
    in.pica_basicP = nullptr;
    for (const Case& c : cases) {
        PF_OutData o{};
        const PF_Err rc = c.acquire ? acquireSuiteWithMessage(&in, &o, "X", 1, c.message, &suite)
                                    : releaseSuiteWithMessage(&in, &o, "X", 1, c.message);
        EXPECT_EQ(rc, PF_Err_BAD_CALLBACK_PARAM) << c.shown;
        EXPECT_STREQ(o.return_msg, c.shown);
        EXPECT_EQ(o.out_flags, PF_OutFlag_DISPLAY_ERROR_MESSAGE) << c.shown;
    }
}

}  // namespace
}  // namespace mst
