// The host link through our simulated OrluneRemote.dll on its own audio thread: bound through
// the registry, fed a 1 kHz sine on bus 0 and measured by the host itself, then restarted.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "host/insert_callback.h"
#include "host/remote_api.h"
#include "tests/host/host_entry_win32.h"

namespace {

constexpr double kDeadlineSeconds = 60;  // every wait on the host thread; generous for a busy machine

std::atomic<int> g_restartPosts{0};
void CountRestart(void*) { ++g_restartPosts; }

// The report's "key=value" words; those of a channel's line as "N.key".
std::map<std::string, std::string> ReadReport(const std::string& path) {
  std::map<std::string, std::string> r;
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    std::istringstream words(line);
    std::string prefix;
    for (std::string word; words >> word;) {
      const size_t eq = word.find('=');
      if (eq == std::string::npos) continue;
      if (word.compare(0, eq, "channel") == 0) prefix = word.substr(eq + 1) + ".";
      r.emplace(prefix + word.substr(0, eq), word.substr(eq + 1));
    }
  }
  return r;
}

template <typename Done>
bool WaitFor(Done done) {
  for (int i = 0; i < kDeadlineSeconds * 100 && !done(); ++i) Sleep(10);
  return done();
}

TEST(SimulatedHost, EqualizesBusZeroCopiesTheRestAndRestartsOnRequest) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string report = std::string(temp) + "geq15_simhost_report.txt";
  const std::string control = std::string(temp) + "geq15_simhost_control.txt";
  std::remove(report.c_str());
  std::remove(control.c_str());
  // Read at login; CONFIG=none keeps an ini beside the DLL out of it.
  const std::pair<const char*, std::string> settings[] = {
      {"CONFIG", "none"},     {"TYPE", "3"},     {"RATE", "48000"},  {"BLOCK", "480"},
      {"PACING", "fast"},     {"SETTLE", "0.4"}, {"WINDOW", "0.5"},  {"SIGNAL", "white:-20"},
      {"SIGNAL_0", "sine:1000:-12"}, {"SIGNAL_1", "sine:1000:-12"}, {"REPORT", report}, {"CONTROL", control}};
  for (const auto& s : settings) SetEnvironmentVariableA((std::string("ORLUNE_SIM_") + s.first).c_str(), s.second.c_str());

  HostEntryOverride entry;
  entry.Set(WindowsPath(SIMHOST_DIR) + "\\uninstall.exe");
  ASSERT_EQ(BindRemoteLibrary(), 0);
  ASSERT_GE(g_remoteApi.KLORM_Login(), 0);
  std::unique_ptr<InsertContext> ctx(new InsertContext());
  ASSERT_EQ(GEQ15_Create(&ctx->engine), 0);
  // Set before the start: the start command designs the first set from the records.
  ctx->engine.filter->param[0].g9 = ctx->engine.filter->param[1].g9 = 12.0f;
  InsertCallback_SetRestartPoster(CountRestart);
  char client[kHostClientNameBytes] = {};
  ASSERT_NE(g_remoteApi.KLORM_AudioCallbackRegister(kHostModeOutputInsert, InsertCallback, ctx.get(), client),
            kHostInsertBusy);
  g_remoteApi.KLORM_AudioCallbackStart();

  std::map<std::string, std::string> r;
  ASSERT_TRUE(WaitFor([&] { r = ReadReport(report); return r["window_complete"] == "1"; }))
      << "the host never completed its measurement window";
  for (const std::string c : {"0.", "1."})  // band 9 is centred on 1 kHz: +12 dB there, exactly
    EXPECT_NEAR(std::stod(r[c + "out_rms_db"]) - std::stod(r[c + "in_rms_db"]), 12.0, 0.05) << "channel " << c;
  EXPECT_EQ(r["non_equalized_exact"], "1");
  EXPECT_EQ(r["untouched_total"], "0");

  // The host asks for a restart; the window (here: the test) answers by starting again.
  { std::ofstream(control, std::ios::app) << "restart\n"; }
  ASSERT_TRUE(WaitFor([&] { return g_restartPosts.load() == 1; })) << "the restart request was not posted";
  g_remoteApi.KLORM_AudioCallbackStart();
  EXPECT_TRUE(WaitFor([&] { r = ReadReport(report); return r["starts"] == "2"; })) << "no second start";

  g_remoteApi.KLORM_Logout();
  g_remoteApi.KLORM_AudioCallbackUnregister();
  InsertCallback_SetRestartPoster(nullptr);
  GEQ15_Destroy(&ctx->engine);
}

}  // namespace
