// Every figure of the effect beside the straightforward version it replaced,
// measured in the same run: "<figure>/ours" and "<figure>/baseline".
// bench/run.sh turns the pairs into a table of ratios.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "bench/baseline_effect.h"
#include "effect/effect.h"

namespace {

const std::vector<std::uint8_t>& Picture()
{
    static const std::vector<std::uint8_t> bytes = [] {
        std::ifstream file(GLORP_PICTURE_FILE, std::ios::binary);
        std::vector<std::uint8_t> read{std::istreambuf_iterator<char>(file), {}};
        if (read.size() < PictureBytes) {
            std::fprintf(stderr, "glorp-bench: cannot read the picture %s\n", GLORP_PICTURE_FILE);
            std::exit(1);
        }
        return read;
    }();
    return bytes;
}

// Static storage like the program's own tables, so both sides meet the same
// kind of memory.
baseline::Tables& Baseline()
{
    static baseline::Tables tables;
    return tables;
}

// ---- The steps of start-up, each on its own and all together ----

void DecodeOurs()
{
    DecodePicture(Picture().data(), Picture().size());
}

void DecodeBaseline()
{
    baseline::DecodePicture(Picture().data(), Picture().size(), Baseline());
}

void StartUpOurs()
{
    DecodeOurs();
    BuildLightMap();
    BuildTexCoordMaps();
    BuildGradientTable();
    BuildShadeTable();
}

void StartUpBaseline()
{
    DecodeBaseline();
    baseline::BuildLightMap(Baseline());
    baseline::BuildTexCoordMaps(Baseline());
    baseline::BuildGradientTable(Baseline());
    baseline::BuildShadeTable(Baseline());
}

template <typename Step>
void Measure(benchmark::State& state, Step step)
{
    for (auto _ : state) {
        step();
        benchmark::ClobberMemory();
    }
}

// ---- Frames, at a scroll that moves on every iteration ----

void FrameOurs(benchmark::State& state)
{
    StartUpOurs();
    PrepareRenderer();
    std::vector<std::uint8_t> target(FrameBytes);
    unsigned scroll = 0;
    for (auto _ : state) {
        RenderFrameAtScroll(target.data(), scroll);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
        scroll = (scroll + 1) % FrameHeight;
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(FrameBytes));
}

void FrameBaseline(benchmark::State& state)
{
    StartUpBaseline();
    std::vector<std::uint8_t> target(FrameBytes);
    unsigned scroll = 0;
    for (auto _ : state) {
        baseline::RenderFrameAtScroll(Baseline(), target.data(), scroll);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
        scroll = (scroll + 1) % FrameHeight;
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(FrameBytes));
}

void Register(const char* name, void (*ours)(), void (*theirs)())
{
    benchmark::RegisterBenchmark((std::string(name) + "/ours").c_str(),
                                 [ours](benchmark::State& state) { Measure(state, ours); })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string(name) + "/baseline").c_str(),
                                 [theirs](benchmark::State& state) { Measure(state, theirs); })
        ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::RegisterBenchmark("Frame/ours", FrameOurs)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Frame/baseline", FrameBaseline)->Unit(benchmark::kMillisecond);
    Register("Decode", DecodeOurs, DecodeBaseline);
    Register("LightMap", BuildLightMap, [] { baseline::BuildLightMap(Baseline()); });
    Register("TexCoordMaps", BuildTexCoordMaps, [] { baseline::BuildTexCoordMaps(Baseline()); });
    Register("GradientTable", BuildGradientTable,
             [] { baseline::BuildGradientTable(Baseline()); });
    Register("ShadeTable", BuildShadeTable, [] { baseline::BuildShadeTable(Baseline()); });
    Register("StartUp", StartUpOurs, StartUpBaseline);

    // Every case starts from the decoded picture, whichever ones a filter
    // picks: the colour tables' cost depends on the palette.
    StartUpOurs();
    StartUpBaseline();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
