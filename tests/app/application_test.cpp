// The application object end to end on fakes: window creation loads the settings and derives the
// palettes before the workers start, the workers run and publish, and window destruction joins
// them and writes the normalised settings back.
#include "app/application.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "fakes/fake_application_services.h"
#include "fakes/fake_name_resolution.h"
#include "fakes/recording_poster.h"
#include "settings/settings_file.h"

namespace tolvane {
namespace {

TEST(Application, LoadsThemeRunsWorkersAndSavesNormalisedSettings) {
  FakeApplicationServices fakes;
  const std::wstring path = SettingsFilePath(fakes.files);
  // An older file: no ver line, a refresh interval that the upgrade lowers, a theme to start in.
  fakes.files.files[path] = "theme=4\r\nrefreshMs=2000\r\nscrollSpeed=99\r\nprefixes=104, 3;x\r\n";
  CommandLineState demo;
  demo.demoMode = true;
  Application app(demo, fakes.Services());

  // Before creation: the default "Dark" gradient.
  EXPECT_EQ(app.ActiveBackground().colours, (std::vector<uint32_t>{0xFF161621u, 0xFF0A0A12u}));

  app.OnCreate();
  const BackgroundGradient light = app.ActiveBackground();
  EXPECT_EQ(light.colours, (std::vector<uint32_t>{0xFFE0E9F8u, 0xFFEEF2FBu}));
  EXPECT_EQ(light.direction, 1);
  EXPECT_EQ(app.settings().refreshMs.load(), 500);
  EXPECT_TRUE(app.callPrefixes().MatchesCallPrefix(L"35.214.40.77"));
  EXPECT_FALSE(app.callPrefixes().MatchesCallPrefix(L"66.22.199.5"));

  // The refresh thread publishes the demonstration rows; the ping thread measures them (demo times).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((app.publishedRows().snapshotCounter.load() == 0 || app.latencyBook().SampleCounter() == 0) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_GT(app.publishedRows().snapshotCounter.load(), 0u);
  EXPECT_GT(app.latencyBook().SampleCounter(), 0u);
  bool sawDemoRow = false;
  for (const ConnectionRow& row : app.publishedRows().CopyRows())
    sawDemoRow = sawDemoRow || (row.pid == 4242 && row.remoteAddress == L"35.214.40.77");
  EXPECT_TRUE(sawDemoRow);

  const auto stopStart = std::chrono::steady_clock::now();
  app.OnDestroy();
  EXPECT_LT(std::chrono::steady_clock::now() - stopStart, std::chrono::seconds(5));
  EXPECT_EQ(app.packetCapture().status(), CaptureStatus::Off);
  EXPECT_FALSE(app.WorkerLeftRunning());  // an idle lookup worker is joined

  const std::string saved = fakes.files.files[path];
  EXPECT_NE(saved.find("theme=4\r\n"), std::string::npos);
  EXPECT_NE(saved.find("refreshMs=500\r\n"), std::string::npos);
  EXPECT_NE(saved.find("scrollSpeed=10\r\n"), std::string::npos);
  EXPECT_NE(saved.find("prefixes=104,3\r\n"), std::string::npos);
  EXPECT_NE(saved.find("ver=2\r\n"), std::string::npos);
  EXPECT_EQ(fakes.files.files.count(path + L".tmp"), 0u);
}

TEST(Application, LookupCommandsReachTheToastPingServiceCacheAndSettingsFile) {
  FakeApplicationServices fakes;
  Application app(CommandLineState{}, fakes.Services());
  EXPECT_EQ(app.lookupCommands(), nullptr);  // nothing can answer a resolver before the window exists
  const auto resolver = std::make_shared<FakeNameResolver>();
  resolver->SetAnswer(L"example.org", L"203.0.113.9");
  const auto poster = std::make_shared<RecordingPoster>();
  app.AttachLookupPoster(resolver, poster);
  LookupCommands* commands = app.lookupCommands();
  ASSERT_NE(commands, nullptr);

  commands->SubmitLookupText(L"  https://example.org/path?q=1 ");
  EXPECT_EQ(app.copyFeedback().toast().text(), L"Finding example.org...");
  const std::vector<std::wstring> posts = poster->WaitFor(1);
  ASSERT_EQ(posts, std::vector<std::wstring>{L"resolved:example.org|203.0.113.9"});

  commands->OnHostResolved(L"example.org|203.0.113.9");
  EXPECT_EQ(app.currentLookup().address, L"203.0.113.9");
  EXPECT_EQ(app.currentLookup().websiteName, L"example.org");
  EXPECT_TRUE(app.currentLookup().panelOpen.load());
  EXPECT_EQ(app.copyFeedback().toast().text(), L"example.org \u2192 203.0.113.9");
  EXPECT_EQ(app.pingService().PingFocus(), L"203.0.113.9");
  EXPECT_EQ(app.lookupCache().QueueSize(), 1u);
  EXPECT_EQ(app.settings().lookupHist, L"example.org");
  const std::string saved = fakes.files.files[SettingsFilePath(fakes.files)];
  EXPECT_NE(saved.find("lookupHist=example.org\r\n"), std::string::npos) << saved;

  commands->OnHostNotFound(L"nowhere.example");
  EXPECT_EQ(app.copyFeedback().toast().text(), L"Could not find \"nowhere.example\"");
  EXPECT_EQ(app.currentLookup().address, L"203.0.113.9");
}

}  // namespace
}  // namespace tolvane
