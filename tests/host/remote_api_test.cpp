// The binding's check order, the host folder rules and the bus lists, without the platform.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "host/remote_api.h"

namespace {

// Folder from a registry value of `count` bytes (the text and its zero unless given). A refused
// value leaves the buffer untouched; a found folder is zero-filled to 512 bytes, no further.
std::string Folder(const std::string& value, int32_t* found, size_t count = std::string::npos) {
  char folder[kHostFolderBufferBytes];
  std::memset(folder, 'x', sizeof folder);
  *found = HostFolderFromUninstallString(value.c_str(), uint32_t(std::min(count, value.size() + 1)), folder);
  if (*found == 0) return std::count(folder, folder + sizeof folder, 'x') == kHostFolderBufferBytes ? "" : "touched";
  const size_t length = std::strlen(folder);
  EXPECT_EQ(std::count(folder + length, folder + kHostFolderMaxBytes, '\0'), kHostFolderMaxBytes - length);
  EXPECT_EQ(folder[kHostFolderMaxBytes], 'x');
  return folder;
}

// Cut at the last backslash; the 512-byte limit counts the folder and its zero (511 fits).
TEST(HostFolder, CutRulesAndLimits) {
  const std::string a508(508, 'a'), long600 = "C:\\Orlune\\" + std::string(590, 'u');
  const struct { std::string value; int32_t found; std::string folder; size_t count = std::string::npos; } rows[] = {
      {"C:\\Program Files\\Orlune\\uninstall.exe", 1, "C:\\Program Files\\Orlune"},
      {"\"C:\\Orlune\\uninstall.exe\" /S", 1, "\"C:\\Orlune"},  // the load fails later
      {"uninstall.exe", 1, "uninstall.exe"}, {"\\uninstall.exe", 1, ""}, {"", 1, ""},
      {long600, 1, "C:\\Orlune"},  // a long uninstaller name
      {"C:\\" + a508 + "\\u", 1, "C:\\" + a508}, {"C:\\" + a508 + "a\\u", 0, ""},
      {"C:\\O\\u", 1, "C:\\O", 6},  // no terminating zero: the text ends at the count
      {std::string("C:\\A\\u.exe\0\\tail", 16), 1, "C:\\A", 17}};  // a zero inside the count ends the text
  for (const auto& row : rows) {
    int32_t found = -1;
    const std::string folder = Folder(row.value, &found, row.count);
    EXPECT_EQ(std::make_pair(folder, found), std::make_pair(row.folder, row.found)) << row.value.substr(0, 40) << " (" << row.value.size() << " bytes)";
  }
}

RemoteApi CompleteTable() {
  RemoteApi api;
  for (int i = 0; i < kRemoteEntryCount; ++i) api.entry[i] = reinterpret_cast<void*>(static_cast<uintptr_t>(0x1000 + i));
  return api;
}

// Each entry alone missing gives its own code (logout and run share -2); the midi entry sits
// eleventh but is checked after the wide string setter, whose code wins when both are missing.
TEST(RemoteBinding, EveryMissingEntryIsReportedInCheckOrder) {
  const int32_t codes[kRemoteEntryCount] = {-1,  -2,  -2,  -3,  -4,  -5,  -6,  -7,  -8,  -9,  -15, -10, -11,
                                            -12, -13, -14, -30, -31, -32, -33, -34, -35, -40, -41, -42, -43};
  RemoteApi api = CompleteTable();
  EXPECT_EQ(FirstMissingRemoteFunction(&api), 0);
  for (int i = 0; i < kRemoteEntryCount; ++i) {
    api.entry[i] = nullptr;
    EXPECT_EQ(FirstMissingRemoteFunction(&api), codes[i]) << kRemoteExportNames[i];
    api.entry[i] = CompleteTable().entry[i];
  }
  api.KLORM_GetMidiMessage = api.KLORM_SetParameterStringW = nullptr;
  EXPECT_EQ(FirstMissingRemoteFunction(&api), -14);
}

// A host whose type query answers as the test says.
int32_t g_typeResult = 0, g_typeValue = 0;
int32_t ORLUNE_CALL FakeGetOrluneType(int32_t* type) {
  *type = g_typeValue;
  return g_typeResult;
}
TEST(RefreshHostTypeCases, BusListsAndChange) {
  const struct { int32_t result, type, hostTypeBefore, hostType, busCount; std::vector<std::string> labels; int32_t changed; } cases[] = {
      {0, 1, 0, 1, 2, {"BUS A", "BUS B"}, 1},
      {0, 2, 0, 2, 5, {"BUS A1", "BUS A2", "BUS A3", "BUS B1", "BUS B2"}, 1},
      {0, 3, 0, 3, 8, {"BUS A1", "BUS A2", "BUS A3", "BUS A4", "BUS A5", "BUS B1", "BUS B2", "BUS B3"}, 1},
      {0, 7, 0, 7, 0, {}, 1},   // unknown type: stored, no buses, changed
      {0, 0, 0, 0, 0, {}, 0},   // type 0: nothing changes, asked again at the next poll
      {-1, 3, 0, 0, 0, {}, 0},  // failed query
      {0, 2, 2, 2, 0, {}, 0},   // unchanged type
  };
  RemoteApi api = {};
  api.KLORM_GetOrluneType = FakeGetOrluneType;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "result " << c.result << " type " << c.type);
    // A stale list from before must be cleared.
    HostLink link{0, c.hostTypeBefore, 3, HostBusListForType(3).busLabels};
    g_typeResult = c.result, g_typeValue = c.type;
    const int32_t changed = RefreshHostType(&link, &api);
    const std::vector<std::string> labels(link.busLabels, link.busLabels + (link.busLabels ? link.busCount : 0));
    EXPECT_EQ(std::make_tuple(changed, link.hostType, link.busCount, labels, link.busLabels == nullptr),
              std::make_tuple(c.changed, c.hostType, c.busCount, c.labels, c.labels.empty()));
  }
}

}  // namespace
