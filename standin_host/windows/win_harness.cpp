// Loads the plug-in DLL the way the host does, checks its property list resource against what
// the loaded code reports, and renders the reference frames through its exported entry point
// on the stand-in host, one raw frame file each; then the oversized frames, which must end
// with out of memory alone.
//
//   mst_win_harness OUTPUT_DIR [PLUGIN_PATH]
//
// PLUGIN_PATH defaults to MiravoStampTrails.aex beside the harness. The exit code is 0 only
// when the resource checks out, every frame was rendered and written, and every oversized frame
// ended as it must.
#include <windows.h>

#include <cstdio>
#include <string>

#include "resources/pipl_layout.h"
#include "resources/pipl_reader.h"
#include "standin_host/oversized_frames.h"
#include "standin_host/reference_frames.h"

namespace {

using namespace mst;

std::string besideHarness(const char* file) {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n < MAX_PATH ? n : 0);
    const size_t slash = dir.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : dir.substr(0, slash + 1)) + file;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "mst_win_harness: %s\n", message.c_str());
    return 1;
}

// The resource as the host would find it, walked property by property; its version and flags
// must be what the loaded code's Global Setup reports.
int checkPropertyList(HMODULE module, PF_EntryPointFunc entry) {
    HRSRC info = FindResourceExA(module, PIPL_RESOURCE_TYPE, MAKEINTRESOURCEA(PIPL_RESOURCE_ID),
                                 PIPL_RESOURCE_LANGUAGE);
    if (info == nullptr)
        return fail("no PIPL resource 16000 in language 1033");
    const DWORD size = SizeofResource(module, info);
    HGLOBAL loaded = LoadResource(module, info);
    const auto* data = static_cast<const uint8_t*>(loaded ? LockResource(loaded) : nullptr);
    if (data == nullptr)
        return fail("the PIPL resource cannot be loaded");
    if (size != PIPL_SIZE)
        return fail("the PIPL resource has " + std::to_string(size) + " bytes");

    const PiplList list = readPipl(data, size);
    if (!list.error.empty())
        return fail("PIPL: " + list.error);
    if (list.properties.size() != PIPL_PROPERTY_COUNT)
        return fail("PIPL: wrong property count");

    uint32_t version = 0, flags = 0, flags2 = 0;
    std::string entryName;
    for (const PiplProperty& p : list.properties) {
        if (p.key == fourCharCode("eVER"))
            version = piplU32(data, p);
        if (p.key == fourCharCode("eGLO"))
            flags = piplU32(data, p);
        if (p.key == fourCharCode("eGL2"))
            flags2 = piplU32(data, p);
        if (p.key == fourCharCode("wx86")) {
            for (uint32_t i = 0; i < p.length && data[p.dataOffset + i] != 0; ++i) {
                entryName += static_cast<char>(data[p.dataOffset + i]);
            }
        }
    }
    // The entry point is found by the name the list gives, as the host finds it.
    if (reinterpret_cast<void*>(GetProcAddress(module, entryName.c_str())) !=
        reinterpret_cast<void*>(entry)) {
        return fail("the PIPL names entry point '" + entryName + "', which is not the export");
    }

    StandinHost host(entry);
    if (PF_Err err = host.command(PF_Cmd_GLOBAL_SETUP)) {
        return fail("Global Setup returned " + std::to_string(err));
    }
    const PF_OutData& out = host.outData();
    if (version != out.my_version || flags != static_cast<uint32_t>(out.out_flags) ||
        flags2 != static_cast<uint32_t>(out.out_flags2)) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "PIPL version/flags %08x %08x %08x, Global Setup %08x %08x %08x",
                      static_cast<unsigned>(version), static_cast<unsigned>(flags),
                      static_cast<unsigned>(flags2), static_cast<unsigned>(out.my_version),
                      static_cast<unsigned>(out.out_flags), static_cast<unsigned>(out.out_flags2));
        return fail(text);
    }
    std::printf("PIPL: %u bytes, %u properties, version %08x, flags %08x %08x\n",
                static_cast<unsigned>(size), static_cast<unsigned>(list.properties.size()),
                static_cast<unsigned>(version), static_cast<unsigned>(flags),
                static_cast<unsigned>(flags2));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: mst_win_harness OUTPUT_DIR [PLUGIN_PATH]\n");
        return 2;
    }
    const std::string outDir = argv[1];
    const std::string pluginPath = argc == 3 ? argv[2] : besideHarness(PLUGIN_FILE_NAME);

    HMODULE module = LoadLibraryA(pluginPath.c_str());
    if (module == nullptr) {
        return fail("cannot load " + pluginPath + " (error " + std::to_string(GetLastError()) +
                    ")");
    }
    // The function pointer type is the entry point's own; the loader hands out a generic one.
    auto entry = reinterpret_cast<PF_EntryPointFunc>(
        reinterpret_cast<void*>(GetProcAddress(module, PLUGIN_ENTRY_POINT)));
    if (entry == nullptr)
        return fail(std::string("no export ") + PLUGIN_ENTRY_POINT);
    if (int rc = checkPropertyList(module, entry))
        return rc;

    if (!CreateDirectoryA(outDir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return fail("cannot create " + outDir);
    }
    int failures = 0;
    for (const ReferenceFrame& frame : referenceFrames()) {
        OwnedImage output;
        std::string error;
        if (PF_Err err = renderReferenceFrame(entry, frame, output)) {
            fail(frame.name + ": the render returned " + std::to_string(err));
            ++failures;
        } else if (!writeFrameFile(outDir + "/" + frame.name + ".mstframe", output, error)) {
            fail(error);
            ++failures;
        }
    }
    std::printf("%zu frames rendered, %d failed\n", referenceFrames().size(), failures);
    // Stamps no 32-bit host can hold: out of memory, nothing held, the background alone.
    int oversizedFailures = 0;
    for (const OversizedFrame& frame : oversizedFrames()) {
        const std::string problem = oversizedProblem(renderOversizedFrame(entry, frame));
        if (!problem.empty()) {
            fail(frame.name + ": " + problem);
            ++oversizedFailures;
        }
    }
    std::printf("%zu oversized frames, %d did not end with out of memory alone\n",
                oversizedFrames().size(), oversizedFailures);
    failures += oversizedFailures;
    FreeLibrary(module);
    return failures == 0 ? 0 : 1;
}
