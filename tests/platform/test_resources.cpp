// The linked resources of the platform tests: two small blocks.
#include "platform/api/linked_resources.h"

namespace {
const unsigned char Picture[] = {'R', 'I', 'X', '3', 1, 2, 3};
const unsigned char Other[] = {42};
}  // namespace

const LinkedResource LinkedResources[] = {
    {10, 106, Picture, sizeof Picture},
    {10, 7, Other, sizeof Other},
};
const std::size_t LinkedResourceCount = 2;
