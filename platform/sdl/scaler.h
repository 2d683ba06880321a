// A picture of palette indices drawn as colours into a 32-bit frame buffer,
// as large as fits with its aspect ratio kept, by nearest sampling: each
// output pixel shows the picture pixel under its centre. Every picture pixel
// covers a run of output columns and a run of output rows, so a picture row
// is converted once and the other output rows of its run are copies.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

#include "platform/api/win32_api.h"

namespace platform::sdl {

class Scaler {
public:
    // Allocates; called when the picture or the output changes size.
    void Layout(int pictureWidth, int pictureHeight, int outputWidth, int outputHeight);

    // Where the whole picture lies in the output.
    const SDL_Rect& fit() const { return fit_; }
    // The output rectangle that a rectangle of the picture covers.
    SDL_Rect Covered(const RECT& area) const;

    // Draws the area of the picture (rows indexPitch bytes apart) with the
    // colours into the output (rows outputPitch bytes apart).
    void Draw(const std::uint8_t* indices, int indexPitch, const std::uint32_t (&colours)[256],
              const RECT& area, std::uint8_t* output, int outputPitch) const;

private:
    // Picture column c covers output columns columns_[c] up to
    // columns_[c + 1] of the fitted rectangle; rows likewise.
    std::vector<int> columns_;
    std::vector<int> rows_;
    // The picture column that each output column of the fitted rectangle
    // shows: a row is drawn without a branch per run.
    std::vector<int> sources_;
    SDL_Rect fit_{};
};

// The first output position whose centre falls in picture position `index`
// when `pictureSize` positions are spread over `outputSize`.
int RunStart(int index, int pictureSize, int outputSize);

}  // namespace platform::sdl
