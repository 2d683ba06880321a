// The first command-line token decides between ending at once (configuration
// dialog, preview) and running. A run here stops at the window: its creation
// is made to fail, which ends the program with 0 before any display changes.
#include <string>

#include <gtest/gtest.h>

#include "tests/program/scenario.h"

namespace {

using testdouble::Call;
using testdouble::ScenarioResult;
using testdouble::Script;

struct CommandLineCase {
    std::string commandLine;
    bool endsAtOnce;
};

void PrintTo(const CommandLineCase& c, std::ostream* out)
{
    *out << '"' << c.commandLine << '"';
}

class CommandLineTest : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTest, EndsAtOnceOrStartsTheRun)
{
    Script script;
    script.Fail(Call("CreateWindowExA"), 0);

    const ScenarioResult result = programtest::RunProgram(script, GetParam().commandLine);

    ASSERT_EQ(result.ending, testdouble::Ending::Returned) << result.Text();
    if (GetParam().endsAtOnce) {
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.Count("RegisterClassA"), 0);
        EXPECT_EQ(result.Count("CreateWindowExA"), 0);
    } else {
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.Count("CreateWindowExA"), 1);
    }
    // Neither way gets as far as the displays.
    EXPECT_EQ(result.Count("DirectDrawEnumerateExA"), 0);
    EXPECT_EQ(result.Count("MessageBoxA"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, CommandLineTest,
    testing::Values(
        // The six dialog and preview forms, in either case.
        CommandLineCase{"/C", true}, CommandLineCase{"/c", true}, CommandLineCase{"-C", true},
        CommandLineCase{"-c", true}, CommandLineCase{"C", true}, CommandLineCase{"c", true},
        CommandLineCase{"/P", true}, CommandLineCase{"/p", true}, CommandLineCase{"-P", true},
        CommandLineCase{"-p", true}, CommandLineCase{"P", true}, CommandLineCase{"p", true},
        // Colons and spaces end a token; what follows is ignored.
        CommandLineCase{"/c:1234", true}, CommandLineCase{"/p 1234", true},
        CommandLineCase{"/P 0x00120A4E", true},
        // Leading delimiters are skipped.
        CommandLineCase{":p", true}, CommandLineCase{"  : -C", true},
        // The run token, and no token at all.
        CommandLineCase{"/S", false}, CommandLineCase{"/s", false}, CommandLineCase{"-s", false},
        CommandLineCase{"S", false}, CommandLineCase{"", false}, CommandLineCase{" :: : ", false},
        // Tokens that only begin with a table entry.
        CommandLineCase{"/SAVER", false}, CommandLineCase{"/Cx", false},
        CommandLineCase{"CP", false}, CommandLineCase{"/c/p", false},
        // A tab is not a delimiter, so "/C<tab>1" is one unknown token.
        CommandLineCase{"/C\t1", false}, CommandLineCase{"\t/c", false},
        // Only the first token counts.
        CommandLineCase{"x /c", false}, CommandLineCase{"/s /p", false}));

}  // namespace
