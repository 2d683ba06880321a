// The effect's program-wide tables. Static storage, so each holds zeros until
// the start-up step that builds it.
#include "effect/effect.h"

std::uint8_t PaletteRgb[PicturePaletteBytes];
std::uint8_t TextureTable[TextureBytes];
std::uint8_t LightMap[LightMapBytes];
std::uint8_t TexRowMap[FrameWidth * FrameHeight * 2];
std::uint8_t TexColMap[FrameBytes];
std::uint8_t GradientTable[TextureBytes];
std::uint8_t ShadeTable[TextureBytes];
std::uint8_t HeightBuffer[FrameBytes];
