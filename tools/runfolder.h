// The command line every data generator shares: `make_<name> <run folder>`.
#pragma once

#include <string>

namespace tools {

// Makes <run folder>/data/<sub>/ and puts its path, with a closing slash,
// in `dir`. Returns 0, or the exit code after a message on standard error:
// 2 without a run folder, 1 when the folder cannot be made.
int DataFolder(int argc, char** argv, const char* sub, std::string& dir);

} // namespace tools
