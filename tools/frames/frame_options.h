// The command line of glorp-frames and the names of the files it writes.
#pragma once

#include <cstdint>
#include <string>

enum class FrameFormat { Png, Gif, Raw };

// The name of the output file, or with a frame-number field the names of
// numbered files, such as "frame-%03d.png": prefix, number, suffix.
struct FrameNamePattern {
    std::string prefix;
    std::string suffix;
    bool hasField = false;
    unsigned width = 0;  // zero-padded to this many digits; 0 for plain %d
};

struct FrameOptions {
    std::string picture;  // empty: the embedded picture
    std::uint32_t firstTime = 0;  // clock reading of frame 0, in milliseconds
    std::uint32_t step = 10;      // milliseconds from one frame to the next
    unsigned count = 1;
    FrameFormat format = FrameFormat::Raw;
    std::string out;       // as given
    FrameNamePattern outName;  // with a field, each PNG frame has a file of its own
};

// A full cycle of the scroll at a 1 ms step; more frames than that only
// repeat earlier ones.
inline constexpr unsigned MaxFrameCount = 4800;

enum class ParseOutcome { Run, Help, Error };

// Parses the arguments after the program name. On Error, error holds a
// one-line reason.
ParseOutcome ParseFrameOptions(int argc, const char* const* argv, FrameOptions& options,
                               std::string& error);

// The file that frame k goes to.
std::string FrameFileName(const FrameOptions& options, unsigned k);

// The clock reading of frame k: the first time plus k steps, wrapping like
// the 32-bit millisecond clock.
std::uint32_t FrameTime(const FrameOptions& options, unsigned k);

extern const char FrameUsage[];
