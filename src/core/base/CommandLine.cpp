// Reading command lines, and the version every program says it is.
#include "CommandLine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Printable.h"

namespace {
const CommandLineOption* findOption(const CommandLineSyntax& syntax, const std::string& name) {
    for (const CommandLineOption& option : syntax.options)
        if (option.name == name) return &option;
    return nullptr;
}

CommandLine refused(const CommandLineSyntax& syntax, const std::string& why) {
    CommandLine line;
    line.exitStatus = 2;
    line.err = syntax.program + ": " + why + "; usage: " + syntax.usage + "\n";
    return line;
}
}  // namespace

bool CommandLine::has(const std::string& name) const {
    for (const auto& option : options)
        if (option.first == name) return true;
    return false;
}

std::string CommandLine::value(const std::string& name) const {
    std::string found;
    for (const auto& option : options)
        if (option.first == name) found = option.second;
    return found;
}

CommandLine readCommandLine(const CommandLineSyntax& syntax, int argc, const char* const* argv) {
    CommandLine line;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            line.operands.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word == "--help" || word == "-h") {
            CommandLine answer;
            answer.exitStatus = 0;
            answer.out = "usage: " + syntax.usage + "\n" + syntax.help;
            return answer;
        }
        if (word == "--version") {
            CommandLine answer;
            answer.exitStatus = 0;
            answer.out = syntax.program + " " TINKLEWOOD_VERSION "\n";
            return answer;
        }
        const std::size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const CommandLineOption* option = findOption(syntax, name);
        // GLUT's options are single words with their value after them, as GLUT reads them.
        if (option == nullptr || (equals != std::string::npos && (!option->takesValue || option->passedOn)))
            return refused(syntax, "unknown option " + printable(word));
        std::string value;
        if (equals != std::string::npos) {
            value = word.substr(equals + 1);
        } else if (option->takesValue) {
            if (i + 1 == argc) return refused(syntax, name + " needs a value");
            value = argv[i + 1];
            if (option->passedOn) line.passedOn.push_back(i);
            ++i;
        }
        if (option->passedOn) line.passedOn.push_back(i);
        else line.options.emplace_back(name, value);
    }
    if (line.operands.size() < syntax.requiredOperands)
        return refused(syntax, "no " + syntax.operands[line.operands.size()] + " given");
    if (line.operands.size() > syntax.operands.size())
        return refused(syntax, "unexpected argument " + printable(line.operands[syntax.operands.size()]));
    return line;
}

int finishCommandLine(const CommandLineSyntax& syntax, const CommandLine& line) {
    std::fputs(line.err.c_str(), stderr);
    std::fputs(line.out.c_str(), stdout);
    std::string reason;
    if (!closeStandardOutput(reason)) {
        std::fprintf(stderr, "%s: cannot write to standard output: %s\n", syntax.program.c_str(), reason.c_str());
        return 1;
    }
    return line.exitStatus;
}

bool closeStandardOutput(std::string& reason) {
    // A write error may have been met, and errno overwritten, long before: ferror keeps it.
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    int error = errno;
    const bool clean = !std::ferror(stdout);
    errno = 0;
    const bool closed = std::fclose(stdout) == 0;
    if (error == 0) error = errno;
    if (flushed && clean && closed) return true;
    reason = error != 0 ? std::strerror(error) : "an earlier write failed";
    return false;
}
