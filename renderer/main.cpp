// stamptrails: the effect without the host. Renders image files through the plug-in's entry
// point on the stand-in host, exactly as the host drives it.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <new>

#include "host/plugin_info.h"
#include "renderer/cli_options.h"
#include "renderer/errors.h"
#include "renderer/panel.h"
#include "renderer/render_job.h"

namespace {

int fail(int status, const std::string& message) {
    std::fprintf(stderr, "stamptrails: %s\n", message.c_str());
    return status;
}

int run(int argc, char** argv) {
    // The options are made from the plug-in's own declarations.
    const mst::Panel panel = mst::Panel::declare();

    CLI::App app{std::string(mst::PLUGIN_DESCRIPTION) +
                     "\nRenders the effect on image files without the host.",
                 "stamptrails"};
    app.set_version_flag("--version", std::string(mst::PLUGIN_NAME) + " " +
                                          std::to_string(mst::VERSION_MAJOR) + "." +
                                          std::to_string(mst::VERSION_MINOR) + "." +
                                          std::to_string(mst::VERSION_BUGFIX));
    app.require_subcommand(1);
    app.get_formatter()->column_width(34);

    CLI::App* render = app.add_subcommand(
        "render", "render one frame or a sequence (every option has the panel's default)");
    mst::RenderCommandLine line;
    mst::addRenderOptions(*render, panel, line);
    CLI::App* params = app.add_subcommand(
        "params", "print the effect's parameter panel as the plug-in declares it");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return fail(mst::EXIT_USAGE, std::string(e.what()) + " (see stamptrails --help)");
    }

    if (params->parsed()) {
        std::cout << mst::panelTable(panel);
        return 0;
    }
    const mst::RenderOptions options = mst::resolveRenderOptions(panel, line);
    mst::runRender(options);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const mst::UsageError& e) {
        return fail(mst::EXIT_USAGE, e.what());
    } catch (const mst::RunError& e) {
        return fail(mst::EXIT_FAILURE_RUN, e.what());
    } catch (const mst::Interrupted&) {
        return fail(mst::EXIT_INTERRUPTED, "interrupted; no partial file was left");
    } catch (const std::bad_alloc&) {
        return fail(mst::EXIT_FAILURE_RUN, "out of memory");
    } catch (const std::exception& e) {
        return fail(mst::EXIT_FAILURE_RUN, e.what());
    }
}
