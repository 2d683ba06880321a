// Decoding of the picture block: a 10-byte header that is not examined, 256
// palette entries of three 6-bit components, then 256 rows of 256 indices.
#include <cstring>

#include "effect/effect.h"

std::uint8_t ExpandComponent(std::uint8_t stored)
{
    // Six bits moved to the top, their two highest repeated below them, so
    // 0 stays 0 and 63 becomes a full 255. Bits 6 and 7 fall off the top.
    const std::uint8_t shifted = static_cast<std::uint8_t>(stored << 2);
    return static_cast<std::uint8_t>(shifted | (shifted >> 6));
}

bool DecodePicture(const std::uint8_t* block, std::size_t size)
{
    if (block == nullptr || size < PictureBytes) {
        return false;
    }
    const std::uint8_t* palette = block + PictureHeaderBytes;
    for (std::size_t i = 0; i < PicturePaletteBytes; ++i) {
        PaletteRgb[i] = ExpandComponent(palette[i]);
    }
    std::memcpy(TextureTable, palette + PicturePaletteBytes, TextureBytes);
    return true;
}
