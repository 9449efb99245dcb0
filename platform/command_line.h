// command_line.h: a program's options as one table, from which its command line is read and its
// --help written (and so its manual page, which help2man makes from --help). Each row names an
// option, the value it takes and what it does, and takes the value into the program's options;
// what the options must satisfy together the program checks after the table has read them all.
// A command line refused is answered alike in every program (refuseCommandLine).
// Header only: the capture tool's options are compiled into the browser build as well.
// Not Debian's CLI11 or cxxopts: each writes its own messages and help, where scripts and tests
// rely on the programs' lines and exit statuses, and the browser build would carry it too;
// getopt_long reads a command line but writes no help.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// What a row made of its option.
enum class Took {
    Taken,
    Refused,  // the row's error line says why
    Last,     // taken, and nothing after it is read (--help, --version)
};

// A take's answer to a value it refuses: the line, and Refused.
inline Took refuse(std::string& error, const std::string& line) {
    error = line;
    return Took::Refused;
}

// A take that sets a field of the options to a value: a flag, or --help's Last.
template <auto field, auto to, Took answer = Took::Taken, typename Options>
Took setField(Options& options, const char*, const char*, std::string&) {
    options.*field = to;
    return answer;
}

template <typename Options>
struct OptionRow {
    const char* name;   // "--fps"
    const char* alias;  // another spelling ("-h"), or nullptr
    const char* value;  // the value it takes, as the help names it ("N"); nullptr: none
    const char* help;   // the help's right column, its lines apart by '\n'
    // The option as typed, and its value (nullptr for none); one line in error when Refused.
    Took (*take)(Options& options, const char* option, const char* value, std::string& error);
    const char* shown = nullptr;  // the help's left column where it says more than name and value
};

// The first thing the command line did wrong, in the order it was typed.
struct CommandLineFault {
    enum Kind { None, Unknown, NoValue, Refused } kind = None;
    std::string argument;  // the argument at fault
    std::string line;      // for Refused, the row's line
};

template <typename Options, size_t N>
CommandLineFault readCommandLine(const OptionRow<Options> (&table)[N], int argc, const char* const* argv,
                                 Options& options) {
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        const OptionRow<Options>* row = nullptr;
        for (const OptionRow<Options>& candidate : table)
            if (std::strcmp(option, candidate.name) == 0 || (candidate.alias && std::strcmp(option, candidate.alias) == 0))
                row = &candidate;
        if (row == nullptr) return {CommandLineFault::Unknown, option, ""};
        const char* value = nullptr;
        if (row->value != nullptr) {
            if (i + 1 >= argc) return {CommandLineFault::NoValue, option, ""};
            value = argv[++i];
        }
        std::string line;
        const Took took = row->take(options, option, value, line);
        if (took == Took::Refused) return {CommandLineFault::Refused, option, line};
        if (took == Took::Last) break;
    }
    return {};
}

// The fault as the line that gives its reason, without the program's name.
inline std::string faultLine(const CommandLineFault& fault) {
    switch (fault.kind) {
        case CommandLineFault::Unknown:
            return (fault.argument.rfind('-', 0) == 0 ? "unknown option '" : "unknown argument '") + fault.argument +
                   "'";
        case CommandLineFault::NoValue: return fault.argument + " needs a value";
        case CommandLineFault::Refused: return fault.line;
        case CommandLineFault::None: break;
    }
    return "";
}

// A command line refused, as every program of the project answers it (and as GNU programs do):
// "PROGRAM: reason", then where to read more, both on stderr, and exit status 2. The usage is no
// part of it: the reason would scroll away above it.
[[noreturn]] inline void refuseCommandLine(const char* program, const std::string& reason) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program, reason.c_str(), program);
    std::exit(2);
}

// "  left  text": the text from the column on, its further lines indented to it; a left part too
// wide for the column has its text two spaces after it.
inline std::string helpRow(const std::string& left, const char* text, size_t column) {
    std::string row = "  " + left;
    row.append(row.size() + 2 <= column ? column - row.size() : 2, ' ');
    // Appended in place: GCC 12 warns (-Wrestrict) of "\n" + std::string inlined here.
    for (const char* c = text; *c != '\0'; ++c) {
        row += *c;
        if (*c == '\n') row.append(column, ' ');
    }
    return row + '\n';
}

// The table's rows, as the help lists them.
template <typename Options, size_t N>
std::string optionsHelp(const OptionRow<Options> (&table)[N], size_t column) {
    std::string help;
    for (const OptionRow<Options>& row : table)
        help += helpRow(row.shown != nullptr ? row.shown
                                             : std::string(row.name) + (row.value ? std::string(" ") + row.value : ""),
                        row.help, column);
    return help;
}
