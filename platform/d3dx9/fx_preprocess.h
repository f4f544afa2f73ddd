// The C-style preprocessor of effect files: #define (object- and
// function-like), #undef, #include through a callback, #if/#ifdef/#ifndef/
// #elif/#else/#endif, #error; #pragma and #line are dropped. A pure function
// of the text: the output keeps one line per source line, and a line map says
// where each came from, so later stages can report errors in the user's terms.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace fx {

// Where one output line came from.
struct SourceLine {
    int file = 0;  // index into Preprocessed::files
    int line = 0;  // 1-based
};

struct Preprocessed {
    std::string text;
    std::vector<std::string> files;  // files[0] is the main file's name
    std::vector<SourceLine> lines;   // one per line of text

    // "file(line)" for a 1-based line of the output text.
    std::string Where(int outputLine) const;
};

// Supplies the text of an included file: name as written, whether it was
// written <name> (system), and the including file's name. False: not found.
using IncludeFn = std::function<bool(const std::string& name, bool system, const std::string& parent,
                                     std::string& text)>;

using Macros = std::vector<std::pair<std::string, std::string>>;

// False on a preprocessing error, with "file(line): error: message" lines in
// errors.
bool Preprocess(const std::string& source, const std::string& fileName, const Macros& defines,
                const IncludeFn& include, Preprocessed& out, std::string& errors);

} // namespace fx
