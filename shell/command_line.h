// The screen-saver command line: the first token selects the configuration
// dialog ("/C", "-C", "C"), the preview ("/P", "-P", "P") or the run.
#pragma once

#include "platform/win32.h"

// True when the first token asks for the configuration dialog or the
// preview, neither of which this program offers. Upper-cases commandLine in
// place and cuts it after its first token. Tokens are delimited by spaces
// and colons only; a null or empty command line asks for the run.
bool AsksForDialogOrPreview(LPSTR commandLine);
