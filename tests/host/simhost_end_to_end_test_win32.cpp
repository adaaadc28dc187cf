// The program's host link end to end through our simulated OrluneRemote.dll: bound through the
// registry, fed a 1 kHz sine on bus 0, and measured by the host itself.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
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

std::atomic<int> g_restartPosts{0};
void CountRestart(void*) { ++g_restartPosts; }

std::string TempFile(const char* name) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + name;
}

// The report's "key=value" words; a line naming a channel goes under that channel's number.
struct Report {
  std::map<std::string, std::string> values;
  std::map<int, std::map<std::string, std::string>> channel;
};
Report ReadReport(const std::string& path) {
  Report r;
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    std::istringstream words(line);
    std::map<std::string, std::string> fields;
    for (std::string word; words >> word;) {
      const size_t eq = word.find('=');
      if (eq != std::string::npos) fields[word.substr(0, eq)] = word.substr(eq + 1);
    }
    if (fields.count("channel")) r.channel[std::stoi(fields["channel"])] = fields;
    else r.values.insert(fields.begin(), fields.end());
  }
  return r;
}

template <typename Done>
bool WaitFor(Done done, double seconds) {
  for (int i = 0; i < seconds * 100; ++i) {
    if (done()) return true;
    Sleep(10);
  }
  return done();
}

// |H| of one channel's designed cascade at `hz`, output gain included, in dB.
double DesignedGainDb(const GEQ15ChannelCoefs& c, double hz, double rate) {
  const std::complex<double> z1 = std::polar(1.0, -2.0 * 3.14159265358979323846 * hz / rate);
  std::complex<double> h = c.gain;
  for (int i = 0; i < kBandCount; ++i)  // b1 equals a1 in this design; a2 is stored negated
    h *= (double(c.b0[i]) + double(c.a1[i]) * z1 + double(c.b2[i]) * z1 * z1) /
         (1.0 + double(c.a1[i]) * z1 - double(c.na2[i]) * z1 * z1);
  return 20.0 * std::log10(std::abs(h));
}

TEST(SimulatedHost, EqualizesBusZeroCopiesTheRestAndRestartsOnRequest) {
  const std::string report = TempFile("geq15_simhost_report.txt");
  const std::string control = TempFile("geq15_simhost_control.txt");
  std::remove(report.c_str());
  std::remove(control.c_str());
  // The library reads its settings when it is loaded and logged in; set them before binding.
  // CONFIG=none: an ini beside the DLL must not interfere.
  const std::pair<const char*, std::string> settings[] = {
      {"CONFIG", "none"},    {"TYPE", "3"},           {"RATE", "48000"},       {"BLOCK", "480"},
      {"PACING", "realtime"}, {"SETTLE", "0.4"},      {"WINDOW", "0.5"},       {"SIGNAL", "white:-20"},
      {"SIGNAL_0", "sine:1000:-12"}, {"SIGNAL_1", "sine:1000:-12"}, {"REPORT", report}, {"CONTROL", control}};
  for (const auto& s : settings) SetEnvironmentVariableA((std::string("ORLUNE_SIM_") + s.first).c_str(), s.second.c_str());

  HostEntryOverride entry;
  entry.Set(WindowsPath(SIMHOST_DIR) + "\\uninstall.exe");
  ASSERT_EQ(BindRemoteLibrary(), 0);
  ASSERT_GE(g_remoteApi.KLORM_Login(), 0);
  EXPECT_EQ(g_remoteApi.KLORM_IsParametersDirty(), 0);

  std::unique_ptr<InsertContext> ctx(new InsertContext());
  RefreshHostType(ctx.get(), &g_remoteApi, nullptr);
  EXPECT_EQ(ctx->hostType, 3);
  EXPECT_EQ(ctx->busCount, 8);
  ASSERT_EQ(GEQ15_Create(&ctx->engine), 0);
  InsertCallback_SetRestartPoster(CountRestart);
  char client[kHostClientNameBytes] = {};
  ASSERT_NE(g_remoteApi.KLORM_AudioCallbackRegister(kHostModeOutputInsert, InsertCallback, ctx.get(), client),
            kHostInsertBusy);

  g_remoteApi.KLORM_AudioCallbackStart();
  ASSERT_TRUE(WaitFor([&] { return ctx->engine.started.load() == 1; }, 10)) << "no stream start arrived";
  ctx->engine.filter->param[0].g9 = 12.0f;
  ctx->engine.filter->param[1].g9 = 12.0f;
  ASSERT_EQ(GEQ15_PublishParams(&ctx->engine), 0);

  Report r;
  ASSERT_TRUE(WaitFor([&] { r = ReadReport(report); return r.values["window_complete"] == "1"; }, 20))
      << "the host never completed its measurement window";
  CoefficientSet designed;
  ASSERT_EQ(GEQ15_Design(ctx->engine.filter, &designed), 0);
  for (int ch = 0; ch < 2; ++ch) {
    const double measured = std::stod(r.channel[ch]["out_rms_db"]) - std::stod(r.channel[ch]["in_rms_db"]);
    const double expected = DesignedGainDb(designed.channel[ch], 1000.0, 48000.0);
    EXPECT_GT(expected, 11.0);  // the band really is raised
    EXPECT_NEAR(measured, expected, 0.05) << "channel " << ch;
  }
  EXPECT_EQ(r.values["non_equalized_exact"], "1");
  EXPECT_EQ(r.values["untouched_total"], "0");
  EXPECT_EQ(r.channel[2]["exact_copy"], "1");
  EXPECT_EQ(r.channel[63]["exact_copy"], "1");
  EXPECT_EQ(r.values["starts"], "1");

  // The host asks for a restart; the window (here: the test) answers by starting again.
  { std::ofstream(control, std::ios::app) << "restart\n"; }
  ASSERT_TRUE(WaitFor([&] { return g_restartPosts.load() == 1; }, 10)) << "the restart request was not posted";
  g_remoteApi.KLORM_AudioCallbackStart();
  ASSERT_TRUE(WaitFor([&] { r = ReadReport(report); return r.values["starts"] == "2"; }, 10));
  EXPECT_EQ(r.values["restart_requests"], "1");

  g_remoteApi.KLORM_Logout();
  g_remoteApi.KLORM_AudioCallbackUnregister();
  const int64_t buffersAfterUnregister = std::stoll(ReadReport(report).values["buffers"]);
  Sleep(100);
  EXPECT_EQ(std::stoll(ReadReport(report).values["buffers"]), buffersAfterUnregister);
  InsertCallback_SetRestartPoster(nullptr);
  GEQ15_Destroy(&ctx->engine);
  std::remove(report.c_str());
  std::remove(control.c_str());
}

}  // namespace
