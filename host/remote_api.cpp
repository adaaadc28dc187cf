#include "host/remote_api.h"

#include <cstring>

const char* const kRemoteExportNames[kRemoteEntryCount] = {
    "KLORM_Login",
    "KLORM_Logout",
    "KLORM_RunOrlune",
    "KLORM_GetOrluneType",
    "KLORM_GetOrluneVersion",
    "KLORM_IsParametersDirty",
    "KLORM_GetParameterFloat",
    "KLORM_GetParameterStringA",
    "KLORM_GetParameterStringW",
    "KLORM_GetLevel",
    "KLORM_GetMidiMessage",
    "KLORM_SetParameterFloat",
    "KLORM_SetParameters",
    "KLORM_SetParametersW",
    "KLORM_SetParameterStringA",
    "KLORM_SetParameterStringW",
    "KLORM_Output_GetDeviceNumber",
    "KLORM_Output_GetDeviceDescA",
    "KLORM_Output_GetDeviceDescW",
    "KLORM_Input_GetDeviceNumber",
    "KLORM_Input_GetDeviceDescA",
    "KLORM_Input_GetDeviceDescW",
    "KLORM_AudioCallbackRegister",
    "KLORM_AudioCallbackStart",
    "KLORM_AudioCallbackStop",
    "KLORM_AudioCallbackUnregister",
};

RemoteApi g_remoteApi;

namespace {

struct EntryCheck {
  int index;  // into RemoteApi::entry
  int32_t missingCode;
};

// The midi entry sits eleventh in the table but is checked after the wide string setter, so a
// library that lacks only it reports -15; logout and run share -2.
constexpr EntryCheck kEntryChecks[kRemoteEntryCount] = {
    {0, -1},   {1, -2},   {2, -2},   {3, -3},   {4, -4},   {5, -5},   {6, -6},
    {7, -7},   {8, -8},   {9, -9},   {11, -10}, {12, -11}, {13, -12}, {14, -13},
    {15, -14}, {10, -15}, {16, -30}, {17, -31}, {18, -32}, {19, -33}, {20, -34},
    {21, -35}, {22, -40}, {23, -41}, {24, -42}, {25, -43},
};

const char* const kBusLabelsType1[] = {"BUS A", "BUS B"};
const char* const kBusLabelsType2[] = {"BUS A1", "BUS A2", "BUS A3", "BUS B1", "BUS B2"};
const char* const kBusLabelsType3[] = {"BUS A1", "BUS A2", "BUS A3", "BUS A4",
                                       "BUS A5", "BUS B1", "BUS B2", "BUS B3"};

}  // namespace

int32_t FirstMissingRemoteFunction(const RemoteApi* api) {
  for (const EntryCheck& check : kEntryChecks) {
    if (api->entry[check.index] == nullptr) return check.missingCode;
  }
  return 0;
}

int32_t HostFolderFromUninstallString(const char* value, uint32_t byteCount, char* folder) {
  if (value == nullptr) return 0;
  // The registry may return the text without its terminating zero: it then ends at the count.
  const void* zero = std::memchr(value, '\0', byteCount);
  const size_t length = zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - value) : byteCount;
  size_t folderLength = length;
  for (size_t i = length; i-- > 0;) {
    if (value[i] == '\\') {
      folderLength = i;
      break;
    }
  }
  // Only the folder and its terminating zero must fit; a longer folder would be cut short and
  // name another place.
  if (folderLength >= static_cast<size_t>(kHostFolderMaxBytes)) return 0;
  std::memcpy(folder, value, folderLength);
  std::memset(folder + folderLength, 0, static_cast<size_t>(kHostFolderMaxBytes) - folderLength);
  return 1;
}

HostBusList HostBusListForType(int32_t hostType) {
  switch (hostType) {
    case 1: return {2, kBusLabelsType1};
    case 2: return {5, kBusLabelsType2};
    case 3: return {8, kBusLabelsType3};
    default: return {0, nullptr};
  }
}

int32_t RefreshHostType(HostLink* link, const RemoteApi* api) {
  link->busCount = 0;
  link->busLabels = nullptr;
  if (api->KLORM_GetOrluneType == nullptr) return 0;
  int32_t type = 0;
  if (api->KLORM_GetOrluneType(&type) != 0) return 0;
  // The bus list was cleared above: when the type is unchanged it stays cleared, which the
  // timer only ever meets while hostType is 0, so there is no list to lose.
  if (type == link->hostType) return 0;
  link->hostType = type;
  const HostBusList list = HostBusListForType(type);
  link->busCount = list.busCount;
  link->busLabels = list.busLabels;
  return 1;
}
