// The effect as it was first written: one plain loop per table and per pass,
// every wave term and every square root evaluated where it is needed. Kept
// as the yardstick for the benchmarks and as the reference the fast tables
// and frames are compared with byte for byte. Each routine writes only into
// the memory it is handed, so it runs side by side with the program's own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace baseline {

// Every table the effect builds and reads, in one place.
struct Tables {
    std::uint8_t paletteRgb[768];
    std::uint8_t texture[256 * 256];
    std::uint8_t lightMap[1280 * 1280];
    std::uint8_t texRowMap[640 * 960];
    std::uint8_t texColMap[640 * 480];
    std::uint8_t gradient[256 * 256];
    std::uint8_t shade[256 * 256];
    std::uint8_t heightBuffer[640 * 480];
};

// False, touching nothing, when the block is shorter than a picture.
bool DecodePicture(const std::uint8_t* block, std::size_t size, Tables& tables);

void BuildLightMap(Tables& tables);
void BuildTexCoordMaps(Tables& tables);
void BuildGradientTable(Tables& tables);  // reads paletteRgb
void BuildShadeTable(Tables& tables);     // reads paletteRgb

// One frame at a scroll row; the outer band takes its missing neighbours
// from the nearest edge of the frame.
void RenderFrameAtScroll(Tables& tables, std::uint8_t* target, unsigned scroll);

}  // namespace baseline
