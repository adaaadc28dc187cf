// OrluneRemote.dll, simulated: a small host of our own behind the real library's 26 exports,
// so the program can be run and measured end to end where the real mixer cannot run.
// One host thread runs from login to unregistration: it polls the control file, fires the
// timed triggers and, while a stream runs, calls the registered insert with generated audio.
#include <windows.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "files/file_io.h"
#include "host/orlune_contract.h"
#include "tools/simhost/sim_audio.h"

#define SIM_EXPORT extern "C" __declspec(dllexport)

namespace {

HMODULE g_module = nullptr;

struct Host {
  SimConfig config;
  std::vector<std::string> configErrors;
  std::atomic<bool> loggedIn{false};
  std::atomic<bool> stopped{false};     // the host does not answer
  std::atomic<int32_t> hostType{3};
  std::atomic<bool> startRequested{false};
  std::atomic<bool> restartRequested{false};
  std::atomic<bool> pauseRequested{false};
  std::atomic<bool> quit{false};
  HANDLE thread = nullptr;
  // Written on the caller's thread at registration, read by the host thread.
  std::atomic<OrluneInsertCallback> callback{nullptr};
  std::atomic<void*> user{nullptr};
  LARGE_INTEGER loginTime{};
};
Host g_host;

std::string ModuleFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(g_module, path, MAX_PATH);
  std::string s(path, n);
  const size_t cut = s.find_last_of("\\/");
  return cut == std::string::npos ? std::string(".") : s.substr(0, cut);
}

// From the process environment itself: the C runtime's copy is taken when it starts and misses
// variables a host program sets just before loading the library.
bool ReadEnvironment(const std::string& name, std::string* value) {
  char buffer[4096];
  const DWORD n = GetEnvironmentVariableA(name.c_str(), buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return false;
  value->assign(buffer, n);
  return true;
}

// The configuration and the control file: a few lines each.
std::string ReadSmallFile(const std::string& path, bool* found) {
  std::string text;
  *found = ReadFileWithin(path.c_str(), 1u << 20, &text) == FileReadProblem::kNone;
  return text;
}

// Settings come from OrluneRemote.ini beside the library (or the file ORLUNE_SIM_CONFIG names;
// "none" reads no file),
// then from ORLUNE_SIM_<KEY> environment variables, which win. Wine passes the Unix environment
// through, so a test script can configure the host without writing a file.
void LoadConfig(Host* host) {
  host->config = SimConfig();
  host->configErrors.clear();
  const std::string folder = ModuleFolder();
  std::string iniPath;
  const bool configNamed = ReadEnvironment("ORLUNE_SIM_CONFIG", &iniPath);
  if (!configNamed) iniPath = folder + "\\OrluneRemote.ini";
  bool found = false;
  const bool skipFile = configNamed && iniPath == "none";  // settings from the environment only
  const std::string text = skipFile ? std::string() : ReadSmallFile(iniPath, &found);
  if (found) ApplySimConfigText(&host->config, text, &host->configErrors);
  else if (configNamed && !skipFile) host->configErrors.push_back("cannot read the config file " + iniPath);

  static const char* const kKeys[] = {"type", "rate", "block", "buffer_frames", "pacing", "seconds", "in_place",
                                      "settle", "window", "eq_bus", "signal", "report", "wav_out", "control",
                                      "busy_client", "login_result", "stopped", "restart_at", "stop_at", "back_at"};
  for (const char* key : kKeys) {
    std::string name = "ORLUNE_SIM_";
    for (const char* p = key; *p; ++p) name += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    std::string value;
    if (ReadEnvironment(name, &value)) {
      const std::string error = ApplySimConfig(&host->config, key, value);
      if (!error.empty()) host->configErrors.push_back(name + ": " + error);
    }
  }
  for (int32_t j = 0; j < kHostMaxChannels; ++j) {
    std::string value;
    if (ReadEnvironment("ORLUNE_SIM_SIGNAL_" + std::to_string(j), &value)) {
      const std::string error = ApplySimConfig(&host->config, "signal." + std::to_string(j), value);
      if (!error.empty()) host->configErrors.push_back("ORLUNE_SIM_SIGNAL_" + std::to_string(j) + ": " + error);
    }
  }
  if (host->config.reportPath.empty()) host->config.reportPath = folder + "\\OrluneRemote-report.txt";
  if (host->config.controlPath.empty()) host->config.controlPath = folder + "\\OrluneRemote.control";
}

double SecondsSince(const LARGE_INTEGER& then) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - then.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Everything the host thread owns for one stream.
struct Stream {
  bool running = false;
  int32_t channelTotal = 0;
  int32_t frames = 0;
  int64_t framesSent = 0;
  int64_t settleFrames = 0, windowFrames = 0, runFrames = 0;
  bool windowReported = false;
  std::vector<SignalGenerator> generators;
  std::vector<std::vector<float>> generated, output;
  std::vector<float> wav;  // the equalized bus's output over the window, interleaved
  HostAudioBuffer record{};
  LARGE_INTEGER started{};
  int64_t pacedFrom = 0;  // frames sent when pacing at the sample rate began, at pacedSince
  LARGE_INTEGER pacedSince{};
};

SimReport g_report;

void WriteReport(const Host& host, const Stream& stream) {
  std::string text = FormatSimReport(g_report);
  for (const std::string& error : host.configErrors) text += "config_error=" + error + "\n";
  // Written beside and renamed, so a reader polling the report never sees half of it; not
  // flushed, since a report matters only while its readers run.
  // A Windows reader that has the report open (without delete sharing) makes the rename
  // fail for that moment; the window's one report must not be lost to it, so try again.
  for (int tries = 0; tries < 400; ++tries) {
    const int32_t result = WriteFileReplacing(host.config.reportPath.c_str(), text.data(), text.size(), ReplaceMode{false, false});
    if (result != -3) break;
    Sleep(5);
  }
  if (!host.config.wavOutPath.empty() && !stream.wav.empty()) WriteWavFloat(host.config.wavOutPath, host.config.rate, 2, stream.wav);
}

void StartStream(Host* host, Stream* stream) {
  const SimConfig& c = host->config;
  stream->channelTotal = SimChannelTotal(host->hostType.load());
  stream->frames = SimFramesPerBuffer(c);
  stream->framesSent = 0;
  stream->settleFrames = static_cast<int64_t>(c.settleSeconds * c.rate);
  stream->windowFrames = static_cast<int64_t>(c.windowSeconds * c.rate);
  stream->runFrames = static_cast<int64_t>(c.runSeconds * c.rate);
  stream->windowReported = false;
  stream->generators.assign(stream->channelTotal, SignalGenerator());
  stream->generated.assign(stream->channelTotal, std::vector<float>(stream->frames));
  stream->output.assign(stream->channelTotal, std::vector<float>(stream->frames));
  stream->wav.clear();
  g_report.signals.assign(stream->channelTotal, c.signal);
  for (int32_t j = 0; j < stream->channelTotal; ++j) {
    auto own = c.channelSignal.find(j);
    if (own != c.channelSignal.end()) g_report.signals[j] = own->second;
    InitSignalGenerator(&stream->generators[j], g_report.signals[j], j);  // checked when configured
  }
  stream->record = HostAudioBuffer();
  stream->record.rate = c.rate;
  stream->record.frameCount = c.block;
  stream->record.channelTotal = stream->channelTotal;
  for (int32_t j = 0; j < stream->channelTotal; ++j) {
    stream->record.readPtr[j] = c.inPlace ? stream->output[j].data() : stream->generated[j].data();
    stream->record.writePtr[j] = stream->output[j].data();
  }
  g_report.hostType = host->hostType.load();
  g_report.rate = c.rate;
  g_report.block = c.block;
  g_report.bufferFrames = stream->frames;
  g_report.channelTotal = stream->channelTotal;
  g_report.eqBus = c.eqBus;
  g_report.starts += 1;
  g_report.buffers = 0;
  g_report.windowComplete = false;
  g_report.channels.assign(stream->channelTotal, ChannelStats());
  host->callback.load()(host->user.load(), kHostCommandStart, &stream->record, 0);
  QueryPerformanceCounter(&stream->started);
  stream->pacedFrom = 0;
  stream->pacedSince = stream->started;
  stream->running = true;
  WriteReport(*host, *stream);
}

void SendBuffer(Host* host, Stream* stream) {
  const SimConfig& c = host->config;
  const int32_t frames = stream->frames;
  for (int32_t j = 0; j < stream->channelTotal; ++j) {
    FillSignal(&stream->generators[j], c.rate, stream->generated[j].data(), frames);
    if (c.inPlace) std::memcpy(stream->output[j].data(), stream->generated[j].data(), frames * sizeof(float));
    else FillUntouched(stream->output[j].data(), frames);
  }
  stream->record.frameCount = frames;
  host->callback.load()(host->user.load(), kHostCommandBuffer, &stream->record, 0);

  // The part of this buffer that falls into [settle, settle + window) is measured.
  const int64_t begin = stream->framesSent, end = begin + frames;
  const int64_t from = begin > stream->settleFrames ? begin : stream->settleFrames;
  const int64_t windowEnd = stream->settleFrames + stream->windowFrames;
  const int64_t to = end < windowEnd ? end : windowEnd;
  const int32_t offset = static_cast<int32_t>(from > to ? 0 : from - begin);
  const int32_t count = static_cast<int32_t>(from > to ? 0 : to - from);
  for (int32_t j = 0; j < stream->channelTotal; ++j) {
    AddChannelStats(&g_report.channels[j], stream->generated[j].data(), stream->output[j].data(), frames, offset, count,
                     !c.inPlace);
  }
  const int32_t eq = c.eqBus * kChannelsPerBus;
  if (!c.wavOutPath.empty() && eq + 1 < stream->channelTotal) {
    for (int32_t i = offset; i < offset + count; ++i) {
      stream->wav.push_back(stream->output[eq][i]);
      stream->wav.push_back(stream->output[eq + 1][i]);
    }
  }
  stream->framesSent = end;
  g_report.buffers += 1;
  if (!stream->windowReported && end >= windowEnd) {
    stream->windowReported = true;
    g_report.windowComplete = true;
    WriteReport(*host, *stream);
    // Fast pacing hurries only to the measurement; afterwards the stream goes on at the sample
    // rate, so a program waiting for its user does not keep a core busy.
    stream->pacedFrom = end;
    QueryPerformanceCounter(&stream->pacedSince);
  }
}

// Control file: one command per line, appended while the host runs; each line is acted on once.
//   restart   send the restart request, then wait for the next KLORM_AudioCallbackStart
//   stop      the host stops answering (KLORM_IsParametersDirty and the type query fail)
//   back      the host answers again
//   type N    the host reports type N from now on (the next stream uses its channel count)
size_t g_controlLinesDone = 0;

void ApplyControl(Host* host, const std::string& line) {
  std::istringstream words(line);
  std::string command;
  words >> command;
  if (command == "restart") host->restartRequested = true;
  else if (command == "stop") host->stopped = true;
  else if (command == "back") host->stopped = false;
  else if (command == "type") {
    int32_t type = 0;
    if (words >> type) host->hostType = type;
  }
}

void PollControl(Host* host) {
  bool found = false;
  const std::string text = ReadSmallFile(host->config.controlPath, &found);
  if (!found) return;
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  if (!text.empty() && text.back() != '\n' && !lines.empty()) lines.pop_back();  // still being written
  if (lines.size() < g_controlLinesDone) g_controlLinesDone = 0;                    // file was replaced
  for (size_t i = g_controlLinesDone; i < lines.size(); ++i) ApplyControl(host, lines[i]);
  g_controlLinesDone = lines.size();
}

DWORD WINAPI HostThread(LPVOID) {
  Host* host = &g_host;
  Stream stream;
  bool restartFired = false, stopFired = false, backFired = false;
  LARGE_INTEGER lastPoll{};
  g_controlLinesDone = 0;
  while (!host->quit.load()) {
    if (SecondsSince(lastPoll) >= 0.05) {
      QueryPerformanceCounter(&lastPoll);
      PollControl(host);
      const double since = SecondsSince(host->loginTime);
      const SimConfig& c = host->config;
      if (!restartFired && c.restartAt >= 0 && since >= c.restartAt) restartFired = true, host->restartRequested = true;
      if (!stopFired && c.stopAt >= 0 && since >= c.stopAt) stopFired = true, host->stopped = true;
      if (!backFired && c.backAt >= 0 && since >= c.backAt) backFired = true, host->stopped = false;
    }
    if (host->callback != nullptr && host->startRequested.exchange(false)) StartStream(host, &stream);
    if (host->pauseRequested.exchange(false)) stream.running = false;
    if (stream.running && host->restartRequested.exchange(false)) {
      stream.running = false;
      g_report.restartRequests += 1;
      host->callback.load()(host->user.load(), kHostCommandRestart, &stream.record, 0);
      WriteReport(*host, stream);
    }
    const bool finished = stream.runFrames > 0 && stream.framesSent >= stream.runFrames;
    if (!stream.running || finished) {
      Sleep(5);
      continue;
    }
    if (host->config.realtime || stream.windowReported) {
      const double due = static_cast<double>(stream.framesSent - stream.pacedFrom) / host->config.rate;
      const double ahead = due - SecondsSince(stream.pacedSince);
      if (ahead > 0.002) {
        Sleep(ahead > 0.02 ? 10 : 1);
        continue;
      }
    }
    SendBuffer(host, &stream);
    if (stream.runFrames > 0 && stream.framesSent >= stream.runFrames) WriteReport(*host, stream);
  }
  WriteReport(*host, stream);
  return 0;
}

void StopHostThread(Host* host) {
  if (host->thread == nullptr) return;
  host->quit = true;
  WaitForSingleObject(host->thread, INFINITE);
  CloseHandle(host->thread);
  host->thread = nullptr;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

SIM_EXPORT int32_t ORLUNE_CALL KLORM_Login() {
  // The host thread reads the configuration; it is loaded only while no thread runs.
  if (g_host.thread != nullptr) return g_host.config.loginResult;
  LoadConfig(&g_host);
  if (g_host.config.loginResult < 0) return g_host.config.loginResult;
  g_host.stopped = g_host.config.stopped;
  g_host.hostType = g_host.config.hostType;
  QueryPerformanceCounter(&g_host.loginTime);
  g_host.loggedIn = true;
  if (g_host.thread == nullptr) {
    g_host.quit = false;
    g_host.thread = CreateThread(nullptr, 0, HostThread, nullptr, 0, nullptr);
  }
  return g_host.config.loginResult;
}

SIM_EXPORT int32_t ORLUNE_CALL KLORM_Logout() {
  g_host.loggedIn = false;
  return 0;
}

SIM_EXPORT int32_t ORLUNE_CALL KLORM_IsParametersDirty() { return g_host.stopped.load() ? -1 : 0; }

SIM_EXPORT int32_t ORLUNE_CALL KLORM_GetOrluneType(int32_t* type) {
  if (g_host.stopped.load() || type == nullptr) return -1;
  *type = g_host.hostType.load();
  return 0;
}

SIM_EXPORT int32_t ORLUNE_CALL KLORM_AudioCallbackRegister(int32_t mode, OrluneInsertCallback callback, void* user,
                                                           char* clientName) {
  if (!g_host.config.busyClient.empty()) {
    if (clientName != nullptr) {
      std::strncpy(clientName, g_host.config.busyClient.c_str(), kHostClientNameBytes - 1);
      clientName[kHostClientNameBytes - 1] = '\0';
    }
    return kHostInsertBusy;
  }
  if (mode != kHostModeOutputInsert || callback == nullptr) return -1;
  // Registration happens before the thread may call back; a stream starts only on request.
  g_host.user = user;
  g_host.callback = callback;
  return 0;
}

SIM_EXPORT int32_t ORLUNE_CALL KLORM_AudioCallbackStart() {
  if (g_host.callback == nullptr || g_host.thread == nullptr) return -1;
  g_host.startRequested = true;
  return 0;
}

SIM_EXPORT int32_t ORLUNE_CALL KLORM_AudioCallbackStop() {
  g_host.pauseRequested = true;
  return 0;
}

SIM_EXPORT int32_t ORLUNE_CALL KLORM_AudioCallbackUnregister() {
  // After the thread has ended no call of the insert can follow.
  StopHostThread(&g_host);
  g_host.callback = nullptr;
  g_host.user = nullptr;
  return 0;
}

// Present for the binding; the program never calls them.
SIM_EXPORT int32_t ORLUNE_CALL KLORM_RunOrlune() { return 0; }
SIM_EXPORT int32_t ORLUNE_CALL KLORM_GetOrluneVersion() { return 0; }
SIM_EXPORT int32_t ORLUNE_CALL KLORM_GetParameterFloat() { return -1; }
SIM_EXPORT int32_t ORLUNE_CALL KLORM_GetParameterStringA() { return -1; }
SIM_EXPORT int32_t ORLUNE_CALL KLORM_GetParameterStringW() { return -1; }
SIM_EXPORT int32_t ORLUNE_CALL KLORM_GetLevel() { return -1; }
SIM_EXPORT int32_t ORLUNE_CALL KLORM_GetMidiMessage() { return 0; }
SIM_EXPORT int32_t ORLUNE_CALL KLORM_SetParameterFloat() { return -1; }
SIM_EXPORT int32_t ORLUNE_CALL KLORM_SetParameters() { return -1; }
SIM_EXPORT int32_t ORLUNE_CALL KLORM_SetParametersW() { return -1; }
SIM_EXPORT int32_t ORLUNE_CALL KLORM_SetParameterStringA() { return -1; }
SIM_EXPORT int32_t ORLUNE_CALL KLORM_SetParameterStringW() { return -1; }
SIM_EXPORT int32_t ORLUNE_CALL KLORM_Output_GetDeviceNumber() { return 0; }
SIM_EXPORT int32_t ORLUNE_CALL KLORM_Output_GetDeviceDescA() { return -1; }
SIM_EXPORT int32_t ORLUNE_CALL KLORM_Output_GetDeviceDescW() { return -1; }
SIM_EXPORT int32_t ORLUNE_CALL KLORM_Input_GetDeviceNumber() { return 0; }
SIM_EXPORT int32_t ORLUNE_CALL KLORM_Input_GetDeviceDescA() { return -1; }
SIM_EXPORT int32_t ORLUNE_CALL KLORM_Input_GetDeviceDescW() { return -1; }
