#include "shell/command_line.h"

#include <cstring>

namespace {

// Compared in this order, each for equality with the whole token.
constexpr const char* DialogAndPreviewTokens[] = {"/C", "-C", "C", "/P", "-P", "P"};

constexpr char Delimiters[] = " :";

void UpperCaseAscii(char* text)
{
    for (char* c = text; *c != '\0'; ++c) {
        if (*c >= 'a' && *c <= 'z') {
            *c = static_cast<char>(*c - ('a' - 'A'));
        }
    }
}

}  // namespace

bool AsksForDialogOrPreview(LPSTR commandLine)
{
    if (commandLine == nullptr) {
        return false;
    }
    UpperCaseAscii(commandLine);
    char* token = commandLine + std::strspn(commandLine, Delimiters);
    if (*token == '\0') {
        return false;
    }
    token[std::strcspn(token, Delimiters)] = '\0';
    for (const char* ending : DialogAndPreviewTokens) {
        if (std::strcmp(token, ending) == 0) {
            return true;
        }
    }
    return false;
}
