// The effect: an embedded 256x256 picture warped through two coordinate maps
// and shaded as a relief under a fixed light. Everything here is integer table
// work over program-wide, fixed-size byte tables that are built once at
// start-up and only read afterwards.
//
// The pure core (decoding, table builders, RenderFrameAtScroll) touches no
// platform service, so tools and tests can call it directly. The two entry
// points that reach the platform, LoadImageResource and RenderFrame, are
// declared in effect_entry.h.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Sizes ---------------------------------------------------------------

inline constexpr int FrameWidth = 640;
inline constexpr int FrameHeight = 480;
inline constexpr std::size_t FrameBytes = FrameWidth * FrameHeight;  // 307,200

inline constexpr int TextureSize = 256;
inline constexpr std::size_t TextureBytes = TextureSize * TextureSize;  // 65,536

inline constexpr int LightMapSize = 1280;
inline constexpr std::size_t LightMapBytes = LightMapSize * LightMapSize;

// The picture block: "RIX3", width, height, palette type, storage type,
// 256 palette entries of three 6-bit components, then 256 rows of 256 indices.
inline constexpr std::size_t PictureHeaderBytes = 10;
inline constexpr std::size_t PicturePaletteBytes = 768;
inline constexpr std::size_t PictureBytes =
    PictureHeaderBytes + PicturePaletteBytes + TextureBytes;  // 66,314

// ---- Program-wide tables -------------------------------------------------
// All hold zeros until the start-up step that builds them.

// The picture's palette widened to 8 bits: entry i is red, green, blue at 3i.
extern std::uint8_t PaletteRgb[PicturePaletteBytes];
// The picture's pixels, entry row * 256 + column.
extern std::uint8_t TextureTable[TextureBytes];
// Radial fall-off of light, 1280 rows of 1280; 255 at row 640, column 640.
extern std::uint8_t LightMap[LightMapBytes];
// Texture row of every screen pixel; rows 480..959 repeat rows 0..479 so a
// scrolled frame always reads 480 contiguous rows.
extern std::uint8_t TexRowMap[FrameWidth * FrameHeight * 2];
// Texture column of every screen pixel; does not scroll.
extern std::uint8_t TexColMap[FrameBytes];
// Slope byte for an ordered pair of palette indices, entry hi * 256 + lo.
extern std::uint8_t GradientTable[TextureBytes];
// Palette index nearest to colour hi lightened by lo, entry hi * 256 + lo.
extern std::uint8_t ShadeTable[TextureBytes];
// The warped texture of the frame being rendered.
extern std::uint8_t HeightBuffer[FrameBytes];

// ---- Picture -------------------------------------------------------------

// Widens a stored 6-bit palette component to 8 bits; bits 6 and 7 are ignored.
std::uint8_t ExpandComponent(std::uint8_t stored);

// Decodes a picture block into PaletteRgb and TextureTable. The header is not
// examined. Returns false, touching nothing, when the block is shorter than
// PictureBytes.
bool DecodePicture(const std::uint8_t* block, std::size_t size);

// ---- Table builders (run once at start-up, in this order) -----------------

void BuildLightMap();
void BuildTexCoordMaps();
void BuildGradientTable();  // reads PaletteRgb
void BuildShadeTable();     // reads PaletteRgb

// ---- Renderer ------------------------------------------------------------

// The scroll row for a clock reading in milliseconds: one row every 10 ms.
unsigned ScrollForTime(std::uint32_t milliseconds);

// Binds the texture table for the renderer's lookup pass. Rendering before
// this has run is not allowed.
void PrepareRenderer();

// Renders one frame of 640x480 palette indices, rows 640 bytes apart, for
// the given scroll row (0..479; a larger value counts modulo 480). Writes
// every byte of target, the outer band of two rows and columns included:
// there, neighbours beyond the frame are taken from its nearest edge.
void RenderFrameAtScroll(std::uint8_t* target, unsigned scroll);
