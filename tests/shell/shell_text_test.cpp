// The shell's texts are built in fixed buffers: each must take exactly what fits, and refuse
// (not cut short) what does not.
#include "shell/shell_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace {

using Builder = int32_t (*)(const char* in, char* out, size_t size);

// What a builder made of its input: the text, or "refused" when it says so and leaves the buffer empty.
std::string Built(Builder build, const std::string& in, size_t size) {
  std::unique_ptr<char[]> out(new char[size]);  // exactly `size`: the sanitizer builds catch a write past it
  std::memset(out.get(), 'x', size);
  const int32_t result = build(in.c_str(), out.get(), size);
  return result == 0 ? std::string(out.get()) : result < 0 && out[0] == 0 ? "refused" : "result " + std::to_string(result) + ", not emptied";
}

TEST(ShellText, TipShortcutPathAndWorkingFolderAtTheirLimits) {
  char tip[kTrayTipSize + 8];
  std::memset(tip, 'x', sizeof tip);
  CopyTipText(tip, kTrayTipSize, std::string(64, 't').c_str());
  EXPECT_EQ(std::make_pair(std::string(tip), tip[kTrayTipSize]), std::make_pair(std::string(63, 't'), 'x')) << "nothing written past the field";
  const std::string lnk = "\\VEZ-15 (Kelmora).LNK", fits(kShortcutPathSize - 1 - lnk.size(), 'f'), exe = "C:\\" + std::string(kWorkingFolderSize - 8, 'd');
  const struct { Builder build; size_t size; std::string in, out; } rows[] = {  // what fits, exactly; one more is refused, not cut
      {BuildShortcutPath, kShortcutPathSize, "C:\\Startup", "C:\\Startup" + lnk}, {BuildShortcutPath, kShortcutPathSize, "C:\\Startup\\", "C:\\Startup" + lnk},
      {BuildShortcutPath, kShortcutPathSize, "", "refused"},  // never the root of the drive
      {BuildShortcutPath, kShortcutPathSize, fits, fits + lnk}, {BuildShortcutPath, kShortcutPathSize, fits + "f", "refused"},
      {BuildShortcutPath, kShortcutPathSize, fits + "\\", fits + lnk},  // a separator of its own counts once
      {ExecutableFolder, kWorkingFolderSize, "C:\\Program Files\\VEZ\\VEZ-15.exe", "C:\\Program Files\\VEZ"},
      {ExecutableFolder, kWorkingFolderSize, exe + "\\a.e", exe}, {ExecutableFolder, kWorkingFolderSize, exe + "\\a.ex", "refused"}};
  for (const auto& r : rows) EXPECT_EQ(Built(r.build, r.in, r.size), r.out) << r.in.substr(0, 40) << " (" << r.in.size() << " bytes)";
}

}  // namespace
