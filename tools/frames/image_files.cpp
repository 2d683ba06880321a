#include "tools/frames/image_files.h"

#include <gif_lib.h>
#include <png.h>

#include <cstring>
#include <memory>

namespace {

constexpr int PaletteEntries = 256;

// Pictures larger than this are not ours; refusing them keeps a damaged
// header from asking for gigabytes.
constexpr std::size_t MaxPixels = std::size_t{1} << 26;

// libpng reports errors by calling this and never returning; the message goes
// to the string handed over as the error pointer.
[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Only trivial locals live in the functions that call setjmp, so the jump
// back from OnPngError skips no destructor and clobbers nothing read later.
bool ReadPngStream(std::FILE* file, IndexedPicture& picture, std::string& error) {
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &error, OnPngError, OnPngWarning);
    if (png == nullptr) {
        error = "out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        if (error.empty()) {
            error = "out of memory";
        }
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr,
                 nullptr);
    png_colorp colors = nullptr;
    int colorCount = 0;
    if (colorType != PNG_COLOR_TYPE_PALETTE || bitDepth != 8 ||
        interlace != PNG_INTERLACE_NONE ||
        png_get_PLTE(png, info, &colors, &colorCount) == 0 ||
        std::size_t{width} * height > MaxPixels) {
        png_destroy_read_struct(&png, &info, nullptr);
        error = "not an 8-bit palette PNG";
        return false;
    }
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.paletteRgb.resize(static_cast<std::size_t>(colorCount) * 3);
    for (int i = 0; i < colorCount; ++i) {
        picture.paletteRgb[3 * i] = colors[i].red;
        picture.paletteRgb[3 * i + 1] = colors[i].green;
        picture.paletteRgb[3 * i + 2] = colors[i].blue;
    }
    picture.pixels.resize(std::size_t{width} * height);
    for (png_uint_32 y = 0; y < height; ++y) {
        png_read_row(png, picture.pixels.data() + std::size_t{y} * width, nullptr);
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string GifErrorText(int code) {
    const char* text = GifErrorString(code);
    return text != nullptr ? text : "GIF error " + std::to_string(code);
}

int WriteGifBytes(GifFileType* gif, const GifByteType* bytes, int length) {
    auto* file = static_cast<std::FILE*>(gif->UserData);
    return static_cast<int>(std::fwrite(bytes, 1, static_cast<std::size_t>(length), file));
}

// The application extension that tells viewers to repeat the animation
// forever (loop count 0).
bool PutLoopExtension(GifFileType* gif) {
    static const char application[] = "NETSCAPE2.0";
    static const GifByteType loopForever[] = {1, 0, 0};
    return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
           EGifPutExtensionBlock(gif, 11, application) == GIF_OK &&
           EGifPutExtensionBlock(gif, sizeof loopForever, loopForever) == GIF_OK &&
           EGifPutExtensionTrailer(gif) == GIF_OK;
}

bool HasLoopExtension(const SavedImage& image) {
    for (int i = 0; i + 1 < image.ExtensionBlockCount; ++i) {
        const ExtensionBlock& block = image.ExtensionBlocks[i];
        const ExtensionBlock& data = image.ExtensionBlocks[i + 1];
        if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
            std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0 &&
            data.Function == CONTINUE_EXT_FUNC_CODE && data.ByteCount >= 1 &&
            data.Bytes[0] == 1) {
            return true;
        }
    }
    return false;
}

struct GifReaderCloser {
    void operator()(GifFileType* gif) const {
        int code = 0;
        DGifCloseFile(gif, &code);
    }
};

}  // namespace

bool WritePalettePng(std::FILE* file, int width, int height, const std::uint8_t* pixels,
                     const std::uint8_t* paletteRgb, std::string& error) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, OnPngError, OnPngWarning);
    if (png == nullptr) {
        error = "out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        if (error.empty()) {
            error = "out of memory";
        }
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_color colors[PaletteEntries];
    for (int i = 0; i < PaletteEntries; ++i) {
        colors[i] = {paletteRgb[3 * i], paletteRgb[3 * i + 1], paletteRgb[3 * i + 2]};
    }
    png_set_PLTE(png, info, colors, PaletteEntries);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        png_write_row(png, pixels + static_cast<std::size_t>(y) * width);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::optional<IndexedPicture> ReadPalettePng(const std::string& path, std::string& error) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = "cannot open " + path;
        return std::nullopt;
    }
    IndexedPicture picture;
    if (!ReadPngStream(file.get(), picture, error)) {
        return std::nullopt;
    }
    return picture;
}

GifAnimationWriter::~GifAnimationWriter() {
    if (gif_ != nullptr) {
        int code = 0;
        EGifCloseFile(gif_, &code);
    }
}

bool GifAnimationWriter::Open(std::FILE* file, int width, int height,
                              const std::uint8_t* paletteRgb, std::string& error) {
    int code = 0;
    gif_ = EGifOpen(file, WriteGifBytes, &code);
    if (gif_ == nullptr) {
        error = GifErrorText(code);
        return false;
    }
    width_ = width;
    height_ = height;
    EGifSetGifVersion(gif_, true);
    GifColorType colors[PaletteEntries];
    for (int i = 0; i < PaletteEntries; ++i) {
        colors[i] = {paletteRgb[3 * i], paletteRgb[3 * i + 1], paletteRgb[3 * i + 2]};
    }
    ColorMapObject* map = GifMakeMapObject(PaletteEntries, colors);
    if (map == nullptr) {
        error = "out of memory";
        return false;
    }
    // The screen description keeps a copy of the palette.
    bool written = EGifPutScreenDesc(gif_, width, height, 8, 0, map) == GIF_OK &&
                   PutLoopExtension(gif_);
    GifFreeMapObject(map);
    if (!written) {
        error = GifErrorText(gif_->Error);
    }
    return written;
}

bool GifAnimationWriter::AddFrame(std::uint8_t* pixels, unsigned delayCentiseconds,
                                  std::string& error) {
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.UserInputFlag = false;
    control.DelayTime = static_cast<int>(delayCentiseconds);
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    bool written =
        EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension) == GIF_OK &&
        EGifPutImageDesc(gif_, 0, 0, width_, height_, false, nullptr) == GIF_OK;
    for (int y = 0; written && y < height_; ++y) {
        written = EGifPutLine(gif_, pixels + static_cast<std::size_t>(y) * width_, width_) ==
                  GIF_OK;
    }
    if (!written) {
        error = GifErrorText(gif_->Error);
    }
    return written;
}

bool GifAnimationWriter::Finish(std::string& error) {
    int code = 0;
    bool closed = EGifCloseFile(gif_, &code) == GIF_OK;
    gif_ = nullptr;
    if (!closed) {
        error = GifErrorText(code);
    }
    return closed;
}

std::optional<GifAnimation> ReadGifAnimation(const std::string& path, std::string& error) {
    int code = 0;
    std::unique_ptr<GifFileType, GifReaderCloser> gif(DGifOpenFileName(path.c_str(), &code));
    if (!gif) {
        error = GifErrorText(code);
        return std::nullopt;
    }
    if (DGifSlurp(gif.get()) != GIF_OK) {
        error = GifErrorText(gif->Error);
        return std::nullopt;
    }
    const ColorMapObject* map = gif->SColorMap;
    if (map == nullptr) {
        error = "no global palette";
        return std::nullopt;
    }
    GifAnimation animation;
    animation.width = gif->SWidth;
    animation.height = gif->SHeight;
    for (int i = 0; i < map->ColorCount; ++i) {
        animation.paletteRgb.insert(animation.paletteRgb.end(),
                                    {map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
    }
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        const GifImageDesc& desc = image.ImageDesc;
        if (desc.Left != 0 || desc.Top != 0 || desc.Width != gif->SWidth ||
            desc.Height != gif->SHeight || desc.ColorMap != nullptr) {
            error = "frame " + std::to_string(i) + " does not cover the screen with its palette";
            return std::nullopt;
        }
        std::size_t size = static_cast<std::size_t>(desc.Width) * desc.Height;
        animation.frames.emplace_back(image.RasterBits, image.RasterBits + size);
        GraphicsControlBlock control{};
        DGifSavedExtensionToGCB(gif.get(), i, &control);
        animation.delaysCentiseconds.push_back(static_cast<unsigned>(control.DelayTime));
    }
    animation.loops = gif->ImageCount > 0 && HasLoopExtension(gif->SavedImages[0]);
    return animation;
}
