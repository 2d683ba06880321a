// Drives the glorp-frames program as a user would and inspects what it leaves
// on disk: exit status, messages, and the raw, PNG and GIF files read back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tools/frames/image_files.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr std::size_t FrameSize = 640 * 480;
constexpr std::size_t PictureSize = 10 + 768 + 65536;

using Bytes = std::vector<std::uint8_t>;

struct Outcome {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// A picture with noise for palette and pixels, so that frames at different
// scroll rows differ almost everywhere.
Bytes NoisePicture() {
    Bytes picture(PictureSize);
    std::uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<std::uint8_t>(state >> 24);
    };
    std::copy_n("RIX3", 4, picture.begin());
    for (std::size_t i = 10; i < picture.size(); ++i) {
        picture[i] = i < 778 ? next() & 63 : next();
    }
    return picture;
}

// The palette a picture shows: 6-bit components widened to 8 bits.
Bytes WidenedPalette(const Bytes& picture) {
    Bytes palette;
    for (std::size_t i = 10; i < 778; ++i) {
        unsigned s = picture[i] & 63u;
        palette.push_back(static_cast<std::uint8_t>(s * 4 + (s >> 4)));
    }
    return palette;
}

Bytes FrameOf(const Bytes& frames, std::size_t k) {
    auto begin = frames.begin() + static_cast<std::ptrdiff_t>(k * FrameSize);
    return Bytes(begin, begin + FrameSize);
}

class FramesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char work[] = "/tmp/glorp-frames-test-XXXXXX";
        char capture[] = "/tmp/glorp-frames-capture-XXXXXX";
        ASSERT_NE(mkdtemp(work), nullptr);
        ASSERT_NE(mkdtemp(capture), nullptr);
        work_ = work;
        capture_ = capture;
        picture_ = NoisePicture();
        WriteBytes(Path("picture.rix"), picture_);
    }

    void TearDown() override {
        fs::remove_all(work_);
        fs::remove_all(capture_);
    }

    std::string Path(const std::string& name) const { return (work_ / name).string(); }

    // Names in the working folder, recursively.
    std::set<std::string> Listing() const {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(work_)) {
            names.insert(fs::relative(entry.path(), work_).string());
        }
        return names;
    }

    // Starts glorp-frames; an argument starting with "@/" names a file in the
    // working folder. Output and messages are captured outside that folder.
    pid_t Start(std::vector<std::string> args) const {
        for (std::string& arg : args) {
            if (arg.starts_with("@/")) {
                arg = Path(arg.substr(2));
            }
        }
        args.insert(args.begin(), GLORP_FRAMES_PROGRAM);
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        std::string outPath = (capture_ / "stdout").string();
        std::string errPath = (capture_ / "stderr").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << argv[0];
            return -1;
        }
        return pid;
    }

    // What the program reported, from its wait status.
    Outcome Collect(int status) const {
        Outcome outcome;
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        Bytes out = ReadBytes(capture_ / "stdout");
        Bytes err = ReadBytes(capture_ / "stderr");
        outcome.out.assign(out.begin(), out.end());
        outcome.err.assign(err.begin(), err.end());
        return outcome;
    }

    Outcome Frames(std::vector<std::string> args) const {
        pid_t pid = Start(std::move(args));
        int status = 0;
        if (pid < 0 || waitpid(pid, &status, 0) != pid) {
            return {};
        }
        return Collect(status);
    }

    // Runs glorp-frames expecting success and returns the raw file it wrote.
    Bytes RawFrames(std::vector<std::string> args) const {
        std::string out = Path("frames.raw");
        args.insert(args.end(), {"--out", out});
        Outcome outcome = Frames(args);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        Bytes frames = ReadBytes(out);
        fs::remove(out);
        return frames;
    }

    // The single frame at a scroll row, the reference the others are held to.
    // Each run builds every table afresh, so a test asks only once per row.
    const Bytes& RawAtScroll(unsigned scroll) const {
        auto [frame, added] = scrollFrames_.try_emplace(scroll);
        if (added) {
            frame->second =
                RawFrames({"--picture", "@/picture.rix", "--scroll", std::to_string(scroll)});
        }
        return frame->second;
    }

    fs::path work_;
    fs::path capture_;
    Bytes picture_;
    mutable std::map<unsigned, Bytes> scrollFrames_;
};

struct BadCase {
    const char* name;
    std::vector<std::string> args;
};

TEST_F(FramesTest, BadCommandLinesFailWithOneLineAndLeaveNoFile) {
    Bytes shortPicture(picture_.begin(), picture_.end() - 1);
    WriteBytes(Path("short.rix"), shortPicture);
    fs::create_directory(Path("folder"));
    const std::set<std::string> before = Listing();
    const std::vector<std::string> good = {"--picture", "@/picture.rix"};

    const BadCase cases[] = {
        {"unknown option", {"--bogus", "--out", "@/o.raw"}},
        {"stray argument", {"extra", "--out", "@/o.raw"}},
        {"value missing at the end", {"--out", "@/o.raw", "--scroll"}},
        {"value missing before an option", {"--scroll", "--out", "@/o.raw"}},
        {"option given twice", {"--scroll", "1", "--scroll", "2", "--out", "@/o.raw"}},
        {"scroll past the last row", {"--scroll", "480", "--out", "@/o.raw"}},
        {"negative scroll", {"--scroll", "-1", "--out", "@/o.raw"}},
        {"trailing junk", {"--scroll", "12x", "--out", "@/o.raw"}},
        {"leading space", {"--scroll", " 12", "--out", "@/o.raw"}},
        {"plus sign", {"--scroll", "+12", "--out", "@/o.raw"}},
        {"empty number", {"--scroll", "", "--out", "@/o.raw"}},
        {"time past 32 bits", {"--time", "4294967296", "--out", "@/o.raw"}},
        {"time far past 64 bits", {"--time", "123456789012345678901234", "--out", "@/o.raw"}},
        {"negative time", {"--time", "-5", "--out", "@/o.raw"}},
        {"hexadecimal time", {"--time", "0x10", "--out", "@/o.raw"}},
        {"scroll and time together", {"--scroll", "1", "--time", "10", "--out", "@/o.raw"}},
        {"no frames", {"--count", "0", "--out", "@/o.raw"}},
        {"too many frames", {"--count", "4801", "--out", "@/o.raw"}},
        {"fractional step", {"--step", "1.5", "--out", "@/o.raw"}},
        {"unknown format", {"--format", "jpeg", "--out", "@/o.raw"}},
        {"unknown extension", {"--out", "@/o.jpg"}},
        {"no extension", {"--out", "@/o"}},
        {"no output", {"--scroll", "3"}},
        {"output folder missing", {"--out", "@/missing/o.raw"}},
        {"output is a folder", {"--format", "raw", "--out", "@/folder"}},
        {"picture missing", {"--picture", "@/absent.rix", "--out", "@/o.raw"}},
        {"picture one byte short", {"--picture", "@/short.rix", "--out", "@/o.raw"}},
        {"picture is a folder", {"--picture", "@/folder", "--out", "@/o.raw"}},
        {"PNG sequence without a field", {"--count", "2", "--out", "@/f.png"}},
        {"two fields", {"--count", "2", "--out", "@/f-%d-%d.png"}},
        {"string field", {"--out", "@/f-%s.png"}},
        {"hexadecimal field", {"--out", "@/f-%x.png"}},
        {"width without zero", {"--out", "@/f-%3d.png"}},
        {"zero width", {"--out", "@/f-%0d.png"}},
        {"left-aligned field", {"--out", "@/f-%-3d.png"}},
        {"percent at the end", {"--format", "png", "--out", "@/f-%"}},
    };
    for (const BadCase& bad : cases) {
        SCOPED_TRACE(bad.name);
        std::vector<std::string> args = bad.args;
        if (std::find(args.begin(), args.end(), "--picture") == args.end()) {
            args.insert(args.begin(), good.begin(), good.end());
        }
        Outcome outcome = Frames(args);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_EQ(outcome.out, "");
        EXPECT_TRUE(outcome.err.starts_with("glorp-frames: ")) << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
        EXPECT_TRUE(outcome.err.ends_with("\n")) << outcome.err;
        EXPECT_EQ(Listing(), before);
    }
}

TEST_F(FramesTest, ControlCharactersInNamesStayOffTheMessageLines) {
    Outcome outcome = Frames({"--picture", "@/absent\nfile.rix", "--out", "@/o.raw"});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
}

TEST_F(FramesTest, HelpPrintsUsageAndWritesNothing) {
    const std::set<std::string> before = Listing();
    Outcome outcome = Frames({"--out", "@/o.raw", "--help"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_NE(outcome.out.find("--out FILE"), std::string::npos);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(Listing(), before);
}

TEST_F(FramesTest, PipeIsWrittenInPlaceNotReplaced) {
    std::string pipe = Path("pipe.raw");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // Open for reading and writing so that neither side waits for the other
    // to open; the frames are drained while the program runs.
    int reader = open(pipe.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    pid_t pid = Start({"--picture", "@/picture.rix", "--count", "2", "--out", "@/pipe.raw"});
    ASSERT_GT(pid, 0);
    std::size_t received = 0;
    int status = 0;
    bool running = true;
    while (running) {
        running = waitpid(pid, &status, WNOHANG) == 0;
        char buffer[65536];
        ssize_t got = 0;
        while ((got = read(reader, buffer, sizeof buffer)) > 0) {
            received += static_cast<std::size_t>(got);
        }
        if (running) {
            usleep(1000);
        }
    }
    close(reader);
    Outcome outcome = Collect(status);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(received, 2 * FrameSize);
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_EQ(Listing(), (std::set<std::string>{"picture.rix", "pipe.raw"}));
}

TEST_F(FramesTest, TimeGivesTheScrollOfItsTenthsOfSecond) {
    const std::uint32_t times[] = {9, 4790, 4800, 123456, 4294967295u};
    for (std::uint32_t time : times) {
        SCOPED_TRACE(time);
        Bytes byTime = RawFrames({"--picture", "@/picture.rix", "--time", std::to_string(time)});
        ASSERT_EQ(byTime.size(), FrameSize);
        EXPECT_EQ(byTime, RawAtScroll(time / 10 % 480));
    }
}

struct SequenceCase {
    std::vector<std::string> args;
    std::vector<unsigned> scrolls;  // of the frames, in order
};

TEST_F(FramesTest, SequenceFramesAdvanceByTheStep) {
    const SequenceCase cases[] = {
        {{"--scroll", "478", "--count", "3"}, {478, 479, 0}},
        {{"--time", "15", "--count", "3", "--step", "25"}, {1, 4, 6}},
        {{"--time", "4294967290", "--count", "3"}, {409, 0, 1}},  // the clock wraps
    };
    for (const SequenceCase& sequence : cases) {
        SCOPED_TRACE(::testing::PrintToString(sequence.args));
        std::vector<std::string> args = {"--picture", "@/picture.rix", "--format", "raw"};
        args.insert(args.end(), sequence.args.begin(), sequence.args.end());
        Bytes frames = RawFrames(args);
        ASSERT_EQ(frames.size(), sequence.scrolls.size() * FrameSize);
        for (std::size_t k = 0; k < sequence.scrolls.size(); ++k) {
            EXPECT_EQ(FrameOf(frames, k), RawAtScroll(sequence.scrolls[k])) << "frame " << k;
        }
    }
}

TEST_F(FramesTest, NoiseFramesDifferFromRowToRow) {
    // Guards the sequence tests above against a picture that would make every
    // frame alike.
    EXPECT_NE(RawAtScroll(0), RawAtScroll(1));
}

TEST_F(FramesTest, EmbeddedPictureIsTheResourcePicture) {
    Bytes embedded = RawFrames({"--scroll", "100"});
    ASSERT_EQ(embedded.size(), FrameSize);
    EXPECT_EQ(embedded, RawFrames({"--picture", GLORP_PICTURE_FILE, "--scroll", "100"}));
}

TEST_F(FramesTest, PngHoldsThePaletteAndTheRawIndices) {
    Outcome outcome = Frames({"--picture", "@/picture.rix", "--scroll", "7", "--out", "@/f.PNG"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    std::string error;
    std::optional<IndexedPicture> png = ReadPalettePng(Path("f.PNG"), error);
    ASSERT_TRUE(png) << error;
    EXPECT_EQ(png->width, 640);
    EXPECT_EQ(png->height, 480);
    EXPECT_EQ(png->paletteRgb, WidenedPalette(picture_));
    EXPECT_EQ(png->pixels, RawAtScroll(7));
}

TEST_F(FramesTest, PngSequenceWritesNumberedFilesOnly) {
    const std::vector<std::string> args = {"--picture", "@/picture.rix", "--scroll", "10",
                                           "--count", "3", "--step", "20"};
    Bytes raw = RawFrames(args);
    std::vector<std::string> pngArgs = args;
    pngArgs.insert(pngArgs.end(), {"--out", "@/f%%-%02d.png"});
    Outcome outcome = Frames(pngArgs);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(Listing(), (std::set<std::string>{"picture.rix", "f%-00.png", "f%-01.png",
                                                "f%-02.png"}));
    for (unsigned k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        std::string error;
        std::optional<IndexedPicture> png =
            ReadPalettePng(Path("f%-0" + std::to_string(k) + ".png"), error);
        ASSERT_TRUE(png) << error;
        EXPECT_EQ(png->pixels, FrameOf(raw, k));
    }
}

TEST_F(FramesTest, GifLoopsOverEveryFrameWithTheStepAsDelay) {
    const std::vector<std::string> args = {"--picture", "@/picture.rix", "--time", "4000",
                                           "--count", "4", "--step", "250"};
    Bytes raw = RawFrames(args);
    std::vector<std::string> gifArgs = args;
    gifArgs.insert(gifArgs.end(), {"--out", "@/a.gif"});
    Outcome outcome = Frames(gifArgs);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(Listing(), (std::set<std::string>{"picture.rix", "a.gif"}));
    std::string error;
    std::optional<GifAnimation> gif = ReadGifAnimation(Path("a.gif"), error);
    ASSERT_TRUE(gif) << error;
    EXPECT_EQ(gif->width, 640);
    EXPECT_EQ(gif->height, 480);
    EXPECT_TRUE(gif->loops);
    EXPECT_EQ(gif->paletteRgb, WidenedPalette(picture_));
    EXPECT_EQ(gif->delaysCentiseconds, (std::vector<unsigned>{25, 25, 25, 25}));
    ASSERT_EQ(gif->frames.size(), 4u);
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(gif->frames[k], FrameOf(raw, k)) << "frame " << k;
    }
}

TEST_F(FramesTest, GifDelayIsAtLeastOneCentisecondAndFitsSixteenBits) {
    const std::pair<const char*, unsigned> steps[] = {
        {"0", 1}, {"19", 1}, {"20", 2}, {"4294967295", 65535}};
    for (const auto& [step, delay] : steps) {
        SCOPED_TRACE(step);
        Outcome outcome = Frames({"--picture", "@/picture.rix", "--count", "2", "--step", step,
                                  "--out", "@/d.gif"});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        std::string error;
        std::optional<GifAnimation> gif = ReadGifAnimation(Path("d.gif"), error);
        ASSERT_TRUE(gif) << error;
        EXPECT_EQ(gif->delaysCentiseconds, (std::vector<unsigned>{delay, delay}));
    }
}

}  // namespace
