// shell_word.cpp: quoting for the shell.
#include "tools/capture/shell_word.h"

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}
