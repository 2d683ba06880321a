// The process entry of native programs. The C runtime of a Windows program
// hands WinMain the command line after the program name; here the arguments
// after the program name are joined by single spaces into a writable string,
// and WinMain's result becomes the exit status.
#include <string>

#include "platform/win32.h"

int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            commandLine += ' ';
        }
        commandLine += argv[i];
    }
    return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine.data(), SW_SHOWDEFAULT);
}
