// Resources linked into a non-Windows executable, the stand-in for the
// resource section of a Windows executable. Each program links one table,
// generated from its resource files, and FindResourceA searches it.
#pragma once

#include <cstddef>

struct LinkedResource {
    unsigned type;              // resource type, such as RT_RCDATA (10)
    unsigned id;                // integer resource identifier
    const unsigned char* data;  // read-only bytes
    std::size_t size;
};

// Defined by the program's generated resource table.
extern const LinkedResource LinkedResources[];
extern const std::size_t LinkedResourceCount;
