#pragma once

#include <array>

#include "effect/effect.h"

// The block linked as resource 106 (RT_RCDATA) into the entry-point tests.
extern const std::array<unsigned char, PictureBytes> TestPicture;
