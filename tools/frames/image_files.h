// Palette pictures on disk: 8-bit indexed PNG files and looping animated GIF
// files, written from frames of palette indices, and read back again so that
// tests can compare what landed on disk with what was rendered.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

struct GifFileType;

// One picture of palette indices with its palette (red, green, blue per entry).
struct IndexedPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> paletteRgb;  // 3 bytes per entry
    std::vector<std::uint8_t> pixels;      // width * height, rows packed
};

// Writes one indexed PNG with a 256-entry palette to an open file.
// pixels holds width * height indices; paletteRgb holds 768 bytes.
// Returns false with a reason in error when libpng reports a failure.
bool WritePalettePng(std::FILE* file, int width, int height, const std::uint8_t* pixels,
                     const std::uint8_t* paletteRgb, std::string& error);

// Streams a looping animated GIF with one global 256-colour palette into an
// open file: open it, add every frame, then finish it. Frames are written as
// they come, so a long sequence needs no more memory than one frame.
class GifAnimationWriter {
public:
    GifAnimationWriter() = default;
    GifAnimationWriter(const GifAnimationWriter&) = delete;
    GifAnimationWriter& operator=(const GifAnimationWriter&) = delete;
    ~GifAnimationWriter();

    bool Open(std::FILE* file, int width, int height, const std::uint8_t* paletteRgb,
              std::string& error);
    // delayCentiseconds is how long the frame stays before the next one.
    // giflib masks the rows in place, hence the writable pixels.
    bool AddFrame(std::uint8_t* pixels, unsigned delayCentiseconds, std::string& error);
    bool Finish(std::string& error);

private:
    GifFileType* gif_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// Reads an 8-bit palette PNG back as it is stored: no expansion to RGB.
// Returns nothing when the file is missing, damaged or not an 8-bit palette
// PNG; error says why.
std::optional<IndexedPicture> ReadPalettePng(const std::string& path, std::string& error);

// An animated GIF as read back: the global palette and, per frame, the
// pixels of the whole screen and the frame's delay.
struct GifAnimation {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> paletteRgb;
    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<unsigned> delaysCentiseconds;
    bool loops = false;  // carries a looping application extension
};

// Reads every frame of a GIF whose frames each cover the whole screen and use
// the global palette, which is how GifAnimationWriter writes them.
std::optional<GifAnimation> ReadGifAnimation(const std::string& path, std::string& error);
