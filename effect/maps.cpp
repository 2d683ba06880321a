// The light map and the two texture-coordinate maps. Both are computed from
// constants alone, so every run produces the same bytes.
#include <bit>
#include <cmath>
#include <cstring>

#include "effect/effect.h"

namespace {

// ---- Light map ----------------------------------------------------------

constexpr int LightCentre = LightMapSize / 2;

// Beyond a squared distance of 128 * 128 steps the fall-off 2 * sqrt(d2)
// reaches 255 and the light is 0.
constexpr int LitDistanceSquared = 128 * 128;

// A cell lies 4/5 of a step per cell from the centre, truncated toward zero,
// so rows and columns 481..799 are the only ones within 127 steps.
constexpr int LitFirst = LightCentre - 159;
constexpr int LitLast = LightCentre + 159;
constexpr int LitWidth = LitLast - LitFirst + 1;

int StepsFromCentre(int cell)
{
    return 512 * (cell - LightCentre) / LightCentre;  // truncates toward zero
}

// Light for every squared distance inside the disc: 255 - floor(2 sqrt(d2)),
// which is 255 - isqrt(4 d2). The fall-off is v exactly for d2 from
// ceil(v^2 / 4) up to ceil((v + 1)^2 / 4), so the table is filled by runs
// with no square root at all.
void FillGlow(std::uint8_t (&glow)[LitDistanceSquared])
{
    for (int fallOff = 0; fallOff < 256; ++fallOff) {
        const int from = (fallOff * fallOff + 3) / 4;
        const int to = ((fallOff + 1) * (fallOff + 1) + 3) / 4;
        std::memset(glow + from, 255 - fallOff, static_cast<std::size_t>(to - from));
    }
}

// ---- Texture-coordinate maps --------------------------------------------

// The angle unit of the warp: the float one step below the float nearest to
// pi / 4096. The maps depend on this exact value (and on truncation below):
// a rounder pi / 4096 changes dozens of bytes.
const float AngleUnit = std::bit_cast<float>(std::uint32_t{0x3A490FDA});

double Angle(std::int32_t n)
{
    return static_cast<double>(n) * static_cast<double>(AngleUnit);  // exact in double
}

// 65536 * f(n * unit), truncated toward zero.
std::int32_t SineTerm(std::int32_t n)
{
    return static_cast<std::int32_t>(std::sin(Angle(n)) * 65536.0);
}

std::int32_t CosineTerm(std::int32_t n)
{
    return static_cast<std::int32_t>(std::cos(Angle(n)) * 65536.0);
}

// Phases: row phase b = 4096 i / 480 up to 4087, column phase d = 4096 j / 640
// up to 4089. A wave term shifted right by 7 moves a phase by at most 512,
// by 8 at most 256. Every cosine argument is even, 2k, with k one of
//   P = b + (t1 >> 7), 3P, Q = 7b + (t1 >> 8), R = d + (t2 >> 7), 4R,
//   Z = 7d + (t2 >> 7).
constexpr std::int32_t MaxRowPhase = 4096 * (FrameHeight - 1) / FrameHeight;
constexpr std::int32_t MaxColumnPhase = 4096 * (FrameWidth - 1) / FrameWidth;
constexpr std::int32_t MinP = -512;
constexpr std::int32_t MaxP = MaxRowPhase + 512;
constexpr std::int32_t MinR = -512;
constexpr std::int32_t MaxR = MaxColumnPhase + 512;
constexpr std::int32_t MinK = 4 * MinR;
constexpr std::int32_t MaxK = 7 * MaxColumnPhase + 512;
static_assert(MaxK >= 3 * MaxP && MaxK >= 4 * MaxR && MaxK >= 7 * MaxRowPhase + 256);
static_assert(MinK <= 3 * MinP);

// CosineTerm(2k) for every k in MinK..MaxK, at index k - MinK.
std::int32_t EvenCosines[MaxK - MinK + 1];

std::int32_t EvenCosine(std::int32_t k)
{
    return EvenCosines[k - MinK];
}

// n = 256 h + l splits every angle into two exact ones, so
// cos(n u) = cos(256 h u) cos(l u) - sin(256 h u) sin(l u) from a few hundred
// library calls. The sum is within about 1e-10 of 65536 cos(n u) after
// scaling, as is the library's own cosine, so both truncate alike unless the
// value lies within that of an integer. Those few (quarter turns, n = 0) are
// taken from the library directly: every term equals CosineTerm(n).
void FillEvenCosines()
{
    constexpr int MinHigh = (2 * MinK) >> 8;
    constexpr int MaxHigh = (2 * MaxK) >> 8;
    double cosHigh[MaxHigh - MinHigh + 1];
    double sinHigh[MaxHigh - MinHigh + 1];
    double cosLow[256];
    double sinLow[256];
    for (int h = MinHigh; h <= MaxHigh; ++h) {
        cosHigh[h - MinHigh] = std::cos(Angle(256 * h));
        sinHigh[h - MinHigh] = std::sin(Angle(256 * h));
    }
    for (int l = 0; l < 256; l += 2) {  // every argument n is even
        cosLow[l] = std::cos(Angle(l));
        sinLow[l] = std::sin(Angle(l));
    }
    constexpr double NearInteger = 1e-6;
    for (std::int32_t k = MinK; k <= MaxK; ++k) {
        const std::int32_t n = 2 * k;
        const int h = (n >> 8) - MinHigh;
        const int l = n & 255;
        const double scaled =
            65536.0 * (cosHigh[h] * cosLow[l] - sinHigh[h] * sinLow[l]);
        const std::int32_t term = static_cast<std::int32_t>(scaled);
        const double fraction = std::fabs(scaled - term);  // exact
        EvenCosines[k - MinK] =
            fraction < NearInteger || fraction > 1.0 - NearInteger ? CosineTerm(n) : term;
    }
}

// The parts of the row value V and column value W that depend on P alone,
// and the shift t2 >> 7 that bends the column waves.
struct RowWave {
    std::int32_t v;     // 4 t2 + 2 t3
    std::int32_t w;     // t2 + 16 t3
    std::ptrdiff_t bend;
};

// The parts that depend on R alone.
struct ColumnWave {
    std::int32_t v;  // -4 t5 - 2 t6
    std::int32_t w;  // 2 t5 + 32 t6
};

RowWave RowWaves[MaxP - MinP + 1];
ColumnWave ColumnWaves[MaxR - MinR + 1];

void FillWaves()
{
    for (std::int32_t p = MinP; p <= MaxP; ++p) {
        const std::int32_t t2 = EvenCosine(p);
        const std::int32_t t3 = EvenCosine(3 * p);
        RowWaves[p - MinP] = {4 * t2 + 2 * t3, t2 + 16 * t3, t2 >> 7};
    }
    for (std::int32_t r = MinR; r <= MaxR; ++r) {
        const std::int32_t t5 = EvenCosine(r);
        const std::int32_t t6 = EvenCosine(4 * r);
        ColumnWaves[r - MinR] = {-4 * t5 - 2 * t6, 2 * t5 + 32 * t6};
    }
}

// What a screen column contributes to every row: the bends of the sine wave
// t1 across it, and the waves of its phase d, which the row's t2 bends in
// turn (R = d + bend, Z = 7 d + bend).
struct Column {
    std::ptrdiff_t bendP;  // t1 >> 7
    std::ptrdiff_t bendQ;  // t1 >> 8
    const ColumnWave* columnWaves;  // at R = d
    const std::int32_t* sevenfold;  // EvenCosine at Z = 7 d
};

void WarpRow(int i, const Column (&columns)[FrameWidth], std::uint8_t* rows,
             std::uint8_t* cols)
{
    const std::int32_t b = 4096 * i / FrameHeight;
    const RowWave* rowWaves = RowWaves + (b - MinP);          // at P = b
    const std::int32_t* sevenfold = EvenCosines + (7 * b - MinK);  // at Q = 7 b
    for (int j = 0; j < FrameWidth; ++j) {
        const Column& column = columns[j];
        const RowWave& rowWave = rowWaves[column.bendP];
        const std::int32_t t4 = sevenfold[column.bendQ];
        const ColumnWave& columnWave = column.columnWaves[rowWave.bend];
        const std::int32_t t7 = column.sevenfold[rowWave.bend];
        // V = 4 t2 + 2 t3 + t4 - 4 t5 - 2 t6 - t7
        // W = t2 + 16 t3 + 4 t4 + 2 t5 + 32 t6 + 8 t7
        const std::int32_t v = rowWave.v + t4 + columnWave.v - t7;
        const std::int32_t w = rowWave.w + 4 * t4 + columnWave.w + 8 * t7;
        // |v >> 13| <= 112 and |w >> 16| <= 63, so both fit a byte unclamped.
        rows[j] = static_cast<std::uint8_t>((v >> 13) + 128);
        cols[j] = static_cast<std::uint8_t>((w >> 16) + 64);
    }
}

}  // namespace

void BuildLightMap()
{
    std::uint8_t glow[LitDistanceSquared];
    FillGlow(glow);
    int squaredSteps[LitWidth];
    for (int k = 0; k < LitWidth; ++k) {
        const int steps = StepsFromCentre(LitFirst + k);
        squaredSteps[k] = steps * steps;
    }

    std::memset(LightMap, 0, LightMapBytes);
    for (int row = LitFirst; row <= LitLast; ++row) {
        std::uint8_t* out = LightMap + row * LightMapSize + LitFirst;
        // Rows 4/5 of a step apart share their distance now and then.
        if (row > LitFirst && StepsFromCentre(row) == StepsFromCentre(row - 1)) {
            std::memcpy(out, out - LightMapSize, LitWidth);
            continue;
        }
        const int dy = StepsFromCentre(row);
        for (int k = 0; k < LitWidth; ++k) {
            const int distanceSquared = squaredSteps[k] + dy * dy;
            out[k] = distanceSquared < LitDistanceSquared ? glow[distanceSquared] : 0;
        }
    }
}

void BuildTexCoordMaps()
{
    FillEvenCosines();
    FillWaves();
    Column columns[FrameWidth];
    for (int j = 0; j < FrameWidth; ++j) {
        const std::int32_t d = 4096 * j / FrameWidth;
        const std::int32_t t1 = SineTerm(4 * d);
        columns[j] = {t1 >> 7, t1 >> 8, ColumnWaves + (d - MinR), EvenCosines + (7 * d - MinK)};
    }
    for (int i = 0; i < FrameHeight; ++i) {
        WarpRow(i, columns, TexRowMap + i * FrameWidth, TexColMap + i * FrameWidth);
    }
    // The second copy lets a scrolled frame read 480 contiguous rows.
    std::memcpy(TexRowMap + FrameBytes, TexRowMap, FrameBytes);
}
