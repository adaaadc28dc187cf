// What every geq15-tool command shares: the exit codes, strict number parsing, exact float
// printing and the wording of usage errors.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace tool {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the work itself failed (a file, the output)
constexpr int kExitUsage = 2;    // bad command line: nothing was done

// A command: argv[0] is the command's name; output goes to `out`, messages to `err`.
using CommandFn = int (*)(int argc, char** argv, FILE* out, FILE* err);

// Whole text only: no trailing characters, no empty text, no overflow.
bool ParseInt32(const char* text, int32_t* value);
// A finite decimal number, rounded once to float.
bool ParseFiniteFloat(const char* text, float* value);
// A sample rate the engine accepts (kMinSampleRate to kMaxSampleRate Hz), as whole text.
bool ParseSampleRate(const char* text, int32_t* rate);
// Comma-separated finite numbers; false when any item is empty or not a number.
bool ParseFloatList(const char* text, std::vector<float>* values);

// %.9g: the shortest fixed width that reads back to the same float on every platform.
void PrintFloat(FILE* out, float value);

// Prints "geq15-tool COMMAND: MESSAGE" and the help hint to `err`; returns kExitUsage.
int UsageError(FILE* err, const char* command, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Walks the options of one command; `TakeValue` fetches the argument that follows an option.
class OptionCursor {
 public:
  OptionCursor(int argc, char** argv) : argc_(argc), argv_(argv) {}
  // The next option, or null at the end.
  const char* Next() { return index_ + 1 < argc_ ? argv_[++index_] : nullptr; }
  // The value after the current option, or null when it is missing.
  const char* TakeValue() { return index_ + 1 < argc_ ? argv_[++index_] : nullptr; }

 private:
  int argc_;
  char** argv_;
  int index_ = 0;
};

}  // namespace tool
