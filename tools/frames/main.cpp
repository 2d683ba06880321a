// glorp-frames: renders frames of the effect without any display, from the
// embedded picture or a picture file, and writes them as raw palette indices,
// indexed PNG files or one animated GIF.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "effect/effect.h"
#include "platform/api/linked_resources.h"
#include "tools/frames/frame_options.h"
#include "tools/frames/image_files.h"
#include "tools/frames/staged_file.h"

namespace {

// Where the picture sits among the program's resources: RT_RCDATA, 106.
constexpr unsigned PictureResourceType = 10;
constexpr unsigned PictureResourceId = 106;

// GIF delays are 16-bit counts of centiseconds.
constexpr unsigned MaxGifDelay = 65535;

int Fail(std::string message) {
    // Names from the command line may hold control characters; the message
    // stays on one line.
    for (char& c : message) {
        if (std::iscntrl(static_cast<unsigned char>(c))) {
            c = '?';
        }
    }
    std::fprintf(stderr, "glorp-frames: %s\n", message.c_str());
    return 2;
}

bool LoadEmbeddedPicture(std::vector<std::uint8_t>& block, std::string& error) {
    for (std::size_t i = 0; i < LinkedResourceCount; ++i) {
        const LinkedResource& resource = LinkedResources[i];
        if (resource.type == PictureResourceType && resource.id == PictureResourceId &&
            resource.size >= PictureBytes) {
            block.assign(resource.data, resource.data + PictureBytes);
            return true;
        }
    }
    error = "this program carries no embedded picture";
    return false;
}

// Reads the first PictureBytes of the file; anything after them is ignored.
bool LoadPictureFile(const std::string& path, std::vector<std::uint8_t>& block,
                     std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot open picture '" + path + "': " + std::strerror(errno);
        return false;
    }
    block.resize(PictureBytes);
    std::size_t got = std::fread(block.data(), 1, block.size(), file);
    int readError = std::ferror(file) ? errno : 0;
    std::fclose(file);
    if (readError != 0) {
        error = "cannot read picture '" + path + "': " + std::strerror(readError);
        return false;
    }
    if (got < PictureBytes) {
        error = "picture '" + path + "' has " + std::to_string(got) + " bytes; a picture has " +
                std::to_string(PictureBytes);
        return false;
    }
    return true;
}

bool PrepareEffect(const FrameOptions& options, std::string& error) {
    std::vector<std::uint8_t> block;
    bool loaded = options.picture.empty() ? LoadEmbeddedPicture(block, error)
                                          : LoadPictureFile(options.picture, block, error);
    if (!loaded) {
        return false;
    }
    // The block is always a whole picture here, so decoding cannot fail.
    DecodePicture(block.data(), block.size());
    BuildLightMap();
    BuildTexCoordMaps();
    BuildGradientTable();
    BuildShadeTable();
    PrepareRenderer();
    return true;
}

void RenderFrameNumber(const FrameOptions& options, unsigned k, std::vector<std::uint8_t>& frame) {
    RenderFrameAtScroll(frame.data(), ScrollForTime(FrameTime(options, k)));
}

bool WriteRaw(const FrameOptions& options, std::string& error) {
    StagedFile out(options.out);
    if (!out.Open(error)) {
        return false;
    }
    std::vector<std::uint8_t> frame(FrameBytes);
    for (unsigned k = 0; k < options.count; ++k) {
        RenderFrameNumber(options, k, frame);
        if (std::fwrite(frame.data(), 1, frame.size(), out.File()) != frame.size()) {
            error = "cannot write '" + options.out + "': " + std::strerror(errno);
            return false;
        }
    }
    return out.Close(error) && out.Commit(error);
}

bool WritePngs(const FrameOptions& options, std::string& error) {
    std::deque<StagedFile> files;
    std::vector<std::uint8_t> frame(FrameBytes);
    for (unsigned k = 0; k < options.count; ++k) {
        StagedFile& out = files.emplace_back(FrameFileName(options, k));
        if (!out.Open(error)) {
            return false;
        }
        RenderFrameNumber(options, k, frame);
        if (!WritePalettePng(out.File(), FrameWidth, FrameHeight, frame.data(), PaletteRgb,
                             error)) {
            error = "cannot write '" + out.Destination() + "': " + error;
            return false;
        }
        if (!out.Close(error)) {
            return false;
        }
    }
    return CommitAll(files, error);
}

bool WriteGif(const FrameOptions& options, std::string& error) {
    StagedFile out(options.out);
    if (!out.Open(error)) {
        return false;
    }
    std::string gifError;
    GifAnimationWriter gif;
    bool written = gif.Open(out.File(), FrameWidth, FrameHeight, PaletteRgb, gifError);
    unsigned delay = std::clamp(options.step / 10, 1u, MaxGifDelay);
    std::vector<std::uint8_t> frame(FrameBytes);
    for (unsigned k = 0; written && k < options.count; ++k) {
        RenderFrameNumber(options, k, frame);
        written = gif.AddFrame(frame.data(), delay, gifError);
    }
    if (!written || !gif.Finish(gifError)) {
        error = "cannot write '" + options.out + "': " + gifError;
        return false;
    }
    return out.Close(error) && out.Commit(error);
}

bool WriteFrames(const FrameOptions& options, std::string& error) {
    switch (options.format) {
    case FrameFormat::Png:
        return WritePngs(options, error);
    case FrameFormat::Gif:
        return WriteGif(options, error);
    case FrameFormat::Raw:
        return WriteRaw(options, error);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    FrameOptions options;
    std::string error;
    switch (ParseFrameOptions(argc - 1, argv + 1, options, error)) {
    case ParseOutcome::Help:
        std::fputs(FrameUsage, stdout);
        return 0;
    case ParseOutcome::Error:
        return Fail(error);
    case ParseOutcome::Run:
        break;
    }
    if (!PrepareEffect(options, error) || !WriteFrames(options, error)) {
        return Fail(error);
    }
    return 0;
}
