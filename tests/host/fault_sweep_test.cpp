// Every command, run once to count its host calls and then once per call with that call
// failing in its own way (an error code, a null handle, a refused suite, a cancel), then with
// each suite missing, and with the host cancelling at each progress report. Every run must give
// the code its failure calls for and leave the stand-in's ledger balanced. Frames are tiny
// (12 x 9 pixels, three stamps of width 3) so a render makes a few hundred host calls.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/param_ids.h"
#include "standin_fixture.h"

namespace mst::test {
namespace {

// Distinct from every code the plug-in makes itself (4, 255, 512, 516) and from the cancel.
constexpr PF_Err INJECTED = 77;

constexpr int32_t FRAME_WIDTH = 12;
constexpr int32_t FRAME_HEIGHT = 9;

struct Scenario {
    std::string name;
    PF_Cmd command;
    PixelDepth depth = PixelDepth::Depth8;
    int32_t shape = 1;
    bool withLayer = false;
    bool openPath = false;
    bool snapshotCurrent = false;  // Update Params UI: the snapshot already matches
};

const char* depthName(PixelDepth d) {
    return d == PixelDepth::Depth8 ? "8" : d == PixelDepth::Depth16 ? "16" : "Float";
}

std::vector<Scenario> scenarios() {
    std::vector<Scenario> list = {
        {"About", PF_Cmd_ABOUT},
        {"GlobalSetup", PF_Cmd_GLOBAL_SETUP},
        {"ParamsSetup", PF_Cmd_PARAMS_SETUP},
        {"SequenceSetup", PF_Cmd_SEQUENCE_SETUP},
        {"SequenceResetup", PF_Cmd_SEQUENCE_RESETUP},
        {"SequenceSetdown", PF_Cmd_SEQUENCE_SETDOWN},
        {"CompletelyGeneral", PF_Cmd_COMPLETELY_GENERAL},
        {"UpdateParamsUi/fresh snapshot", PF_Cmd_UPDATE_PARAMS_UI},
        {"UpdateParamsUi/snapshot current", PF_Cmd_UPDATE_PARAMS_UI, PixelDepth::Depth8, 2, false,
         true, true},
        {"SmartPreRender", PF_Cmd_SMART_PRE_RENDER},
    };
    const char* shapes[] = {"", "Circle", "Polygon", "Layer"};
    for (PixelDepth depth : {PixelDepth::Depth8, PixelDepth::Depth16, PixelDepth::DepthFloat}) {
        for (int32_t shape : {1, 2, 3}) {
            for (bool withLayer : {false, true}) {
                for (bool openPath : {false, true}) {
                    Scenario s;
                    s.name = std::string("SmartRender/") + depthName(depth) + shapes[shape] +
                             (withLayer ? "/layer" : "/no layer") +
                             (openPath ? "/open" : "/closed");
                    s.command = PF_Cmd_SMART_RENDER;
                    s.depth = depth;
                    s.shape = shape;
                    s.withLayer = withLayer;
                    s.openPath = openPath;
                    list.push_back(s);
                }
            }
        }
    }
    return list;
}

// A host made ready for the scenario's command, as the real host would have it by then.
struct Prepared {
    std::unique_ptr<StandinHost> host;
    PF_PreRenderOutput preRender{};  // the frame's pre-render data, for Smart Render
    OwnedImage output;
};

Prepared prepare(const Scenario& s) {
    Prepared p;
    p.host = makeStandin(s.depth, FRAME_WIDTH, FRAME_HEIGHT);
    StandinHost& h = *p.host;
    h.masks[SQUARE_MASK] = makePolylinePath({{2, 2}, {10, 2}, {10, 7}, {2, 7}}, true);
    h.masks[OPEN_MASK] = makePolylinePath({{1, 1}, {6, 7}, {11, 2}}, false);
    if (s.withLayer) {
        h.layer = OwnedImage(s.depth, 3, 2);
        fillRamp(*h.layer);
    }
    switch (s.command) {
        case PF_Cmd_ABOUT:
        case PF_Cmd_GLOBAL_SETUP:
            return p;
        case PF_Cmd_PARAMS_SETUP:
            EXPECT_EQ(h.command(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
            return p;
        case PF_Cmd_SEQUENCE_SETUP:
            EXPECT_EQ(h.command(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
            EXPECT_EQ(h.command(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
            return p;
        default:
            break;
    }
    EXPECT_EQ(h.setUp(), PF_Err_NONE);
    PanelValues v;
    v.path = s.openPath ? OPEN_MASK : SQUARE_MASK;
    v.number = 3;
    v.time = 60;
    v.width = 3;
    v.shape = s.shape;
    v.sides = 5;
    v.inner = 20;
    v.edgeThickness = 1;
    // The Lightness edge takes the colour service per instance; Color does not.
    v.edgeMode = s.shape == 1 ? 1 : 2;
    v.blendMode = 6;
    v.colorOpacity = 80;
    // Both backgrounds: a copy over closed paths, a clear under open ones.
    v.background = s.openPath ? 2 : 1;
    applyPanelValues(h, v);
    if (s.snapshotCurrent) {
        EXPECT_EQ(h.command(PF_Cmd_UPDATE_PARAMS_UI), PF_Err_NONE);
    }
    if (s.command == PF_Cmd_SMART_RENDER) {
        EXPECT_EQ(h.preRenderFrame(p.preRender), PF_Err_NONE);
        p.output = OwnedImage(s.depth, FRAME_WIDTH, FRAME_HEIGHT);
    }
    return p;
}

// What one run is to do wrong: fail one call, refuse one suite, or cancel at one report.
struct Fault {
    int64_t call = 0;
    std::string missingSuite;
    size_t cancelAtReport = 0;
};

struct Outcome {
    PF_Err result = PF_Err_NONE;
    std::string failedCall;  // empty when no call was made to fail
    int64_t calls = 0;
    size_t reports = 0;
    std::set<std::string> requestedSuites;
    std::string message;
    std::string ledger;  // empty when balanced
    bool drew = false;   // Smart Render: the output is more than its background
};

// Balanced: nothing held, and the only live handles are the blocks the host keeps for the
// plug-in (global and sequence data); the pre-render block is gone once the host deleted it.
std::string ledgerOf(const StandinHost& h) {
    std::string s = h.held();
    const size_t kept = (h.inData().global_data != nullptr ? 1u : 0u) +
                        (h.inData().sequence_data != nullptr ? 1u : 0u);
    if (h.liveHandles() != kept) {
        s += "live handles " + std::to_string(h.liveHandles()) + ", kept " + std::to_string(kept);
    }
    return s;
}

Outcome run(const Scenario& s, const Fault& f) {
    Prepared p = prepare(s);
    StandinHost& h = *p.host;
    h.resetCallCount();
    h.progress.clear();
    h.requestedSuites.clear();
    h.failCall(f.call, INJECTED);
    h.missingSuite = f.missingSuite;
    if (f.cancelAtReport != 0) {
        h.onProgress = [&h, at = f.cancelAtReport](int32_t, int32_t) {
            return h.progress.size() == at ? STANDIN_CANCEL_CODE : PF_Err_NONE;
        };
    }

    Outcome o;
    char text[] = "general";
    switch (s.command) {
        case PF_Cmd_SMART_PRE_RENDER: {
            PF_PreRenderOutput out{};
            o.result = h.preRenderFrame(out);
            h.deletePreRenderData(out);
            break;
        }
        case PF_Cmd_SMART_RENDER:
            o.result = h.smartRender(p.preRender.pre_render_data, p.output);
            h.deletePreRenderData(p.preRender);
            o.drew = s.openPath ? p.output.bytes() !=
                                      OwnedImage(s.depth, FRAME_WIDTH, FRAME_HEIGHT).bytes()
                                : p.output.bytes() != h.input.bytes();
            break;
        case PF_Cmd_COMPLETELY_GENERAL:
            o.result = h.command(s.command, text);
            break;
        default:
            o.result = h.command(s.command);
            break;
    }
    o.failedCall = h.failedCall() != nullptr ? h.failedCall() : "";
    o.calls = h.callCount();
    o.reports = h.progress.size();
    o.requestedSuites = h.requestedSuites;
    o.message = h.outData().return_msg;
    o.ledger = ledgerOf(h);
    return o;
}

// The code a failure of host function `call` must give `command`, and the kind of outcome it
// is counted as. `clean` is the command's result without failures.
struct Expectation {
    const char* kind;
    PF_Err code;
};

Expectation expected(PF_Cmd command, const std::string& call, PF_Err clean) {
    const Expectation ignored{"0: result not examined", clean};
    if (call == "AcquireSuite")
        return {"516: suite refused", PF_Err_BAD_CALLBACK_PARAM};
    // Suite releases and parameter check-ins are given back whatever they answer.
    if (call == "ReleaseSuite" || call == "checkin_param")
        return ignored;
    if (call == "PF_ABORT" || call == "PF_PROGRESS")
        return {"cancel", STANDIN_CANCEL_CODE};
    // Without both images or their format the frame's depth stays unknown.
    if (call == "checkout_layer_pixels" || call == "checkout_output" ||
        call == "PF_GetPixelFormat") {
        return {"516: no format", PF_Err_BAD_CALLBACK_PARAM};
    }
    if (call == "host_new_handle") {
        switch (command) {
            case PF_Cmd_GLOBAL_SETUP:
                return {"512: no global block", 512};
            case PF_Cmd_SEQUENCE_SETUP:
            case PF_Cmd_SEQUENCE_RESETUP:
            case PF_Cmd_SMART_PRE_RENDER:
                return {"4: no block", PF_Err_OUT_OF_MEMORY};
            default:
                return ignored;  // the snapshot refresh is skipped
        }
    }
    if (call == "host_lock_handle") {
        switch (command) {
            case PF_Cmd_SMART_PRE_RENDER:
                return {"4: no block", PF_Err_OUT_OF_MEMORY};
            case PF_Cmd_SMART_RENDER:
                return {"516: no frame record", PF_Err_BAD_CALLBACK_PARAM};
            default:
                return ignored;  // setup stores nothing; the UI goes on without the block
        }
    }
    return {"injected code", INJECTED};
}

std::string describe(const Scenario& s, int64_t k, const Outcome& o) {
    std::ostringstream out;
    out << s.name << ", call " << k << " (" << o.failedCall << ")";
    return out.str();
}

void printTotals(const char* sweep, size_t commands, int64_t runs,
                 const std::map<std::string, int64_t>& outcomes) {
    std::cout << "[ sweep    ] " << sweep << ": " << commands << " commands, " << runs << " runs\n";
    for (const auto& [kind, count] : outcomes) {
        std::cout << "[ sweep    ]   " << kind << ": " << count << "\n";
    }
}

TEST(FaultSweep, EveryHostCallFailsOnceAndIsSurvived) {
    const std::vector<Scenario> list = scenarios();
    int64_t callsFailed = 0;
    std::map<std::string, int64_t> outcomes;
    for (const Scenario& s : list) {
        const Outcome clean = run(s, {});
        ASSERT_EQ(clean.result, PF_Err_NONE) << s.name;
        ASSERT_EQ(clean.ledger, "") << s.name;
        if (s.command == PF_Cmd_SMART_RENDER) {
            EXPECT_TRUE(clean.drew) << s.name << ": the frame must draw stamps";
        }
        for (int64_t k = 1; k <= clean.calls; ++k) {
            const Outcome o = run(s, {k, "", 0});
            ASSERT_FALSE(o.failedCall.empty()) << describe(s, k, o) << ": call never reached";
            const Expectation e = expected(s.command, o.failedCall, clean.result);
            EXPECT_EQ(o.result, e.code) << describe(s, k, o) << ": " << e.kind;
            EXPECT_EQ(o.ledger, "") << describe(s, k, o);
            ++callsFailed;
            ++outcomes[e.kind];
        }
    }
    printTotals("every call failing once", list.size(), callsFailed, outcomes);
    RecordProperty("commands", static_cast<int>(list.size()));
    RecordProperty("calls_failed", static_cast<int>(callsFailed));
}

TEST(FaultSweep, EveryMissingSuiteIsSurvived) {
    const char* suites[] = {kAEGPStreamSuite,   kAEGPDynamicStreamSuite, kAEGPPFInterfaceSuite,
                            kPFPathQuerySuite,  kPFPathDataSuite,        kPFParamUtilsSuite,
                            kAEGPEffectSuite,   kAEGPUtilitySuite,       kPFANSISuite,
                            kPFHandleSuite,     kPFWorldSuite,           kPFSampling8Suite,
                            kPFSampling16Suite, kPFSamplingFloatSuite,   kPFColorFloatSuite};
    const std::vector<Scenario> list = scenarios();
    int64_t runs = 0;
    std::map<std::string, int64_t> outcomes;
    for (const Scenario& s : list) {
        const Outcome clean = run(s, {});
        ASSERT_EQ(clean.result, PF_Err_NONE) << s.name;
        for (const char* suite : suites) {
            const Outcome o = run(s, {0, suite, 0});
            const bool used = clean.requestedSuites.count(suite) == 1;
            EXPECT_EQ(o.result, used ? PF_Err_BAD_CALLBACK_PARAM : clean.result)
                << s.name << " without " << suite;
            EXPECT_EQ(o.ledger, "") << s.name << " without " << suite;
            // The render's own services are acquired with a message for the user.
            const std::string name = suite;
            if (s.command == PF_Cmd_SMART_RENDER &&
                (name == kPFWorldSuite || name == kPFColorFloatSuite)) {
                EXPECT_EQ(o.message, "Couldn't load suite.") << s.name << " without " << suite;
            }
            ++runs;
            ++outcomes[used ? "516: suite refused" : "0: suite not used"];
        }
    }
    printTotals("each suite missing", list.size(), runs, outcomes);
    RecordProperty("missing_suite_runs", static_cast<int>(runs));
}

TEST(FaultSweep, CancelAtEveryProgressReport) {
    int64_t runs = 0;
    size_t commands = 0;
    for (const Scenario& s : scenarios()) {
        if (s.command != PF_Cmd_SMART_RENDER)
            continue;
        ++commands;
        const Outcome clean = run(s, {});
        ASSERT_EQ(clean.result, PF_Err_NONE) << s.name;
        ASSERT_GT(clean.reports, 2u) << s.name << ": a report before, between and after stamps";
        for (size_t n = 1; n <= clean.reports; ++n) {
            const Outcome o = run(s, {0, "", n});
            EXPECT_EQ(o.result, STANDIN_CANCEL_CODE) << s.name << ", cancel at report " << n;
            EXPECT_EQ(o.reports, n) << s.name << ": no report after the cancel";
            EXPECT_EQ(o.ledger, "") << s.name << ", cancel at report " << n;
            ++runs;
        }
    }
    printTotals("cancel at each progress report", commands, runs, {{"cancel", runs}});
    RecordProperty("cancel_runs", static_cast<int>(runs));
}

}  // namespace
}  // namespace mst::test
