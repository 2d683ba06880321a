// A program with the native entry: prints what WinMain was given, so the
// test can compare it with the command line it started the program with.
#include <cstdio>
#include <cstring>

#include "platform/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand) {
    commandLine[0] = commandLine[0];  // writable
    std::printf("instance=%s previous=%s show=%d line=[%s]\n",
                instance == GetModuleHandleA(nullptr) && instance != nullptr ? "module" : "other",
                previous == nullptr ? "null" : "set", showCommand, commandLine);
    return std::strlen(commandLine) == 0 ? 5 : 0;
}
