// The PNG and OpenEXR readers on arbitrary file contents, read through a memory file's name
// as the renderer reads any file. Findings: a crash or sanitizer report, an exception other
// than the reader's run error, an image accepted outside the host's size limit or in a depth
// its file type cannot give, and an 8- or 16-bit image that does not come back unchanged
// when written as PNG and read again.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "renderer/errors.h"
#include "renderer/image_io.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "image_io fuzzer: %s\n", what);
    std::abort();
}

// One memory file for the whole run, rewritten for every input.
int memoryFile() {
    static const int fd = memfd_create("image_io_fuzzer", 0);
    if (fd < 0)
        finding("memfd_create failed");
    return fd;
}

// Where the round trip's PNG is written; removed when the run ends.
const std::filesystem::path& scratchDir() {
    static const std::filesystem::path dir = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "image_io_fuzzer_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            finding("mkdtemp failed");
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(scratchDir(), ec);
        });
        return std::filesystem::path(pattern);
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memoryFile();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        finding("cannot write the memory file");
    const std::string name = "/proc/self/fd/" + std::to_string(fd);
    mst::OwnedImage image;
    try {
        image = mst::readImage(name);
    } catch (const mst::RunError&) {
        return 0;
    }
    if (image.width() < 1 || image.height() < 1 || image.width() > mst::MAX_IMAGE_SIDE ||
        image.height() > mst::MAX_IMAGE_SIDE) {
        finding("an image outside the host's size limit was accepted");
    }
    const bool png = size >= 1 && data[0] == 0x89;
    if (png == (image.depth() == mst::PixelDepth::DepthFloat))
        finding("the image's depth does not follow its file type");
    if (!png)
        return 0;

    const std::string copy = (scratchDir() / "copy.png").string();
    mst::writeImage(copy, image, mst::ImageFileType::Png);
    const mst::OwnedImage back = mst::readImage(copy);
    if (back.depth() != image.depth() || back.width() != image.width() ||
        back.height() != image.height() || back.bytes() != image.bytes()) {
        finding("a PNG image does not survive being written and read again");
    }
    return 0;
}
