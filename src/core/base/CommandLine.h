// The command lines of the program and its tools, read alike: --help and --version answered,
// options another library reads (GLUT's) passed on, and anything else refused with the usage.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

struct CommandLineOption {
    std::string name;          // "--instrument"
    bool takesValue = false;   // given as "--instrument organ" or "--instrument=organ"
    bool passedOn = false;     // another library's (GLUT's): left in the command line for it
};

struct CommandLineSyntax {
    std::string program;  // as --version and every message name it: "tinklewood-render"
    std::string usage;    // what follows "usage: " (program name included)
    std::string help;     // the lines --help prints after the usage line, each ending in '\n'
    std::vector<CommandLineOption> options;  // besides --help and --version, which every program takes
    std::vector<std::string> operands;       // their names in the usage: "SONG", "OUT.wav"
    std::size_t requiredOperands = 0;        // the first this many must be given
};

struct CommandLine {
    std::vector<std::pair<std::string, std::string>> options;  // the program's own, name and value, in order
    std::vector<std::string> operands;
    std::vector<int> passedOn;  // where the passed-on options and their values stand in argv

    // Set when the command line has been answered (--help, --version: status 0) or refused
    // (status 2): out goes to standard output, err to standard error, and the program stops.
    int exitStatus = -1;
    std::string out, err;

    bool has(const std::string& name) const;
    std::string value(const std::string& name) const;  // the last one given; empty when none
};

// Reads argv[1..argc) by syntax. "--" ends the options: every word after it is an operand.
CommandLine readCommandLine(const CommandLineSyntax& syntax, int argc, const char* const* argv);

// Prints what an answered or refused command line says and returns the status to exit with:
// 1 when standard output could not take the answer (the reason on standard error).
int finishCommandLine(const CommandLineSyntax& syntax, const CommandLine& line);

// Flushes and closes standard output, checked: false with the reason when anything written
// to it was lost (a full disk, /dev/full, a closed pipe).
bool closeStandardOutput(std::string& reason);
