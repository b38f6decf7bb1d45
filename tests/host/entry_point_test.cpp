#include "host/entry_point.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host/plugin_data.h"
#include "standin_fixture.h"

namespace mst::test {
namespace {

TEST(EntryPoint, UnhandledSelectorsReturnZeroAndTouchNothing) {
    for (int32_t selector : {2, 3, 7, 11, 25, 99}) {
        auto host = makeStandin();
        EXPECT_EQ(host->command(static_cast<PF_Cmd>(selector)), PF_Err_NONE) << selector;
        EXPECT_EQ(host->callCount(), 0) << selector;
    }
}

TEST(EntryPoint, AMissingSuiteComesBackAsTheResultWithEverySuiteReleased) {
    auto host = makeStandin();
    ASSERT_EQ(host->setUp(), PF_Err_NONE);
    host->missingSuite = kAEGPDynamicStreamSuite;  // taken after the effect and its streams
    EXPECT_EQ(host->command(PF_Cmd_UPDATE_PARAMS_UI), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host->held(), "");
}

TEST(EntryPoint, AboutNamesTheEffectAndItsVersion) {
    auto host = makeStandin();
    EXPECT_EQ(host->command(PF_Cmd_ABOUT), PF_Err_NONE);
    const std::string text = host->outData().return_msg;
    EXPECT_NE(text.find("MiravoStampTrails"), std::string::npos) << text;
    EXPECT_NE(text.find("1.1"), std::string::npos) << text;
    EXPECT_GT(text.size(), 30u) << text;
}

TEST(EntryPoint, GlobalSetupReportsVersionFlagsAndKeepsRegisteredGlobalData) {
    auto host = makeStandin();
    EXPECT_EQ(host->command(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    const PF_OutData& out = host->outData();
    EXPECT_EQ(out.my_version, 0x88600u);
    EXPECT_EQ(out.out_flags, 0x06000040);
    EXPECT_EQ(out.out_flags2, 0x1400);
    ASSERT_NE(out.global_data, nullptr);
    const auto* global = static_cast<const GlobalData*>(*out.global_data);
    EXPECT_EQ(global->initialized, 1);
    EXPECT_EQ(global->aegpPluginId, STANDIN_PLUGIN_ID);
    EXPECT_EQ(host->held(), "");
}

TEST(EntryPoint, GlobalSetupFailures) {
    // Calls of Global Setup: acquire handle suite, new handle, lock, acquire utility suite,
    // register, release (x2).
    struct Case {
        const char* name;
        int64_t failingCall;
        PF_Err expected;
        bool stored;
    } cases[] = {
        {"handle not allocated", 2, PF_Err_INTERNAL_STRUCT_DAMAGED, false},
        {"handle not locked", 3, PF_Err_NONE, false},
        {"registration refused", 5, 77, false},
    };
    for (const Case& c : cases) {
        auto host = makeStandin();
        host->failCall(c.failingCall, 77);
        EXPECT_EQ(host->command(PF_Cmd_GLOBAL_SETUP), c.expected) << c.name;
        EXPECT_EQ(host->outData().global_data != nullptr, c.stored) << c.name;
        // Nothing left over: a block that is not the global data is given back.
        EXPECT_EQ(host->liveHandles(), 0u) << c.name;
        EXPECT_EQ(host->held(), "") << c.name;
    }
}

TEST(EntryPoint, SequenceSetupResetupAndSetdown) {
    auto host = makeStandin();
    EXPECT_EQ(host->command(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    PF_Handle first = host->inData().sequence_data;
    ASSERT_NE(first, nullptr);
    std::memset(*first, 0xAB, sizeof(SequenceData));

    EXPECT_EQ(host->command(PF_Cmd_SEQUENCE_RESETUP), PF_Err_NONE);
    PF_Handle second = host->inData().sequence_data;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(host->liveHandles(), 1u) << "the old block is disposed";
    const auto* bytes = static_cast<const unsigned char*>(*second);
    for (size_t i = 0; i < sizeof(SequenceData); ++i)
        ASSERT_EQ(bytes[i], 0) << i;

    EXPECT_EQ(host->command(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(host->liveHandles(), 0u);
    EXPECT_EQ(host->inData().sequence_data, nullptr);

    const int64_t before = host->callCount();
    EXPECT_EQ(host->command(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(host->callCount(), before) << "no block: nothing is called";
}

TEST(EntryPoint, SequenceSetupFailures) {
    struct Case {
        const char* name;
        int64_t failingCall;
        PF_Err expected;
    } cases[] = {
        {"not allocated", 2, PF_Err_OUT_OF_MEMORY},
        {"not locked", 3, PF_Err_NONE},
    };
    for (const Case& c : cases) {
        auto host = makeStandin();
        host->failCall(c.failingCall);
        EXPECT_EQ(host->command(PF_Cmd_SEQUENCE_SETUP), c.expected) << c.name;
        EXPECT_EQ(host->inData().sequence_data, nullptr) << c.name;
        EXPECT_EQ(host->liveHandles(), 0u) << c.name;
        EXPECT_EQ(host->held(), "") << c.name;
    }
}

TEST(EntryPoint, CompletelyGeneralEchoesTheTextSafely) {
    auto host = makeStandin();
    char text[] = "abc";
    EXPECT_EQ(host->command(PF_Cmd_COMPLETELY_GENERAL, text), PF_Err_NONE);
    EXPECT_STREQ(host->outData().return_msg, "abc");

    std::string longText(1000, 'x');
    EXPECT_EQ(host->command(PF_Cmd_COMPLETELY_GENERAL, longText.data()), PF_Err_NONE);
    EXPECT_EQ(std::strlen(host->outData().return_msg), 255u);
    EXPECT_EQ(host->command(PF_Cmd_COMPLETELY_GENERAL, nullptr), PF_Err_NONE);
    EXPECT_EQ(host->held(), "");
}

}  // namespace
}  // namespace mst::test
