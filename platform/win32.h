// The one platform header of the program. On Windows it is the real Win32,
// multimedia and DirectDraw 7 API; elsewhere it is our own stand-in, which
// declares exactly what the program uses, under the platform's own names.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>
#include <ddraw.h>
#else
#include "platform/api/win32_api.h"
#endif
