// The command line reaches every parameter in the host's units, with the ranges and defaults
// the plug-in declares.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "renderer/cli_options.h"
#include "renderer/errors.h"
#include "renderer/panel.h"
#include "renderer/progress.h"
#include "renderer/render_job.h"
#include "renderer_fixture.h"

namespace mst::test {
namespace {

const Panel& panel() {
    static const Panel p = Panel::declare();
    return p;
}

// Parses a render command line (without the program and command names).
RenderOptions resolve(const std::string& args) {
    CLI::App app;
    RenderCommandLine line;
    addRenderOptions(app, panel(), line);
    app.parse(args, false);
    return resolveRenderOptions(panel(), line);
}

std::string usageError(const std::string& args) {
    try {
        resolve(args);
    } catch (const UsageError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(Options, NothingGivenIsThePanelsDefaults) {
    const RenderOptions o = resolve("");
    for (const ParamOption& p : PARAM_OPTIONS) {
        const PF_ParamDef& declared = panel().def(p.id);
        EXPECT_EQ(std::memcmp(&o.params[p.id].u, &declared.u, sizeof declared.u), 0) << p.name;
    }
    EXPECT_EQ(o.out, "stamptrails-demo.png");
    EXPECT_EQ(o.frames, 0);
    EXPECT_EQ(o.downsample, 1);
}

struct ValueCase {
    const char* args;
    ParamId id;
    int64_t expected;  // the host's value: 16.16 for degrees and percent
};

int64_t hostValue(const RenderOptions& o, ParamId id) {
    const PF_ParamDefUnion& u = o.params[id].u;
    switch (paramOption(id).kind) {
        case OptionKind::Angle:
            return u.ad.value;
        case OptionKind::Integer:
            return u.sd.value;
        case OptionKind::Percent:
            return u.fd.value;
        case OptionKind::Real:
            return std::llround(u.fs_d.value * 1000.0);
        case OptionKind::Checkbox:
            return u.bd.value;
        case OptionKind::Popup:
            return u.pd.value;
        case OptionKind::Color: {
            const PF_Pixel8 c = u.cd.value;
            return (int64_t{c.alpha} << 24) | (c.red << 16) | (c.green << 8) | c.blue;
        }
    }
    return -1;
}

TEST(Options, ValuesArriveInTheHostsUnits) {
    const ValueCase cases[] = {
        {"--offset -90", OFFSET, -90 * 65536},
        {"--offset=450.5", OFFSET, 450 * 65536 + 32768},
        {"--angle 22.25", ANGLE, 22 * 65536 + 16384},
        {"--number 7", NUMBER, 7},
        {"--length 35", LENGTH, 35 * 65536},
        {"--time 12.34", TIME, 808714},  // 12.34 x 65536 = 808714.24, rounded
        {"--inner 0.5", INNER, 32768},
        {"--color-opacity 100", COLOR_OPACITY, 100 * 65536},
        {"--width 11.5", WIDTH, 11500},
        {"--edge-lightness 0.75", EDGE_LIGHTNESS, 750},
        {"--sides 18", N_SIDES, 18},
        {"--edge-thickness 0", EDGE_THICKNESS, 0},
        {"--fixed-angle", FIXED_ANGLE, 1},
        {"--shape polygon", SHAPE, 2},
        {"--edge-mode color", EDGE_MODE, 2},
        {"--blend-mode color-dodge", COLOR_BLEND_MODE, 7},
        {"--blend-mode normal", COLOR_BLEND_MODE, 1},
        {"--background original", BACKGROUND, 1},
        {"--edge-color ff8000", EDGE_COLOR, 0xFFFF8000},
        {"--edge-color #0a0B0c", EDGE_COLOR, 0xFF0A0B0C},
    };
    for (const ValueCase& c : cases) {
        EXPECT_EQ(hostValue(resolve(c.args), c.id), c.expected) << c.args;
    }
}

struct BadCase {
    const char* args;
    const char* message;
};

TEST(Options, BadValuesNameTheOptionAndTheRange) {
    const BadCase cases[] = {
        {"--number 10001", "--number 10001 is out of range: \"Number\" takes 0 to 10000"},
        {"--number -1", "takes 0 to 10000"},
        {"--number 2.5", "'2.5' is not a whole number"},
        {"--sides 2", "\"n Sides\" takes 3 to 18"},
        {"--width 1.99", "\"Width\" takes 2 to 2000"},
        {"--edge-lightness 5.01", "\"Edge Lightness\" takes 0 to 5"},
        {"--time 100.5", "\"Time\" takes 0 to 100"},
        {"--length -0.1", "\"Length\" takes 0 to 100"},
        {"--offset 40000", "\"Offset\" takes -32768 to 32767"},
        {"--angle nan", "'nan' is not a number"},
        {"--width 1e999", "out of range"},
        {"--time 5x", "'5x' is not a number"},
        {"--shape star", "\"Shape\" takes circle, polygon, layer"},
        {"--background on-original", "takes original, transparent"},
        {"--edge-color fff", "give six hex digits"},
        {"--depth 24", "use 8, 16 or 32"},
        {"--downsample 0", "--downsample 0 is out of range: it takes 1 to 64"},
        {"--jobs 65", "it takes 1 to 64"},
        {"--out frame.jpg", "end it in .png or .exr"},
        {"--shape layer", "--shape layer needs --layer FILE"},
        {"--path M --path-file p.txt", "use one"},
        {"--frames 0", "it takes 1 to 1000000"},
        {"--frames 3 --time 20", "with --frames use --time-from and --time-to"},
        {"--time-to 50", "--time-to needs --frames"},
        {"--frame-range 1-2", "--frame-range needs --frames"},
        {"--strip", "--strip needs --frames"},
        {"--frames 10 --time-from 120", "\"Time\" takes 0 to 100"},
        {"--frames 10 --frame-range 4-11", "the sequence has frames 1 to 10"},
        {"--frames 10 --frame-range 0-3", "the sequence has frames 1 to 10"},
        {"--frames 10 --frame-range 5-3", "runs backwards"},
        {"--frames 10 --frame-range 3-", "give A-B"},
    };
    for (const BadCase& c : cases) {
        EXPECT_NE(usageError(c.args).find(c.message), std::string::npos)
            << c.args << " -> " << usageError(c.args);
    }
}

TEST(Options, RangesAndDefaultsAreReadFromTheDeclaration) {
    // A declaration with other bounds and default moves the option with it.
    PF_ParamDef def = panel().def(NUMBER);
    def.u.sd.valid_max = 50;
    def.u.sd.dephault = 9;
    const ParamOption& number = paramOption(NUMBER);
    EXPECT_EQ(rangeText(number, def), "0 to 50");
    EXPECT_EQ(defaultText(number, def), "9");
    EXPECT_THROW(setParamFromText(number, def, "51"), UsageError);
    PF_ParamDef shape = panel().def(SHAPE);
    shape.u.pd.namesptr = "Disc|Star";
    shape.u.pd.num_choices = 2;
    setParamFromText(paramOption(SHAPE), shape, "star");
    EXPECT_EQ(shape.u.pd.value, 2);
}

TEST(Options, HelpShowsEveryOptionWithItsDefaultAndRange) {
    CLI::App app;
    RenderCommandLine line;
    addRenderOptions(app, panel(), line);
    const std::string help = app.help();
    for (const ParamOption& p : PARAM_OPTIONS) {
        const PF_ParamDef& def = panel().def(p.id);
        EXPECT_NE(help.find(p.name), std::string::npos) << p.name;
        EXPECT_NE(help.find(std::string("\"") + def.name + "\""), std::string::npos) << p.name;
        EXPECT_NE(help.find("[default " + defaultText(p, def)), std::string::npos) << p.name;
        if (p.kind != OptionKind::Checkbox && p.kind != OptionKind::Color) {
            EXPECT_NE(help.find(rangeText(p, def)), std::string::npos) << p.name;
        }
    }
    EXPECT_NE(help.find("[default 1.2, 0 to 5]"), std::string::npos) << "float default as typed";
    EXPECT_NE(help.find("--blend-mode normal|tritone|add|multiply|screen|overlay|color-dodge|"
                        "color-burn"),
              std::string::npos);
}

TEST(Options, TheParamsTableListsTheDeclarations) {
    const std::string table = panelTable(panel());
    for (int32_t i = PATH; i < PARAM_COUNT; ++i) {
        EXPECT_NE(table.find(panel().def(static_cast<ParamId>(i)).name), std::string::npos) << i;
    }
    EXPECT_NE(table.find("7 Color Dodge (color-dodge)"), std::string::npos);
    EXPECT_NE(table.find("0 to 10000"), std::string::npos);
    EXPECT_NE(table.find("50 %"), std::string::npos) << "Time's default, a percentage";
}

struct NameCase {
    const char* out;
    int32_t number;
    int32_t digits;
    const char* expected;
};

TEST(Frames, FileNamesCarryTheFrameNumber) {
    const NameCase cases[] = {
        {"trail.png", 7, 4, "trail_0007.png"},
        {"out/tr.ail.exr", 7, 4, "out/tr.ail_0007.exr"},
        {"dir.v2/trail", 7, 4, "dir.v2/trail_0007"},
        {"big.png", 12345, 5, "big_12345.png"},
        {"shot_###.png", 7, 4, "shot_007.png"},
        {"a_##.png", 123, 4, "a_123.png"},
        {"v#/x#.png", 3, 4, "v#/x3.png"},
    };
    for (const NameCase& c : cases) {
        EXPECT_EQ(frameFileName(c.out, c.number, c.digits), c.expected) << c.out;
    }
}

TEST(Frames, TimeGoesEvenlyFromFirstToLastFrame) {
    const std::vector<FramePlan> all = planFrames(resolve("--frames 5 --out t.png"));
    ASSERT_EQ(all.size(), 5u);
    for (int32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(all[i].number, i + 1);
        EXPECT_DOUBLE_EQ(all[i].timePercent, 25.0 * i);
    }
    EXPECT_EQ(all[4].file, "t_0005.png");

    const std::vector<FramePlan> part =
        planFrames(resolve("--frames 11 --time-from 80 --time-to 30 --frame-range 3-4"));
    ASSERT_EQ(part.size(), 2u);
    EXPECT_EQ(part[0].number, 3);
    EXPECT_DOUBLE_EQ(part[0].timePercent, 70.0);
    EXPECT_DOUBLE_EQ(part[1].timePercent, 65.0);

    EXPECT_DOUBLE_EQ(planFrames(resolve("--frames 1 --time-from 40"))[0].timePercent, 40.0);
    EXPECT_DOUBLE_EQ(planFrames(resolve("--time 12.5"))[0].timePercent, 12.5);
    EXPECT_EQ(planFrames(resolve("--frames 3 --strip --out s.png"))[2].file, "s.png");
}

TEST(RenderErrors, EachCodeIsReportedWithItsMeaning) {
    const std::pair<PF_Err, const char*> cases[] = {
        {PF_Err_OUT_OF_MEMORY, "out of memory (error 4)"},
        {PF_Err_INTERNAL_STRUCT_DAMAGED, "internal structure damaged (error 512)"},
        {PF_Err_BAD_CALLBACK_PARAM, "bad callback parameter (error 516)"},
        {ERR_SURFACE_MISMATCH, "does not fit the input (surface mismatch, error 255)"},
        {STANDIN_CANCEL_CODE, "cancelled"},
        {77, "error 77"},
    };
    for (const auto& [code, meaning] : cases) {
        EXPECT_NE(describeRenderError(code, "").find(meaning), std::string::npos) << code;
    }
    EXPECT_EQ(describeRenderError(4, "Could not load suite"),
              "out of memory (error 4): Could not load suite");
}

TEST(RenderErrors, AFailingFrameThrowsWithTheEffectsCode) {
    Scene scene;
    scene.input = testPicture(PixelDepth::Depth8, 40, 30);
    scene.path = parseSvgPath("M 5 5 L 35 25");
    RenderOptions options = resolve("--number 3 --width 20");
    FrameRenderer renderer(scene, options);
    renderer.host().maxImageBytes = 64;  // the stamp image cannot be made
    try {
        renderer.render(planFrames(options)[0]);
        ADD_FAILURE() << "no error";
    } catch (const RunError& e) {
        EXPECT_NE(std::string(e.what()).find("out of memory (error 4)"), std::string::npos)
            << e.what();
    }
}

TEST(RenderErrors, AProgressAnswerCancelsTheFrame) {
    Scene scene;
    scene.input = testPicture(PixelDepth::Depth16, 40, 30);
    scene.path = parseSvgPath("M 5 5 L 35 25");
    const RenderOptions options = resolve("--number 3 --width 20");
    FrameRenderer renderer(scene, options);
    int32_t reports = 0;
    try {
        renderer.render(planFrames(options)[0], [&reports](int32_t, int32_t) {
            ++reports;
            return STANDIN_CANCEL_CODE;
        });
        ADD_FAILURE() << "no error";
    } catch (const RunError& e) {
        EXPECT_NE(std::string(e.what()).find("cancelled"), std::string::npos) << e.what();
    }
    EXPECT_EQ(reports, 1) << "the first report already stops the frame";
}

TEST(Progress, TheBarShowsTheDoneShare) {
    const std::string half = ProgressBar::barLine(0.5, 2, 4, 10.0);
    EXPECT_EQ(half.substr(0, 32), "[" + std::string(15, '#') + std::string(15, '-') + "]");
    EXPECT_NE(half.find(" 50%"), std::string::npos);
    EXPECT_NE(half.find("2/4 frames"), std::string::npos);
    EXPECT_NE(half.find("0:10 (about 0:10 left)"), std::string::npos);
    EXPECT_EQ(ProgressBar::barLine(1.0, 1, 1, 3.0).find("frames"), std::string::npos)
        << "a single frame shows no frame count";
}

}  // namespace
}  // namespace mst::test
