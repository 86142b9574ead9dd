// Reading commands: normalisation of the line, the dispatch table with its
// substring rules, unknown commands, overlong lines, and the end of input.
#include <string>
#include <vector>

#include "integration/engine.h"

using namespace corvix_test;

namespace {

class Input : public EngineTest {
protected:
    // Runs every line of the table in one engine, each followed by a marker
    // line, and returns the output of each line (what came before its marker).
    std::vector<std::vector<std::string>> runEach(const std::vector<std::string> &inputs) {
        std::string script;
        for (size_t i = 0; i < inputs.size(); i++) script += inputs[i] + "\n" + marker(i) + "\n";
        std::vector<std::string> lines = run(script);
        std::vector<std::vector<std::string>> outputs(inputs.size());
        size_t i = 0;
        for (const std::string &line : lines) {
            if (i < inputs.size() && line == "Unknown command : '" + marker(i) + "'")
                i++;
            else if (i < inputs.size())
                outputs[i].push_back(line);
            else
                ADD_FAILURE() << "output after the last marker: " << line;
        }
        EXPECT_EQ(i, inputs.size()) << "markers missing: the engine stopped reading";
        return outputs;
    }

    static std::string marker(size_t i) { return "mark-" + std::to_string(i); }
};

std::vector<std::string> unknown(const std::string &command) { return {"Unknown command : '" + command + "'"}; }

struct LineCase {
    const char *name;
    std::string input;              // the line, without its line feed
    std::vector<std::string> output;
};

TEST_P(Input, LinesAreNormalisedBeforeTheyAreMatched) {
    const std::vector<LineCase> cases = {
        {"empty line", "", {}},
        {"blanks only", "  \t \t  ", {}},
        {"carriage return only", "\r", {}},
        {"runs of blanks and tabs", "  foo   bar\tbaz\t\t qux ", unknown("foo bar baz qux")},
        {"leading tabs", "\t\tfoo", unknown("foo")},
        {"CR LF ending", "foo\r", unknown("foo")},
        {"CR inside the line is kept (and echoed as ?)", "fo\ro", unknown("fo?o")},
        {"CR before CR LF is kept", "foo\r\r", unknown("foo?")},
        {"CR after a blank", "foo \rbar", unknown("foo ?bar")},
        {"uci with trailing blank", "uci ", UCI_ANSWER},
        {"uci with leading blanks and CR LF", "   uci\r", UCI_ANSWER},
        {"isready between blanks", " \tisready\t ", {"readyok"}},
        {"case matters", "UCI", unknown("UCI")},
    };
    std::vector<std::string> inputs;
    for (const LineCase &c : cases) inputs.push_back(c.input);
    std::vector<std::vector<std::string>> outputs = runEach(inputs);
    for (size_t i = 0; i < cases.size(); i++) EXPECT_EQ(outputs[i], cases[i].output) << cases[i].name;
}

TEST_P(Input, ExactAndSubstringRows) {
    const std::vector<LineCase> cases = {
        {"stop does nothing", "stop", {}},
        {"stop now is no stop", "stop now", unknown("stop now")},
        {"ucinew is no ucinewgame", "ucinew", unknown("ucinew")},
        {"isready now is no isready", "isready now", unknown("isready now")},
        {"debug on is no debug", "debug on", unknown("debug on")},
        {"bench 5 is no bench", "bench 5", unknown("bench 5")},
        {"quit now does not quit", "quit now", unknown("quit now")},
        {"ucinewgame prints nothing", "ucinewgame", {}},
        {"Hash without value is unknown", "setoption name Hash value", unknown("setoption name Hash value")},
        {"SyzygyPath without value is unknown", "setoption name SyzygyPath value",
         unknown("setoption name SyzygyPath value")},
        {"SyzygyPath <empty>", "setoption name SyzygyPath value <empty>", {SYZYGY_FAILURE}},
        {"SyzygyPath found inside a longer line", "xx setoption name SyzygyPath value /none", {}},
        {"position without startpos or fen", "position", unknown("position")},
        {"fen without position", "fen 8/8/8/8/8/8/8/K1k5 w - - 0 1", unknown("fen 8/8/8/8/8/8/8/K1k5 w - - 0 1")},
        {"an ordinary word", "hello", unknown("hello")},
    };
    std::vector<std::string> inputs;
    for (const LineCase &c : cases) inputs.push_back(c.input);
    std::vector<std::vector<std::string>> outputs = runEach(inputs);
    for (size_t i = 0; i < cases.size(); i++) EXPECT_EQ(outputs[i], cases[i].output) << cases[i].name;
}

TEST_P(Input, SubstringRowsTakeLinesThatContainTheirText) {
    // Lines that are not commands but contain a command's text are handled by
    // that command, not reported as unknown.
    const std::vector<std::string> inputs = {"cargo", "xperft", "medieval", "isready go", "xposition startpos"};
    std::vector<std::vector<std::string>> outputs = runEach(inputs);
    for (size_t i = 0; i < inputs.size(); i++)
        for (const std::string &line : outputs[i])
            EXPECT_EQ(line.find("Unknown command"), std::string::npos) << inputs[i] << ": " << line;
}

TEST_P(Input, OverlongLinesAreCutAndTheNextLineIsRead) {
    const std::string warning = "info buffer Warning: input is too long and will be truncated (max = 8192 bytes)";
    const std::vector<LineCase> cases = {
        {"10000 characters", std::string(10000, 'a'), {warning, unknown(std::string(8191, 'a'))[0]}},
        {"8191 characters fill the buffer", std::string(8191, 'b'), {warning, unknown(std::string(8191, 'b'))[0]}},
        {"8190 characters fit", std::string(8190, 'c'), unknown(std::string(8190, 'c'))},
        {"long but mostly blanks", "isready" + std::string(10000, ' '), {"readyok"}},
        {"blanks between words are counted once", "d" + std::string(9000, '\t') + "e", unknown("d e")},
        {"cut right after a blank", std::string(8190, 'f') + " g", {warning, unknown(std::string(8190, 'f'))[0]}},
        {"CR LF ending after the cut", std::string(9000, 'h') + "\r", {warning, unknown(std::string(8191, 'h'))[0]}},
    };
    std::vector<std::string> inputs;
    for (const LineCase &c : cases) inputs.push_back(c.input);
    std::vector<std::vector<std::string>> outputs = runEach(inputs);
    for (size_t i = 0; i < cases.size(); i++) EXPECT_EQ(outputs[i], cases[i].output) << cases[i].name;
}

TEST_P(Input, EchoedInputShowsControlCharactersAsQuestionMarks) {
    // Whatever the engine quotes back from its input can neither break the
    // line (a GUI splitting lines at CR would read a forged answer) nor reach
    // a terminal as an escape sequence.
    const std::vector<LineCase> cases = {
        {"CR before a forged answer", "foo\rbestmove a1a1", unknown("foo?bestmove a1a1")},
        {"escape sequence", "\x1b[2J\x1b]0;title\x07", unknown("?[2J?]0;title?")},
        {"other control characters and DEL", "a\x01" "b\x0b\x0c\x7f", unknown("a?b???")},
        {"UTF-8 text stays", "caf\xc3\xa9", unknown("caf\xc3\xa9")},
        {"FEN field", "position fen 8/8/8/8/8/8/8/K1k5 \x1b[1mw - - 0 1",
         {"info string Invalid FEN: side to move must be 'w' or 'b', not '?[1mw'"}},
        {"FEN piece letter", "position fen 8/8/8/8/8/8/8/K1k\x1b" "4 w - - 0 1",
         {"info string Invalid FEN: unknown character '?' in the piece placement"}},
        {"move text", "position startpos moves e2e4 e7\x1b[1me5", {"info string Invalid move 'e7?[1me5'"}},
    };
    std::vector<std::string> inputs;
    for (const LineCase &c : cases) inputs.push_back(c.input);
    std::vector<std::vector<std::string>> outputs = runEach(inputs);
    for (size_t i = 0; i < cases.size(); i++) {
        EXPECT_EQ(outputs[i], cases[i].output) << cases[i].name;
        for (const std::string &line : outputs[i])
            for (unsigned char c : line) EXPECT_TRUE(c >= 32 && c != 127) << cases[i].name << ": " << line;
    }
}

TEST_P(Input, OptionNamesIgnoreCaseAndSpinValuesMustBeWholeNumbers) {
    auto created = [](int mb) { return "info debug Creation of Transposition Table : success (" + std::to_string(mb) + " MB)"; };
    const std::vector<LineCase> cases = {
        {"exact name", "setoption name Hash value 64", {created(64)}},
        {"lower case name", "setoption name hash value 32", {created(32)}},
        {"upper case name, hexadecimal value", "setoption name HASH value 0x10", {created(16)}},
        {"invalid size is still the table's to report", "setoption name hash value 100",
         {"info debug Creation of Transposition Table : invalid size (100 MB, reset to default)", created(128)}},
        {"not a number", "setoption name Hash value abc", {"info string Option Hash needs a whole number, not 'abc'"}},
        {"number with text after it", "setoption name hash value 12abc",
         {"info string Option Hash needs a whole number, not '12abc'"}},
        {"number and a unit", "setoption name Hash value 32 MB",
         {"info string Option Hash needs a whole number, not '32 MB'"}},
        {"refused value is quoted printable", "setoption name Hash value \x1b[1m",
         {"info string Option Hash needs a whole number, not '?[1m'"}},
        {"string option in any case", "setoption name syzygypath value <empty>", {SYZYGY_FAILURE}},
        {"name without value", "setoption name Hash", unknown("setoption name Hash")},
        {"unknown option", "setoption name Foo value 1", unknown("setoption name Foo value 1")},
        {"unknown option whose value holds a command", "setoption name Foo value go",
         unknown("setoption name Foo value go")},
        {"name with a blank inside", "setoption name Syzygy Path value x", unknown("setoption name Syzygy Path value x")},
        {"option command inside a line", "xx setoption name Hash value 32", {}},
    };
    std::vector<std::string> inputs;
    for (const LineCase &c : cases) inputs.push_back(c.input);
    std::vector<std::vector<std::string>> outputs = runEach(inputs);
    for (size_t i = 0; i < cases.size(); i++) EXPECT_EQ(outputs[i], cases[i].output) << cases[i].name;
}

TEST_P(Input, UciAnswersWithTheIdentityAndTheOptions) { EXPECT_EQ(run("uci\n"), UCI_ANSWER); }

TEST_P(Input, QuitEndsTheProgramAndLaterLinesAreNotRead) {
    EXPECT_EQ(run("isready\nquit\nisready\nuci\n"), std::vector<std::string>{"readyok"});
}

TEST_P(Input, EndOfInputEndsTheProgramLikeQuit) {
    // A last line without its line feed is still a command.
    std::vector<std::string> expected = {"readyok"};
    expected.insert(expected.end(), UCI_ANSWER.begin(), UCI_ANSWER.end());
    EXPECT_EQ(run("isready\nuci"), expected);
    EXPECT_EQ(run(""), std::vector<std::string>{});
}

TEST_P(Input, NoStandardInputAtAll) {
    // /dev/null, a closed descriptor 0: the engine reports, sees the end of
    // input and ends with status 0 at once. A closed descriptor must not be
    // taken by a file the engine opens and read as commands.
    for (StdinMode mode : {StdinMode::DEV_NULL, StdinMode::CLOSED}) {
        SCOPED_TRACE(mode == StdinMode::CLOSED ? "closed" : "/dev/null");
        Process p(program(), {}, binaryDir(), mode);
        std::string out;
        EXPECT_TRUE(p.readToEnd(out, 20000));
        ExitInfo exit = p.wait(5000);
        EXPECT_TRUE(exit.finished && exit.exited && exit.status == 0) << describe(exit);
        EXPECT_EQ(splitLines(out), startupLines());
        EXPECT_EQ(p.errorText(), "");
    }
}

TEST_P(Input, LinesOfOneBurstAreAllAnsweredWhileTheInputStaysOpen) {
    Process p(program(), {}, binaryDir());
    std::vector<std::string> lines;
    ASSERT_TRUE(p.readUntil(TABLE_OK, lines, 20000));
    // A GUI writes "stop" and "isready" together and then waits.
    ASSERT_TRUE(p.sendRaw("stop\nisready\n"));
    std::string line;
    ASSERT_TRUE(p.readLine(line, 10000));
    EXPECT_EQ(line, "readyok");
    // The engine waits for more input without using it up: nothing else comes.
    EXPECT_FALSE(p.readLine(line, 300));
    ASSERT_TRUE(p.send("uci"));
    lines.clear();
    ASSERT_TRUE(p.readUntil("uciok", lines, 10000));
    EXPECT_EQ(lines, UCI_ANSWER);
    // A line sent in two pieces is one command.
    ASSERT_TRUE(p.sendRaw("isre"));
    EXPECT_FALSE(p.readLine(line, 200));
    ASSERT_TRUE(p.sendRaw("ady\n"));
    ASSERT_TRUE(p.readLine(line, 10000));
    EXPECT_EQ(line, "readyok");
    // Closing the input ends the engine promptly.
    p.closeStdin();
    ExitInfo exit = p.wait(10000);
    EXPECT_TRUE(exit.finished && exit.exited && exit.status == 0) << describe(exit);
    EXPECT_EQ(p.errorText(), "");
}

CORVIX_FOR_EACH_BUILD(Input);

}  // namespace
