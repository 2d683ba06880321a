// The linked resources of the entry-point tests: one full-length picture
// block under identifier 106 whose bytes are known to the tests.
#include "tests/effect/entry_resources.h"

#include "platform/api/linked_resources.h"

namespace {

std::array<unsigned char, PictureBytes> MakePicture()
{
    std::array<unsigned char, PictureBytes> block{};
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<unsigned char>(i * 13 + i / 251);
    }
    return block;
}

}  // namespace

const std::array<unsigned char, PictureBytes> TestPicture = MakePicture();

const LinkedResource LinkedResources[] = {
    {10, 106, TestPicture.data(), TestPicture.size()},
};
const std::size_t LinkedResourceCount = 1;
