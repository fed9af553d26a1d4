#ifndef VORN_STANDARD_ERROR_H_
#define VORN_STANDARD_ERROR_H_

// The tool's own lines on standard error, each written whole with one
// fputs: the help text, the progress lines, and the one "Error: " line that
// ends a failed run. (The exit guard writes its memory line by itself: it
// must not allocate.)

#include <cstdio>
#include <string>

namespace vorn {

// The two help lines.
void writeHelp(std::FILE* err);

// "Progress: <percent>%" and a newline, `percent` from 0 to 100. One
// pattern reads every such line, and none begins "Error: ".
void writeProgress(int percent, std::FILE* err);

// Writes "Error: " + `description` + "\n" and ends the process with
// status 1.
[[noreturn]] void exitWithError(const std::string& description, std::FILE* err);

}  // namespace vorn

#endif  // VORN_STANDARD_ERROR_H_
