#include <gtest/gtest.h>

#include "host/param_ids.h"
#include "host/plugin_data.h"
#include "standin_fixture.h"

namespace mst::test {
namespace {

std::unique_ptr<StandinHost> setUpHost() {
    auto host = makeStandin();
    EXPECT_EQ(host->setUp(), PF_Err_NONE);
    host->param(PATH).u.path_d.path_id = SQUARE_MASK;
    return host;
}

bool disabled(const StandinHost& host, int32_t index) {
    return (host.uiFlags[index] & PF_PUI_DISABLED) != 0;
}

TEST(UpdateParamsUi, ShapeHidesWhatItDoesNotUse) {
    const ParamId edgeGroup[] = {INNER, EDGE_THICKNESS, EDGE_MODE, EDGE_LIGHTNESS, EDGE_COLOR};
    const ParamId layerGroup[] = {LAYER, COLOR_BLEND_MODE, COLOR_OPACITY};
    struct Case {
        const char* name;
        int32_t shape;
        bool sidesHidden, layerHidden, edgeHidden;
    } cases[] = {
        {"Circle", 1, true, true, false},
        {"Polygon", 2, false, true, false},
        {"Layer", 3, true, false, true},
        {"unknown value shows everything", 9, false, false, false},
    };
    auto host = setUpHost();
    // Layer first and Circle after it: every flag is written each time, so the edge group
    // comes back.
    for (int32_t first : {3, 1, 2}) {
        host->param(SHAPE).u.pd.value = first;
        ASSERT_EQ(host->command(PF_Cmd_UPDATE_PARAMS_UI), PF_Err_NONE);
        for (const Case& c : cases) {
            host->param(SHAPE).u.pd.value = c.shape;
            ASSERT_EQ(host->command(PF_Cmd_UPDATE_PARAMS_UI), PF_Err_NONE) << c.name;
            EXPECT_EQ(host->hidden[N_SIDES], c.sidesHidden) << c.name << " after " << first;
            for (ParamId p : layerGroup)
                EXPECT_EQ(host->hidden[p], c.layerHidden) << c.name;
            for (ParamId p : edgeGroup)
                EXPECT_EQ(host->hidden[p], c.edgeHidden) << c.name;
        }
    }
    EXPECT_EQ(host->held(), "");
}

TEST(UpdateParamsUi, OffsetFollowsTheMaskAndEdgeModeChoosesTheEdgeControl) {
    struct Case {
        const char* name;
        uint32_t mask;
        int32_t edgeMode;
        int32_t shape;
        bool offsetDisabled, lightnessDisabled, colorDisabled;
    } cases[] = {
        {"closed mask, Lightness", SQUARE_MASK, 1, 1, false, false, true},
        {"open mask, Color", OPEN_MASK, 2, 1, true, true, false},
        {"no mask is open", 0, 1, 2, true, false, true},
        {"Color while the edge group is hidden", SQUARE_MASK, 2, 3, false, true, false},
    };
    for (const Case& c : cases) {
        auto host = setUpHost();
        host->param(PATH).u.path_d.path_id = c.mask;
        host->param(EDGE_MODE).u.pd.value = c.edgeMode;
        host->param(SHAPE).u.pd.value = c.shape;
        ASSERT_EQ(host->command(PF_Cmd_UPDATE_PARAMS_UI), PF_Err_NONE) << c.name;
        EXPECT_EQ(disabled(*host, OFFSET), c.offsetDisabled) << c.name;
        EXPECT_EQ(disabled(*host, EDGE_LIGHTNESS), c.lightnessDisabled) << c.name;
        EXPECT_EQ(disabled(*host, EDGE_COLOR), c.colorDisabled) << c.name;
        EXPECT_STREQ(host->uiUpdates[OFFSET].name, "Offset");
        EXPECT_EQ(host->uiUpdates[OFFSET].param_type, PF_Param_ANGLE);
        EXPECT_EQ(host->uiUpdates[EDGE_LIGHTNESS].param_type, PF_Param_FLOAT_SLIDER);
        EXPECT_EQ(host->uiUpdates[EDGE_COLOR].param_type, PF_Param_COLOR);
        EXPECT_NE(host->outData().out_flags & PF_OutFlag_REFRESH_UI, 0) << c.name;
        EXPECT_EQ(host->held(), "") << c.name;
    }
}

const GlobalData& globalOf(const StandinHost& host) {
    return *static_cast<const GlobalData*>(*host.inData().global_data);
}

TEST(UpdateParamsUi, SnapshotRefreshesOnlyWhenTheValuesChange) {
    auto host = setUpHost();
    ASSERT_EQ(host->command(PF_Cmd_UPDATE_PARAMS_UI), PF_Err_NONE);
    PF_Handle first = host->inData().sequence_data;
    EXPECT_EQ(globalOf(*host).initialized, 1);

    ASSERT_EQ(host->command(PF_Cmd_UPDATE_PARAMS_UI), PF_Err_NONE);
    EXPECT_EQ(host->inData().sequence_data, first) << "nothing changed: the snapshot stays";

    host->param(NUMBER).u.sd.value = 9;
    ASSERT_EQ(host->command(PF_Cmd_UPDATE_PARAMS_UI), PF_Err_NONE);
    EXPECT_NE(host->inData().sequence_data, first) << "a change takes a new snapshot";
    EXPECT_EQ(host->liveHandles(), 2u) << "global and sequence blocks only";
}

TEST(UpdateParamsUi, ErrorsOfTheLaterStepsAreShownAsERROR) {
    auto host = setUpHost();
    host->param(NUMBER).u.sd.value = 6;  // forces the snapshot refresh
    // Find the call numbers of this command's host calls by a clean run first.
    auto probe = setUpHost();
    probe->param(NUMBER).u.sd.value = 6;
    probe->resetCallCount();
    ASSERT_EQ(probe->command(PF_Cmd_UPDATE_PARAMS_UI), PF_Err_NONE);
    const int64_t total = probe->callCount();

    int shown = 0;
    int silent = 0;
    for (int64_t k = 1; k <= total; ++k) {
        auto h = setUpHost();
        h->param(NUMBER).u.sd.value = 6;
        h->resetCallCount();
        h->failCall(k, 55);
        const PF_Err rc = h->command(PF_Cmd_UPDATE_PARAMS_UI);
        const PF_OutData& out = h->outData();
        if (rc == 55 && std::string(out.return_msg) == "ERROR") {
            ++shown;
            EXPECT_EQ(out.out_flags, PF_OutFlag_DISPLAY_ERROR_MESSAGE | PF_OutFlag_REFRESH_UI) << k;
        } else if (rc != PF_Err_NONE) {
            ++silent;
            EXPECT_STREQ(out.return_msg, "") << k;
        }
        if (rc != PF_Err_NONE) {
            EXPECT_EQ(globalOf(*h).initialized, 1) << "left as Global Setup set it, call " << k;
        }
        // A refused suite is thrown and ends the command before the refresh flag.
        if (rc != PF_Err_BAD_CALLBACK_PARAM) {
            EXPECT_NE(out.out_flags & PF_OutFlag_REFRESH_UI, 0) << k;
        }
        EXPECT_EQ(h->held(), "") << "call " << k;
    }
    EXPECT_GT(shown, 0);
    EXPECT_GT(silent, 0);
}

TEST(UpdateParamsUi, WithoutGlobalDataThePanelIsStillUpdated) {
    auto host = makeStandin();
    host->failCall(3);  // Global Setup's lock: no global data
    ASSERT_EQ(host->setUp(), PF_Err_NONE);
    ASSERT_EQ(host->inData().global_data, nullptr);
    host->param(PATH).u.path_d.path_id = OPEN_MASK;
    host->param(SHAPE).u.pd.value = 3;
    EXPECT_EQ(host->command(PF_Cmd_UPDATE_PARAMS_UI), PF_Err_NONE);
    EXPECT_TRUE(disabled(*host, OFFSET));
    EXPECT_FALSE(host->hidden[INNER]) << "no registration, no stream flags";
    EXPECT_EQ(host->held(), "");
}

}  // namespace
}  // namespace mst::test
