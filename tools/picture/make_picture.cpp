// make-picture: writes the picture that the screen saver carries inside its
// executable, a 256x256 image with 256 colours in the uncompressed "RIX3"
// layout (66,314 bytes).
//
// The picture is a soft, cloudy marble: near-whites and blues in the middle,
// purples, dark reds and browns around them and mottled greens towards the
// corners. It is made in three steps, all in integer arithmetic so that every
// machine and compiler writes the same bytes:
//
//  1. A height field. Each pixel's distance from the centre, measured after
//     the pixel has been pushed about by two layers of value noise (domain
//     warping), gives bent, swirling rings; a finer noise on top mottles them.
//     Every noise repeats with a period of 256 and the distance is taken
//     across the wrap, so the picture tiles without seams.
//  2. A colour ramp. The palette walks through a few key colours in unit
//     steps of the 6-bit colour cube, so neighbouring indices are neighbouring
//     colours and all 256 colours are distinct.
//  3. Equalisation. Pixels are ranked by height and the ranks split into 256
//     runs of 256 pixels, run n taking index n: every index is used, and
//     pixels of nearly the same height get nearly the same colour, so the
//     relief shading of neighbouring pixels stays soft.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace {

constexpr int Size = 256;
constexpr int PixelCount = Size * Size;
constexpr int Colours = 256;
constexpr std::size_t BlockBytes = 10 + 3 * Colours + PixelCount;  // 66,314

// Positions carry 8 fraction bits: one pixel is 256 units, the picture 65,536.
constexpr int FractionBits = 8;
constexpr std::int64_t Span = std::int64_t{Size} << FractionBits;

// ---- Value noise ------------------------------------------------------------

std::uint32_t Hash(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
    std::uint32_t h = seed * 0x9E3779B9u ^ x * 0x85EBCA6Bu ^ y * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

// A lattice value in -32768..32767.
std::int64_t Lattice(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
    return static_cast<std::int64_t>(Hash(x, y, seed) & 0xFFFFu) - 32768;
}

// t and the result in 0..65536: 3t^2 - 2t^3, flat at both ends so the
// lattice cells show no creases.
std::int64_t SmoothStep(std::int64_t t) {
    return (t * t * (3 * 65536 - 2 * t)) >> 32;
}

std::int64_t Lerp(std::int64_t a, std::int64_t b, std::int64_t t) {
    return a + (((b - a) * t) >> 16);
}

// Value noise with cells of 2^cellShift pixels, repeating every 256 pixels;
// x and y are positions in fixed point. Result in -32768..32767.
std::int64_t ValueNoise(std::int64_t x, std::int64_t y, int cellShift, std::uint32_t seed) {
    const int shift = cellShift + FractionBits;
    const std::uint32_t period = static_cast<std::uint32_t>(Size >> cellShift);
    const std::int64_t wrappedX = x & (Span - 1);
    const std::int64_t wrappedY = y & (Span - 1);
    const auto cellX = static_cast<std::uint32_t>(wrappedX >> shift);
    const auto cellY = static_cast<std::uint32_t>(wrappedY >> shift);
    const std::uint32_t nextX = (cellX + 1) % period;
    const std::uint32_t nextY = (cellY + 1) % period;
    const std::int64_t mask = (std::int64_t{1} << shift) - 1;
    const std::int64_t tx = SmoothStep((wrappedX & mask) << (16 - shift));
    const std::int64_t ty = SmoothStep((wrappedY & mask) << (16 - shift));
    const std::int64_t top = Lerp(Lattice(cellX, cellY, seed), Lattice(nextX, cellY, seed), tx);
    const std::int64_t bottom = Lerp(Lattice(cellX, nextY, seed), Lattice(nextX, nextY, seed), tx);
    return Lerp(top, bottom, ty);
}

// Octaves from cells of 2^coarsest pixels down to 2^finest, each half the
// weight of the one before. Result roughly in -32768..32767.
std::int64_t FractalNoise(std::int64_t x, std::int64_t y, int coarsest, int finest,
                          std::uint32_t seed) {
    std::int64_t sum = 0;
    std::int64_t weightSum = 0;
    std::int64_t weight = 256;
    for (int cell = coarsest; cell >= finest; --cell) {
        sum += ValueNoise(x, y, cell, seed + static_cast<std::uint32_t>(cell)) * weight;
        weightSum += weight;
        weight /= 2;
    }
    return sum / weightSum;
}

// ---- Height field -----------------------------------------------------------

std::int64_t SquareRoot(std::int64_t n) {
    std::int64_t root = 0;
    std::int64_t bit = std::int64_t{1} << 62;
    while (bit > n) {
        bit >>= 2;
    }
    while (bit != 0) {
        if (n >= root + bit) {
            n -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
        bit >>= 2;
    }
    return root;
}

// Offset from the centre after wrapping into the picture. A point pushed out
// over one edge comes back at the other, at the same distance.
std::int64_t FromCentre(std::int64_t position) {
    return (position & (Span - 1)) - Span / 2;
}

// Larger values lie further out: the rings run from the middle to the corners.
std::int64_t Height(int column, int row) {
    const std::int64_t x = (std::int64_t{column} << FractionBits) + (1 << (FractionBits - 1));
    const std::int64_t y = (std::int64_t{row} << FractionBits) + (1 << (FractionBits - 1));
    // Two rounds of warping, the first bending the second's sample points. A
    // full noise swing is 128 pixels: the first moves points by up to 32
    // pixels, the second by up to 64, and the mottle shifts a ring by about
    // 32 pixels' worth of distance.
    const std::int64_t bendX = x + FractalNoise(x, y, 6, 3, 101) / 4;
    const std::int64_t bendY = y + FractalNoise(x, y, 6, 3, 202) / 4;
    const std::int64_t warpX = x + FractalNoise(bendX, bendY, 6, 3, 303) / 2;
    const std::int64_t warpY = y + FractalNoise(bendX, bendY, 6, 3, 404) / 2;
    const std::int64_t dx = FromCentre(warpX);
    const std::int64_t dy = FromCentre(warpY);
    const std::int64_t distance = SquareRoot(dx * dx + dy * dy);
    const std::int64_t mottle = FractalNoise(x, y, 5, 1, 505);
    return distance * 4 + mottle / 2;
}

// ---- Palette ----------------------------------------------------------------

struct Colour {
    int red;
    int green;
    int blue;
    auto operator<=>(const Colour&) const = default;
};

// Key colours of the ramp in 6-bit components, each with the index it lands
// on. Index 0 is the middle of the picture, index 255 its corners. Between
// two keys the ramp needs at least as many unit steps as it has indices.
struct Key {
    int index;
    Colour colour;
};

constexpr std::array<Key, 11> Ramp{{
    {0, {54, 56, 58}},     // near-white
    {18, {40, 48, 58}},    // pale blue
    {70, {12, 22, 50}},    // blue
    {96, {18, 10, 36}},    // deep violet
    {116, {30, 6, 28}},    // purple
    {138, {26, 4, 8}},     // dark red
    {152, {22, 12, 4}},    // brown
    {178, {5, 2, 1}},      // near-black between the browns and the greens
    {196, {6, 18, 6}},     // dark green
    {224, {14, 34, 12}},   // green
    {255, {26, 48, 20}},   // light green
}};

int Component(const Colour& colour, int which) {
    return which == 0 ? colour.red : which == 1 ? colour.green : colour.blue;
}

void Step(Colour& colour, int which, int by) {
    (which == 0 ? colour.red : which == 1 ? colour.green : colour.blue) += by;
}

// The lattice points of a straight walk from one colour to another, one unit
// step of one component at a time, both ends included.
std::vector<Colour> Walk(const Colour& from, const Colour& to) {
    std::array<int, 3> length{};
    int total = 0;
    for (int c = 0; c < 3; ++c) {
        length[c] = std::abs(Component(to, c) - Component(from, c));
        total += length[c];
    }
    std::vector<Colour> points{from};
    std::array<int, 3> done{};
    Colour at = from;
    for (int step = 1; step <= total; ++step) {
        // Move the component that lags furthest behind the straight line.
        int best = -1;
        std::int64_t bestLag = 0;
        for (int c = 0; c < 3; ++c) {
            const std::int64_t lag =
                std::int64_t{length[c]} * step - std::int64_t{done[c]} * total;
            if (done[c] < length[c] && (best < 0 || lag > bestLag)) {
                best = c;
                bestLag = lag;
            }
        }
        Step(at, best, Component(to, best) > Component(from, best) ? 1 : -1);
        ++done[best];
        points.push_back(at);
    }
    return points;
}

std::array<Colour, Colours> BuildPalette() {
    std::array<Colour, Colours> palette{};
    for (std::size_t k = 0; k + 1 < Ramp.size(); ++k) {
        const std::vector<Colour> walk = Walk(Ramp[k].colour, Ramp[k + 1].colour);
        const int steps = static_cast<int>(walk.size()) - 1;
        const int indices = Ramp[k + 1].index - Ramp[k].index;
        if (steps < indices) {
            throw std::logic_error("colour ramp too short between two keys");
        }
        for (int i = 0; i <= indices; ++i) {
            palette[Ramp[k].index + i] = walk[(i * steps + indices / 2) / indices];
        }
    }
    const std::set<Colour> distinct(palette.begin(), palette.end());
    if (distinct.size() != palette.size()) {
        throw std::logic_error("colour ramp repeats a colour");
    }
    return palette;
}

// ---- Picture ----------------------------------------------------------------

// Palette index of every pixel: its height's rank, split into 256 equal runs.
// Ties in height are broken by position, so the order is total.
std::vector<std::uint8_t> BuildPixels() {
    std::vector<std::pair<std::int64_t, int>> ranked;
    ranked.reserve(PixelCount);
    for (int row = 0; row < Size; ++row) {
        for (int column = 0; column < Size; ++column) {
            ranked.emplace_back(Height(column, row), row * Size + column);
        }
    }
    std::sort(ranked.begin(), ranked.end());
    std::vector<std::uint8_t> pixels(PixelCount);
    for (int rank = 0; rank < PixelCount; ++rank) {
        pixels[ranked[rank].second] = static_cast<std::uint8_t>(rank / (PixelCount / Colours));
    }
    return pixels;
}

std::vector<std::uint8_t> BuildBlock() {
    std::vector<std::uint8_t> block{'R', 'I', 'X', '3'};
    for (int dimension : {Size, Size}) {
        block.push_back(static_cast<std::uint8_t>(dimension & 0xFF));
        block.push_back(static_cast<std::uint8_t>(dimension >> 8));
    }
    block.push_back(0xAF);  // palette type: 256 colours of 6-bit components
    block.push_back(0x00);  // storage type: plain bytes, no compression
    for (const Colour& colour : BuildPalette()) {
        block.push_back(static_cast<std::uint8_t>(colour.red));
        block.push_back(static_cast<std::uint8_t>(colour.green));
        block.push_back(static_cast<std::uint8_t>(colour.blue));
    }
    const std::vector<std::uint8_t> pixels = BuildPixels();
    block.insert(block.end(), pixels.begin(), pixels.end());
    return block;
}

// Writes beside the target and renames, so a failure never leaves a partial
// picture under the target's name.
bool WriteFile(const std::filesystem::path& target, const std::vector<std::uint8_t>& bytes) {
    std::filesystem::path temporary = target;
    temporary += ".partial";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            std::cerr << "make-picture: cannot write " << target.string() << "\n";
            return false;
        }
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::cerr << "make-picture: error writing " << target.string() << "\n";
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, target, error);
    if (error) {
        std::cerr << "make-picture: cannot create " << target.string() << ": "
                  << error.message() << "\n";
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '\0') {
        std::cerr << "usage: make-picture OUT.rix\n"
                     "Writes the embedded 256x256, 256-colour picture (RIX3 layout).\n";
        return 2;
    }
    std::vector<std::uint8_t> block;
    try {
        block = BuildBlock();
    } catch (const std::logic_error& error) {
        std::cerr << "make-picture: internal error: " << error.what() << "\n";
        return 1;
    }
    if (block.size() != BlockBytes) {
        std::cerr << "make-picture: internal error, picture is " << block.size() << " bytes\n";
        return 1;
    }
    return WriteFile(argv[1], block) ? 0 : 1;
}
