#include "renderer/image_io.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "renderer/errors.h"
#include "renderer/image_ops.h"

namespace mst {
namespace {

std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

std::string lowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

// The process's file creation mask, read once before any thread starts (umask can only be
// read by setting it).
mode_t readUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}
const mode_t FILE_CREATION_MASK = readUmask();

// A file being written under a hidden temporary name beside its final name. Removed unless
// commit() renames it into place.
class TempFile {
  public:
    explicit TempFile(const std::string& path) : final_(path) {
        const size_t slash = path.find_last_of('/');
        const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
        const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
        std::vector<char> name(dir.begin(), dir.end());
        const std::string pattern = "." + base + ".tmp-XXXXXX";
        name.insert(name.end(), pattern.begin(), pattern.end());
        name.push_back('\0');
        fd_ = mkstemp(name.data());
        if (fd_ < 0) {
            throw RunError("cannot write " + quoted(path) + ": " + std::strerror(errno));
        }
        temp_ = name.data();
        // mkstemp makes the file private; the output gets the permissions of any new file.
        fchmod(fd_, 0666 & ~FILE_CREATION_MASK);
    }
    ~TempFile() {
        if (file_ != nullptr)
            std::fclose(file_);
        if (fd_ >= 0)
            close(fd_);
        if (!committed_)
            unlink(temp_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& tempName() const { return temp_; }
    // The open file as a stdio stream (for libpng).
    FILE* stream() {
        if (file_ == nullptr) {
            file_ = fdopen(fd_, "wb");
            if (file_ == nullptr)
                fail(errno);
            fd_ = -1;
        }
        return file_;
    }
    // Closes the descriptor so another writer (OpenEXR) can write the file by its name.
    void closeDescriptor() {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }
    void commit() {
        if (file_ != nullptr) {
            const bool bad = std::ferror(file_) != 0;
            const int rc = std::fclose(file_);
            file_ = nullptr;
            if (bad || rc != 0)
                fail(errno != 0 ? errno : EIO);
        }
        closeDescriptor();
        if (std::rename(temp_.c_str(), final_.c_str()) != 0)
            fail(errno);
        committed_ = true;
    }
    [[noreturn]] void fail(int err) {
        throw RunError("cannot write " + quoted(final_) + ": " + std::strerror(err));
    }

  private:
    std::string final_;
    std::string temp_;
    int fd_ = -1;
    FILE* file_ = nullptr;
    bool committed_ = false;
};

void checkSize(const std::string& path, int64_t width, int64_t height) {
    if (width < 1 || height < 1 || width > MAX_IMAGE_SIDE || height > MAX_IMAGE_SIDE) {
        throw RunError("cannot read " + quoted(path) + ": the image is " + std::to_string(width) +
                       " x " + std::to_string(height) + " pixels; the largest the host takes is " +
                       std::to_string(MAX_IMAGE_SIDE) + " x " + std::to_string(MAX_IMAGE_SIDE));
    }
}

// --- PNG ------------------------------------------------------------------------------------

// libpng reports errors by longjmp. The functions that call it hold nothing that needs a
// destructor, so the jump skips no clean-up; buffers are made by their callers.
struct PngContext {
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[256] = "";
};

void pngError(png_structp png, png_const_charp message) {
    auto* ctx = static_cast<PngContext*>(png_get_error_ptr(png));
    std::snprintf(ctx->message, sizeof ctx->message, "%s", message);
    png_longjmp(png, 1);
}
// Warnings (an odd colour profile, say) do not stop the read.
void pngWarning(png_structp, png_const_charp) {}

struct PngLayout {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bits = 0;             // 8 or 16 after the transformations
    size_t fileRowBytes = 0;  // a row as stored, before the transformations
};

bool pngReadHeader(PngContext& ctx, FILE* file, PngLayout& layout) {
    if (setjmp(png_jmpbuf(ctx.png)))
        return false;
    png_init_io(ctx.png, file);
    png_read_info(ctx.png, ctx.info);
    layout.fileRowBytes = png_get_rowbytes(ctx.png, ctx.info);
    const int colorType = png_get_color_type(ctx.png, ctx.info);
    // Every colour type becomes RGBA of 8 or 16 bits: palettes and low-bit grey expand,
    // transparency chunks become alpha, grey becomes RGB, a missing alpha is opaque.
    png_set_expand(ctx.png);
    if ((colorType & PNG_COLOR_MASK_COLOR) == 0)
        png_set_gray_to_rgb(ctx.png);
    if ((colorType & PNG_COLOR_MASK_ALPHA) == 0 &&
        !png_get_valid(ctx.png, ctx.info, PNG_INFO_tRNS)) {
        png_set_add_alpha(ctx.png, 0xFFFF, PNG_FILLER_AFTER);
    }
    png_set_interlace_handling(ctx.png);
    png_read_update_info(ctx.png, ctx.info);
    layout.width = png_get_image_width(ctx.png, ctx.info);
    layout.height = png_get_image_height(ctx.png, ctx.info);
    layout.bits = png_get_bit_depth(ctx.png, ctx.info);
    if (png_get_channels(ctx.png, ctx.info) != 4 || (layout.bits != 8 && layout.bits != 16) ||
        png_get_rowbytes(ctx.png, ctx.info) !=
            static_cast<size_t>(layout.width) * 4 * (layout.bits / 8)) {
        std::snprintf(ctx.message, sizeof ctx.message, "unsupported pixel layout");
        return false;
    }
    return true;
}

// The pixels are one zlib stream holding at least height x stored row bytes (interlaced or
// not), and deflate packs at most 1032 bytes into one. A file too short for that is damaged:
// refused before memory is taken for an image its header only claims (a few bytes can claim
// 30000 x 30000, gigabytes of pixels).
constexpr uint64_t DEFLATE_MAX_RATIO = 1032;

void checkPngDataCanFit(const std::string& path, FILE* file, const PngLayout& layout) {
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode))
        return;  // not a plain file: its size says nothing, the read itself finds the end
    const uint64_t stored = uint64_t{layout.height} * layout.fileRowBytes;
    if (static_cast<uint64_t>(info.st_size) < stored / DEFLATE_MAX_RATIO) {
        throw RunError("cannot read " + quoted(path) + ": damaged PNG file (" +
                       std::to_string(info.st_size) + " bytes cannot hold the " +
                       std::to_string(layout.width) + " x " + std::to_string(layout.height) +
                       " pixels its header declares)");
    }
}

bool pngReadRows(PngContext& ctx, png_bytepp rows) {
    if (setjmp(png_jmpbuf(ctx.png)))
        return false;
    png_read_image(ctx.png, rows);
    png_read_end(ctx.png, nullptr);
    return true;
}

OwnedImage readPng(const std::string& path, FILE* file) {
    PngContext ctx;
    ctx.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, pngError, pngWarning);
    if (ctx.png != nullptr)
        ctx.info = png_create_info_struct(ctx.png);
    struct Destroy {
        PngContext& ctx;
        ~Destroy() { png_destroy_read_struct(&ctx.png, &ctx.info, nullptr); }
    } destroy{ctx};
    if (ctx.info == nullptr)
        throw RunError("cannot read " + quoted(path) + ": out of memory");

    PngLayout layout;
    if (!pngReadHeader(ctx, file, layout)) {
        throw RunError("cannot read " + quoted(path) + ": damaged PNG file (" + ctx.message + ")");
    }
    checkSize(path, layout.width, layout.height);
    checkPngDataCanFit(path, file, layout);
    const size_t rowBytes = static_cast<size_t>(layout.width) * 4 * (layout.bits / 8);
    std::vector<png_byte> buffer(rowBytes * layout.height);
    std::vector<png_bytep> rows(layout.height);
    for (png_uint_32 y = 0; y < layout.height; ++y)
        rows[y] = buffer.data() + y * rowBytes;
    if (!pngReadRows(ctx, rows.data())) {
        throw RunError("cannot read " + quoted(path) + ": damaged PNG file (" + ctx.message + ")");
    }

    const auto w = static_cast<int32_t>(layout.width);
    const auto h = static_cast<int32_t>(layout.height);
    if (layout.bits == 8) {
        OwnedImage image(PixelDepth::Depth8, w, h);
        for (int32_t y = 0; y < h; ++y) {
            const png_byte* s = rows[y];
            for (int32_t x = 0; x < w; ++x, s += 4) {
                image.at<Pixel8>(x, y) = Pixel8{s[3], s[0], s[1], s[2]};
            }
        }
        return image;
    }
    // 16-bit samples are big-endian in the file and in libpng's rows.
    OwnedImage image(PixelDepth::Depth16, w, h);
    auto sample = [](const png_byte* s) {
        return fileToFrame16(static_cast<uint16_t>((s[0] << 8) | s[1]));
    };
    for (int32_t y = 0; y < h; ++y) {
        const png_byte* s = rows[y];
        for (int32_t x = 0; x < w; ++x, s += 8) {
            image.at<Pixel16>(x, y) =
                Pixel16{sample(s + 6), sample(s), sample(s + 2), sample(s + 4)};
        }
    }
    return image;
}

bool pngWriteRows(PngContext& ctx, FILE* file, int32_t width, int32_t height, int bits,
                  png_bytepp rows) {
    if (setjmp(png_jmpbuf(ctx.png)))
        return false;
    png_init_io(ctx.png, file);
    png_set_IHDR(ctx.png, ctx.info, static_cast<png_uint_32>(width),
                 static_cast<png_uint_32>(height), bits, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Sequences are written frame after frame: libpng's defaults (zlib level 6, every filter
    // tried on every row) took most of a 1920 x 1080 frame's time. One filter (Paeth, the
    // best single one on photographic rows) at level 3 writes such a frame in about 50 ms
    // instead of 380, for files about a third larger; the pixels are the same either way.
    png_set_compression_level(ctx.png, 3);
    png_set_filter(ctx.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
    png_write_info(ctx.png, ctx.info);
    png_write_image(ctx.png, rows);
    png_write_end(ctx.png, nullptr);
    return true;
}

void writePng(const std::string& path, const OwnedImage& image) {
    const int32_t w = image.width();
    const int32_t h = image.height();
    const bool eight = image.depth() == PixelDepth::Depth8;
    const int bits = eight ? 8 : 16;
    const size_t rowBytes = static_cast<size_t>(w) * 4 * (bits / 8);
    std::vector<png_byte> buffer(rowBytes * static_cast<size_t>(h));
    std::vector<png_bytep> rows(static_cast<size_t>(h));
    auto put16 = [](png_byte* d, uint16_t v) {
        d[0] = static_cast<png_byte>(v >> 8);
        d[1] = static_cast<png_byte>(v & 0xFF);
    };
    for (int32_t y = 0; y < h; ++y) {
        png_byte* d = buffer.data() + static_cast<size_t>(y) * rowBytes;
        rows[static_cast<size_t>(y)] = d;
        for (int32_t x = 0; x < w; ++x) {
            switch (image.depth()) {
                case PixelDepth::Depth8: {
                    const Pixel8& p = image.at<Pixel8>(x, y);
                    d[0] = p.red;
                    d[1] = p.green;
                    d[2] = p.blue;
                    d[3] = p.alpha;
                    d += 4;
                    break;
                }
                case PixelDepth::Depth16: {
                    const Pixel16& p = image.at<Pixel16>(x, y);
                    put16(d, frameToFile16(p.red));
                    put16(d + 2, frameToFile16(p.green));
                    put16(d + 4, frameToFile16(p.blue));
                    put16(d + 6, frameToFile16(p.alpha));
                    d += 8;
                    break;
                }
                case PixelDepth::DepthFloat: {
                    const PixelFloat& p = image.at<PixelFloat>(x, y);
                    put16(d, floatToFile16(p.red));
                    put16(d + 2, floatToFile16(p.green));
                    put16(d + 4, floatToFile16(p.blue));
                    put16(d + 6, floatToFile16(p.alpha));
                    d += 8;
                    break;
                }
            }
        }
    }

    TempFile temp(path);
    PngContext ctx;
    ctx.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &ctx, pngError, pngWarning);
    if (ctx.png != nullptr)
        ctx.info = png_create_info_struct(ctx.png);
    struct Destroy {
        PngContext& ctx;
        ~Destroy() { png_destroy_write_struct(&ctx.png, &ctx.info); }
    } destroy{ctx};
    if (ctx.info == nullptr)
        throw RunError("cannot write " + quoted(path) + ": out of memory");
    if (!pngWriteRows(ctx, temp.stream(), w, h, bits, rows.data())) {
        throw RunError("cannot write " + quoted(path) + ": " + ctx.message);
    }
    temp.commit();
}

// --- OpenEXR --------------------------------------------------------------------------------

// OpenEXR reads a header attribute into memory of the size the file declares for it, up to
// 2 GB, before it finds the file too short for it. Every attribute of a sound file lies inside
// the file: one declaring more than the rest of the file is refused here, before OpenEXR sees
// it. Anything else wrong with the header is left for OpenEXR to report.
void checkExrAttributeSizes(const std::string& path, FILE* file) {
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode))
        return;
    const auto fileSize = static_cast<uint64_t>(info.st_size);
    unsigned char start[8];
    if (std::fread(start, 1, sizeof start, file) != sizeof start)
        return;
    const bool multipart = (start[5] & 0x10) != 0;  // version flags, bit 12
    // A null-terminated name of at most 255 characters; false at the end of the file.
    auto readName = [file](std::string& name) {
        name.clear();
        for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
            if (c == 0)
                return true;
            if (name.size() == 255)
                return false;
            name += static_cast<char>(c);
        }
        return false;
    };
    std::string name, type;
    // One header, or a multipart file's several ended by an empty one; each is a list of
    // attributes ended by an empty name.
    while (readName(name) && !name.empty()) {
        do {
            unsigned char bytes[4];
            if (!readName(type) || std::fread(bytes, 1, sizeof bytes, file) != sizeof bytes)
                return;
            const int32_t size =
                static_cast<int32_t>(uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 |
                                     uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24);
            const long at = std::ftell(file);
            if (size < 0 || at < 0 ||
                static_cast<uint64_t>(size) > fileSize - static_cast<uint64_t>(at)) {
                throw RunError("cannot read " + quoted(path) +
                               " as OpenEXR: its header attribute '" + name + "' declares " +
                               std::to_string(size) + " bytes, more than the file holds");
            }
            if (std::fseek(file, size, SEEK_CUR) != 0)
                return;
        } while (readName(name) && !name.empty());
        if (!multipart)
            return;
    }
}

// OpenEXR sizes its line buffers from the header's data window before it reads any pixel (a
// 326-byte file with a window 800 million pixels wide asked for 2.4 GB): a window beyond the
// host's limit is refused by OpenEXR's own check as the header is read.
void limitExrImageSize() {
    static const bool once = [] {
        Imf::Header::setMaxImageSize(MAX_IMAGE_SIDE, MAX_IMAGE_SIDE);
        Imf::Header::setMaxTileSize(MAX_IMAGE_SIDE, MAX_IMAGE_SIDE);
        return true;
    }();
    (void)once;
}

OwnedImage readExr(const std::string& path, FILE* stream) {
    checkExrAttributeSizes(path, stream);
    limitExrImageSize();
    try {
        Imf::InputFile file(path.c_str());
        const Imath::Box2i window = file.header().dataWindow();
        const int64_t w = int64_t{window.max.x} - window.min.x + 1;
        const int64_t h = int64_t{window.max.y} - window.min.y + 1;
        checkSize(path, w, h);
        const Imf::ChannelList& channels = file.header().channels();
        const bool rgb = channels.findChannel("R") != nullptr ||
                         channels.findChannel("G") != nullptr ||
                         channels.findChannel("B") != nullptr;
        const bool grey = !rgb && channels.findChannel("Y") != nullptr;
        if (!rgb && !grey) {
            throw RunError("cannot read " + quoted(path) +
                           ": no colour channels (R, G, B or Y) in the OpenEXR file");
        }

        // Pixel (0, 0) of the image is the data window's top-left corner.
        const size_t xStride = sizeof(PixelFloat);
        auto frameBuffer = [&](PixelFloat* first, size_t yStride) {
            // OpenEXR addresses pixel (x, y) at base + x xStride + y yStride, so the base lies
            // off the buffer by the window's origin; formed in unsigned arithmetic, which
            // wraps. A yStride of 0 puts every row on the first.
            auto slice = [&](float* channel, double fill) {
                const uintptr_t base = reinterpret_cast<uintptr_t>(channel) -
                                       static_cast<uintptr_t>(window.min.x) * xStride -
                                       static_cast<uintptr_t>(window.min.y) * yStride;
                return Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(base), xStride, yStride, 1, 1,
                                  fill);
            };
            Imf::FrameBuffer buffer;
            if (grey) {
                buffer.insert("Y", slice(&first->red, 0.0));
            } else {
                buffer.insert("R", slice(&first->red, 0.0));
                buffer.insert("G", slice(&first->green, 0.0));
                buffer.insert("B", slice(&first->blue, 0.0));
            }
            buffer.insert("A", slice(&first->alpha, 1.0));
            return buffer;
        };
        // The whole file is decoded once into a single row (every row lands on it) before the
        // image is allocated: a damaged file fails there having taken one row of memory, not
        // the gigabytes its header can claim in a few kilobytes (a 30000 x 30000 window over
        // an offset table of chunks that are not there). A good file is decoded twice.
        std::vector<PixelFloat> row(static_cast<size_t>(w));
        file.setFrameBuffer(frameBuffer(row.data(), 0));
        file.readPixels(window.min.y, window.max.y);

        OwnedImage image(PixelDepth::DepthFloat, static_cast<int32_t>(w), static_cast<int32_t>(h));
        file.setFrameBuffer(
            frameBuffer(static_cast<PixelFloat*>(image.data()), xStride * static_cast<size_t>(w)));
        file.readPixels(window.min.y, window.max.y);

        for (int32_t y = 0; y < image.height(); ++y) {
            for (int32_t x = 0; x < image.width(); ++x) {
                PixelFloat& p = image.at<PixelFloat>(x, y);
                if (grey)
                    p.green = p.blue = p.red;
                // Straight colour for the effect. Where alpha is 0 the colour cannot be
                // recovered and is kept as stored.
                if (p.alpha != 0.0f) {
                    p.red /= p.alpha;
                    p.green /= p.alpha;
                    p.blue /= p.alpha;
                }
            }
        }
        return image;
    } catch (const RunError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw RunError("cannot read " + quoted(path) + ": out of memory");
    } catch (const std::exception& e) {
        throw RunError("cannot read " + quoted(path) + " as OpenEXR: " + e.what());
    }
}

void writeExr(const std::string& path, const OwnedImage& image) {
    OwnedImage pixels = convertDepth(image, PixelDepth::DepthFloat);
    // OpenEXR colour is premultiplied by alpha.
    for (int32_t y = 0; y < pixels.height(); ++y) {
        for (int32_t x = 0; x < pixels.width(); ++x) {
            PixelFloat& p = pixels.at<PixelFloat>(x, y);
            p.red *= p.alpha;
            p.green *= p.alpha;
            p.blue *= p.alpha;
        }
    }
    TempFile temp(path);
    temp.closeDescriptor();
    try {
        Imf::Header header(pixels.width(), pixels.height());
        header.compression() = Imf::ZIP_COMPRESSION;
        for (const char* name : {"R", "G", "B", "A"}) {
            header.channels().insert(name, Imf::Channel(Imf::FLOAT));
        }
        auto* first = static_cast<char*>(pixels.data());
        const size_t xStride = sizeof(PixelFloat);
        const size_t yStride = xStride * static_cast<size_t>(pixels.width());
        Imf::FrameBuffer buffer;
        buffer.insert(
            "A", Imf::Slice(Imf::FLOAT, first + offsetof(PixelFloat, alpha), xStride, yStride));
        buffer.insert("R",
                      Imf::Slice(Imf::FLOAT, first + offsetof(PixelFloat, red), xStride, yStride));
        buffer.insert(
            "G", Imf::Slice(Imf::FLOAT, first + offsetof(PixelFloat, green), xStride, yStride));
        buffer.insert("B",
                      Imf::Slice(Imf::FLOAT, first + offsetof(PixelFloat, blue), xStride, yStride));
        // The file is complete (its offset table written) when `out` is destroyed.
        Imf::OutputFile out(temp.tempName().c_str(), header);
        out.setFrameBuffer(buffer);
        out.writePixels(pixels.height());
    } catch (const std::exception& e) {
        throw RunError("cannot write " + quoted(path) + ": " + e.what());
    }
    temp.commit();
}

}  // namespace

std::optional<ImageFileType> fileTypeForName(const std::string& path) {
    const std::string ext = lowerExtension(path);
    if (ext == ".png")
        return ImageFileType::Png;
    if (ext == ".exr")
        return ImageFileType::Exr;
    return std::nullopt;
}

OwnedImage readImage(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw RunError("cannot open " + quoted(path) + ": " + std::strerror(errno));
    }
    struct Close {
        FILE* f;
        ~Close() { std::fclose(f); }
    } close{file};
    unsigned char magic[8] = {};
    const size_t got = std::fread(magic, 1, sizeof magic, file);
    if (std::ferror(file)) {
        throw RunError("cannot read " + quoted(path) + ": " + std::strerror(errno));
    }
    std::rewind(file);
    static const unsigned char PNG_MAGIC[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    static const unsigned char EXR_MAGIC[4] = {0x76, 0x2F, 0x31, 0x01};
    try {
        if (got == 8 && std::memcmp(magic, PNG_MAGIC, 8) == 0)
            return readPng(path, file);
        if (got >= 4 && std::memcmp(magic, EXR_MAGIC, 4) == 0)
            return readExr(path, file);
    } catch (const std::bad_alloc&) {
        throw RunError("cannot read " + quoted(path) + ": out of memory");
    }
    throw RunError("cannot read " + quoted(path) + ": not a PNG or OpenEXR file");
}

void writeImage(const std::string& path, const OwnedImage& image, ImageFileType type) {
    try {
        if (type == ImageFileType::Png) {
            writePng(path, image);
        } else {
            writeExr(path, image);
        }
    } catch (const std::bad_alloc&) {
        throw RunError("cannot write " + quoted(path) + ": out of memory");
    }
}

}  // namespace mst
