// The binding's check order, the host folder rules and the bus lists, without the platform.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "host/remote_api.h"

namespace {

// Folder from a registry value given as text; the byte count includes the terminating zero. A
// refused value leaves the buffer untouched; a found folder is zero-filled to 512 bytes, no further.
std::string Folder(const std::string& value, int32_t* found) {
  char folder[kHostFolderBufferBytes];
  std::memset(folder, 'x', sizeof folder);
  *found = HostFolderFromUninstallString(value.c_str(), static_cast<uint32_t>(value.size() + 1), folder);
  if (*found == 0) {
    EXPECT_EQ(std::count(folder, folder + sizeof folder, 'x'), kHostFolderBufferBytes);
    return "";
  }
  const size_t length = std::strlen(folder);
  EXPECT_EQ(std::count(folder + length, folder + kHostFolderMaxBytes, '\0'), kHostFolderMaxBytes - length);
  EXPECT_EQ(folder[kHostFolderMaxBytes], 'x');
  return folder;
}

// Cut at the last backslash; the byte limit counts the terminating zero (511 fits, 512 does not).
TEST(HostFolder, CutRulesAndLimits) {
  const struct {
    std::string value;
    int32_t found;
    std::string folder;
  } rows[] = {
      {"C:\\Program Files\\Kelmora\\Orlune\\uninstall.exe", 1, "C:\\Program Files\\Kelmora\\Orlune"},
      {"\"C:\\Orlune\\uninstall.exe\" /S", 1, "\"C:\\Orlune"},  // quote kept; the load fails later
      {"uninstall.exe", 1, "uninstall.exe"},
      {"\\uninstall.exe", 1, ""},
      {"C:\\Orlune\\", 1, "C:\\Orlune"},
      {"", 1, ""},
      {"C:\\" + std::string(505, 'a') + "\\u", 1, "C:\\" + std::string(505, 'a')},
      {"C:\\" + std::string(506, 'a') + "\\u", 0, ""},
      {std::string(900, 'a') + "\\u", 0, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value.substr(0, 40));
    int32_t found = -1;
    EXPECT_EQ(Folder(row.value, &found), row.folder);
    EXPECT_EQ(found, row.found);
  }

  const char unterminated[] = {'C', ':', '\\', 'O', '\\', 'u'};
  char folder[kHostFolderBufferBytes] = {};
  EXPECT_EQ(HostFolderFromUninstallString(unterminated, sizeof unterminated, folder), 0);
  EXPECT_EQ(HostFolderFromUninstallString(unterminated, 0, folder), 0);
  EXPECT_EQ(folder[0], 0);
  // A zero inside the reported bytes ends the text there.
  const char early[] = "C:\\A\\u.exe\0\\tail";
  EXPECT_EQ(HostFolderFromUninstallString(early, sizeof early, folder), 1);
  EXPECT_STREQ(folder, "C:\\A");
}

// The codes as the host contract lists them, by table position.
constexpr int32_t kCodeOfEntry[kRemoteEntryCount] = {-1,  -2,  -2,  -3,  -4,  -5,  -6,  -7,  -8,
                                                     -9,  -15, -10, -11, -12, -13, -14, -30, -31,
                                                     -32, -33, -34, -35, -40, -41, -42, -43};

RemoteApi CompleteTable() {
  RemoteApi api;
  for (int i = 0; i < kRemoteEntryCount; ++i) api.entry[i] = reinterpret_cast<void*>(static_cast<uintptr_t>(0x1000 + i));
  return api;
}

TEST(RemoteBinding, FirstMissingEntryInCheckOrderGivesItsCode) {
  RemoteApi api = CompleteTable();
  EXPECT_EQ(RemoteApi_FirstMissing(&api), 0);
  for (int i = 0; i < kRemoteEntryCount; ++i) {
    RemoteApi one = CompleteTable();
    one.entry[i] = nullptr;
    EXPECT_EQ(RemoteApi_FirstMissing(&one), kCodeOfEntry[i]) << kRemoteExportNames[i];
  }
  EXPECT_STREQ(kRemoteExportNames[10], "KLORM_GetMidiMessage");
  EXPECT_EQ(reinterpret_cast<void*>(api.KLORM_GetMidiMessage), api.entry[10]);
  EXPECT_EQ(reinterpret_cast<void*>(api.KLORM_AudioCallbackUnregister), api.entry[25]);

  // The MIDI entry sits at position 10 but is checked after the wide string setter.
  api.KLORM_GetMidiMessage = nullptr;
  api.KLORM_SetParameterStringW = nullptr;
  EXPECT_EQ(RemoteApi_FirstMissing(&api), -14);
  api.KLORM_SetParameterStringW = CompleteTable().KLORM_SetParameterStringW;
  api.KLORM_Output_GetDeviceNumber = nullptr;
  EXPECT_EQ(RemoteApi_FirstMissing(&api), -15);
  std::memset(&api, 0, sizeof api);
  EXPECT_EQ(RemoteApi_FirstMissing(&api), -1);
}

// A host whose type query answers as the test says.
int32_t g_typeResult = 0;
int32_t g_typeValue = 0;
int32_t ORLUNE_CALL FakeGetOrluneType(int32_t* type) {
  *type = g_typeValue;
  return g_typeResult;
}
int g_repaints = 0;
void CountRepaint(void*) { ++g_repaints; }

TEST(RefreshHostTypeCases, BusListsAndRepaint) {
  const struct {
    int32_t result, type, hostTypeBefore;
    int32_t hostType, busCount;
    std::vector<std::string> labels;
    int repaints;
  } cases[] = {
      {0, 1, 0, 1, 2, {"BUS A", "BUS B"}, 1},
      {0, 2, 0, 2, 5, {"BUS A1", "BUS A2", "BUS A3", "BUS B1", "BUS B2"}, 1},
      {0, 3, 0, 3, 8, {"BUS A1", "BUS A2", "BUS A3", "BUS A4", "BUS A5", "BUS B1", "BUS B2", "BUS B3"}, 1},
      {0, 7, 0, 7, 0, {}, 1},   // unknown type: stored, no buses, repainted
      {0, 0, 0, 0, 0, {}, 0},   // type 0: nothing changes, asked again at the next poll
      {-1, 3, 0, 0, 0, {}, 0},  // failed query
      {0, 2, 2, 2, 0, {}, 0},   // unchanged type
  };
  RemoteApi api = {};
  api.KLORM_GetOrluneType = FakeGetOrluneType;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "result " << c.result << " type " << c.type);
    std::unique_ptr<InsertContext> ctx(new InsertContext());
    ctx->hostType = c.hostTypeBefore;
    ctx->busCount = 3;  // stale list from before, must be cleared
    ctx->busLabels = HostBusListForType(3).busLabels;
    g_typeResult = c.result;
    g_typeValue = c.type;
    g_repaints = 0;
    RefreshHostType(ctx.get(), &api, CountRepaint);
    EXPECT_EQ(ctx->hostType, c.hostType);
    EXPECT_EQ(ctx->busCount, c.busCount);
    EXPECT_EQ(g_repaints, c.repaints);
    ASSERT_EQ(ctx->busLabels == nullptr, c.labels.empty());
    for (size_t i = 0; i < c.labels.size(); ++i) EXPECT_EQ(c.labels[i], ctx->busLabels[i]);
  }
  // Without a repaint hook the list is still set.
  std::unique_ptr<InsertContext> ctx(new InsertContext());
  g_typeResult = 0;
  g_typeValue = 1;
  RefreshHostType(ctx.get(), &api, nullptr);
  EXPECT_EQ(ctx->busCount, 2);
}

}  // namespace
