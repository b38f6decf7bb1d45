// Shared pieces of the renderer tests: a scratch folder per test, the real program run on
// files in it, test images, and the plug-in rendered in process for comparison.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "host/entry_point.h"
#include "standin_host/standin_host.h"

extern char** environ;

namespace mst::test {

namespace fs = std::filesystem;

// A fresh folder for the test's files, removed afterwards.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "mst_renderer_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& path() const { return path_; }
    // The names of the files in the folder, sorted.
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path_))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    fs::path path_;
};

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
    // The process's peak resident memory. Linux counts the test process's own at the moment
    // it started the program too (tens of megabytes).
    long maxResidentKb = 0;
};

// Runs build/stamptrails with `args`; its stdout and stderr go to files in `logs` (not in the
// folder whose files a test counts), so stderr is not a terminal, as in a pipeline. It runs
// as an ordinary user would: in a test run as root it cannot override file permissions, so a
// folder made read-only stays read-only to it.
inline ProgramRun runProgram(const std::vector<std::string>& args, const ScratchDir& logs) {
    const std::string outFile = logs / "stdout.txt";
    const std::string errFile = logs / "stderr.txt";
    std::vector<std::string> all{MST_STAMPTRAILS};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ProgramRun run;
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
            _exit(127);
        // Dropped from the bounding set, so root does not regain it at exec; refused (and
        // not needed) for an ordinary user.
        if (geteuid() == 0 && prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) != 0)
            _exit(127);
        execve(MST_STAMPTRAILS, argv.data(), environ);
        _exit(127);
    }
    if (pid > 0) {
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid) {
            run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            run.maxResidentKb = usage.ru_maxrss;
        }
    }
    run.out = readText(outFile);
    run.err = readText(errFile);
    return run;
}

// An opaque, colourful test picture of the given depth: every pixel differs from its
// neighbours, so a shifted or mis-sampled stamp shows.
inline OwnedImage testPicture(PixelDepth depth, int32_t width, int32_t height) {
    OwnedImage image(depth, width, height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const Pixel8 p{255, static_cast<uint8_t>(x * 5 + 20), static_cast<uint8_t>(y * 7 + 10),
                           static_cast<uint8_t>((x * 3 + y * 11) % 256)};
            switch (depth) {
                case PixelDepth::Depth8:
                    image.at<Pixel8>(x, y) = p;
                    break;
                case PixelDepth::Depth16: {
                    // 16-bit values no 8-bit value converts to (red is at least 2570).
                    Pixel16 q = convert8To16(p);
                    q.red = static_cast<uint16_t>(q.red - (x % 7));
                    image.at<Pixel16>(x, y) = q;
                    break;
                }
                case PixelDepth::DepthFloat: {
                    PixelFloat q = convert8ToFloat(p);
                    q.green += 0.001f * static_cast<float>(y % 5);
                    image.at<PixelFloat>(x, y) = q;
                    break;
                }
            }
        }
    }
    return image;
}

// The plug-in rendered in process on a stand-in host of the test's own making.
inline OwnedImage renderInProcess(const OwnedImage& input, const std::optional<OwnedImage>& layer,
                                  std::unique_ptr<BezierPath> mask, const PanelValues& values,
                                  PF_RationalScale downsample = {1, 1}, int32_t timeFixed = -1) {
    StandinHost host(EntryPointFunc);
    host.input = input;
    host.layer = layer;
    host.masks[1] = std::move(mask);
    host.downsample = downsample;
    EXPECT_EQ(host.setUp(), PF_Err_NONE);
    PanelValues v = values;
    v.path = 1;
    applyPanelValues(host, v);
    if (timeFixed >= 0)
        host.param(5).u.fd.value = timeFixed;
    OwnedImage output;
    EXPECT_EQ(host.renderFrame(output), PF_Err_NONE);
    return output;
}

// Pixel bytes without row padding, for comparing images of any origin.
inline std::vector<std::byte> pixelBytes(const OwnedImage& image) {
    std::vector<std::byte> bytes;
    const size_t row = static_cast<size_t>(image.width()) * pixelSize(image.depth());
    for (int32_t y = 0; y < image.height(); ++y) {
        const std::byte* r = image.bytes().data() + static_cast<size_t>(y) * image.rowBytes();
        bytes.insert(bytes.end(), r, r + row);
    }
    return bytes;
}

inline ::testing::AssertionResult sameImage(const OwnedImage& a, const OwnedImage& b) {
    if (a.depth() != b.depth() || a.width() != b.width() || a.height() != b.height()) {
        return ::testing::AssertionFailure()
               << "depth/size " << int(a.depth()) << " " << a.width() << "x" << a.height() << " vs "
               << int(b.depth()) << " " << b.width() << "x" << b.height();
    }
    const std::vector<std::byte> pa = pixelBytes(a), pb = pixelBytes(b);
    for (size_t i = 0; i < pa.size(); ++i) {
        if (pa[i] != pb[i]) {
            const size_t px = i / static_cast<size_t>(pixelSize(a.depth()));
            return ::testing::AssertionFailure() << "first difference at pixel (" << px % a.width()
                                                 << ", " << px / a.width() << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace mst::test
