// The loading and background sounds as the MCI command texts they send, their error texts, the
// volume arithmetic and the loop keeper's 700 ms rhythm, against a recording MCI.
#include <gtest/gtest.h>

#include "appearance/sounds.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_sound_commands.h"

namespace tolvane {
namespace {

using Commands = std::vector<std::wstring>;

class SoundsTest : public ::testing::Test {
 protected:
  SoundsTest() {
    files.files[L"C:\\snd\\intro.WAV"] = "RIFF";
    files.files[L"C:\\snd\\loop.mp3"] = "ID3";
  }
  Settings settings = MakeDefaultSettings();
  FakeSoundCommands mci;
  FakeFileSystem files;
  FakeClock clock;
  Sounds sounds{settings, mci, files, clock};
};

TEST(MciDeviceTypeTest, ByExtensionInAnyCase) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"C:\\a\\intro.WAV", L"waveaudio"}, {L"b.wav", L"waveaudio"},           {L"c.mid", L"sequencer"},
      {L"d.MIDI", L"sequencer"},           {L"e.mp3", L"mpegvideo"},           {L"f.wma", L"mpegvideo"},
      {L"C:\\a\\noext", L"mpegvideo"},     {L"C:\\x.wav\\song", L"mpegvideo"}, {L"g.wave", L"mpegvideo"},
  };
  for (auto [path, type] : cases) EXPECT_EQ(MciDeviceType(path), type) << path;
}

TEST_F(SoundsTest, LoadingSoundOpensUnderItsAliasAndPlaysOnce) {
  settings.splashSound = L"C:\\snd\\intro.WAV";
  EXPECT_EQ(sounds.StartLoadingSound(), L"");
  EXPECT_TRUE(sounds.loadingOpen());
  EXPECT_EQ(mci.sent, (Commands{L"open \"C:\\snd\\intro.WAV\" type waveaudio alias tlsplash", L"play tlsplash"}));

  // A second start closes the first before opening again.
  mci.sent.clear();
  EXPECT_EQ(sounds.StartLoadingSound(), L"");
  EXPECT_EQ(mci.sent, (Commands{L"stop tlsplash", L"close tlsplash",
                                L"open \"C:\\snd\\intro.WAV\" type waveaudio alias tlsplash", L"play tlsplash"}));

  mci.sent.clear();
  sounds.StopLoadingSound();
  EXPECT_FALSE(sounds.loadingOpen());
  EXPECT_EQ(mci.sent, (Commands{L"stop tlsplash", L"close tlsplash"}));
}

TEST_F(SoundsTest, LoadingSoundErrors) {
  files.files[L"C:\\snd\\noext"] = "x";
  struct Case {
    const wchar_t* path;
    std::map<std::wstring, uint32_t> failures;
    const wchar_t* error;
    Commands sent;
  };
  const Case cases[] = {
      {L"", {}, L"", {}},
      {L"C:\\snd\\say \"hi\".wav", {}, L"Sound path contains a quote character", {}},
      {L"C:\\snd\\gone.wav", {}, L"Sound file not found", {}},
      {L"C:\\snd\\noext",
       {{L"open", 277}},
       L"Cannot play this file: MCI says 277",
       {L"open \"C:\\snd\\noext\" type mpegvideo alias tlsplash"}},
      {L"C:\\snd\\intro.WAV",
       {{L"play", 263}},
       L"Cannot play this file: MCI says 263",
       {L"open \"C:\\snd\\intro.WAV\" type waveaudio alias tlsplash", L"play tlsplash", L"stop tlsplash",
        L"close tlsplash"}},
  };
  for (const Case& c : cases) {
    mci.sent.clear();
    mci.failures = c.failures;
    settings.splashSound = c.path;
    EXPECT_EQ(sounds.StartLoadingSound(), c.error) << c.path;
    EXPECT_EQ(mci.sent, c.sent) << c.path;
    EXPECT_FALSE(sounds.loadingOpen()) << c.path;  // a failed start leaves the alias closed
  }
}

TEST_F(SoundsTest, BackgroundSoundStartsAtItsVolumeFromTheStart) {
  struct Case {
    int32_t volume;
    bool mute;
    const wchar_t* error;
    Commands sent;
    bool open;
  };
  const Case cases[] = {
      {37,
       false,
       L"",
       {L"open \"C:\\snd\\loop.mp3\" type mpegvideo alias tlbgm", L"setaudio tlbgm volume to 370",
        L"play tlbgm from 0"},
       true},
      {100,
       false,
       L"",
       {L"open \"C:\\snd\\loop.mp3\" type mpegvideo alias tlbgm", L"setaudio tlbgm volume to 1000",
        L"play tlbgm from 0"},
       true},
      {50, true, L"", {}, false},  // muted: nothing is opened at all
      {0, false, L"", {}, false},
  };
  settings.bgSound = L"C:\\snd\\loop.mp3";
  for (const Case& c : cases) {
    if (sounds.backgroundOpen()) sounds.StopBackgroundSound();
    mci.sent.clear();
    settings.bgVol = c.volume;
    settings.bgMute = c.mute;
    EXPECT_EQ(sounds.StartBackgroundSound(), c.error) << c.volume;
    EXPECT_EQ(mci.sent, c.sent) << c.volume;
    EXPECT_EQ(sounds.backgroundOpen(), c.open) << c.volume;
  }
}

TEST_F(SoundsTest, BackgroundSoundErrors) {
  struct Case {
    const wchar_t* path;
    std::map<std::wstring, uint32_t> failures;
    const wchar_t* error;
    size_t commands;
  };
  const Case cases[] = {
      {L"", {}, L"", 0},
      {L"C:\\snd\\a\"b.mp3", {}, L"Sound path contains a quote character", 0},
      {L"C:\\snd\\gone.mp3", {}, L"Background sound file not found", 0},
      {L"C:\\snd\\loop.mp3", {{L"open", 277}}, L"Cannot play this sound: MCI says 277", 1},
      // The volume command's failure is not an error; a failing play closes the alias again.
      {L"C:\\snd\\loop.mp3", {{L"setaudio", 274}}, L"", 3},
      {L"C:\\snd\\loop.mp3", {{L"play", 263}}, L"Cannot play this sound: MCI says 263", 5},
  };
  for (const Case& c : cases) {
    if (sounds.backgroundOpen()) sounds.StopBackgroundSound();
    mci.sent.clear();
    mci.failures = c.failures;
    settings.bgSound = c.path;
    EXPECT_EQ(sounds.StartBackgroundSound(), c.error) << c.path;
    EXPECT_EQ(mci.sent.size(), c.commands) << c.path;
    EXPECT_EQ(sounds.backgroundOpen(), c.error[0] == 0 && c.commands > 0) << c.path;
  }
  EXPECT_EQ(mci.sent.back(), L"close tlbgm");
}

TEST_F(SoundsTest, VolumeFollowsTheSettingAndMute) {
  settings.bgSound = L"C:\\snd\\loop.mp3";
  ASSERT_EQ(sounds.StartBackgroundSound(), L"");
  mci.sent.clear();
  settings.bgVol = 37;
  sounds.ApplyBackgroundVolume();
  settings.bgMute = true;
  sounds.ApplyBackgroundVolume();
  EXPECT_EQ(mci.sent, (Commands{L"setaudio tlbgm volume to 370", L"setaudio tlbgm volume to 0"}));
  mci.sent.clear();
  sounds.StopBackgroundSound();
  EXPECT_EQ(mci.sent, (Commands{L"stop tlbgm", L"close tlbgm"}));
  EXPECT_FALSE(sounds.backgroundOpen());
}

TEST_F(SoundsTest, LoopKeeperRestartsAStoppedSoundAtMostEvery700Ms) {
  sounds.KeepBackgroundLooping();
  EXPECT_TRUE(mci.sent.empty());  // nothing open: nothing asked

  settings.bgSound = L"C:\\snd\\loop.mp3";
  ASSERT_EQ(sounds.StartBackgroundSound(), L"");
  mci.sent.clear();
  struct Step {
    uint64_t advance;
    const wchar_t* mode;
    Commands sent;
  };
  const Step steps[] = {
      {0, L"playing", {L"status tlbgm mode"}},
      {699, L"stopped", {}},  // within 700 ms of the last check
      {1, L"stopped", {L"status tlbgm mode", L"play tlbgm from 0"}},
      {700, L"paused", {L"status tlbgm mode"}},
      {700, L"stopped and more", {L"status tlbgm mode"}},  // only exactly "stopped" restarts
  };
  for (const Step& s : steps) {
    clock.Advance(s.advance);
    mci.sent.clear();
    mci.replies[L"status tlbgm mode"] = s.mode;
    sounds.KeepBackgroundLooping();
    EXPECT_EQ(mci.sent, s.sent) << s.mode;
  }
  EXPECT_EQ(mci.replyCapacities.back(), 64u);

  // A failing status command restarts nothing.
  clock.Advance(700);
  mci.sent.clear();
  mci.replies[L"status tlbgm mode"] = L"stopped";
  mci.failures = {{L"status", 263}};
  sounds.KeepBackgroundLooping();
  EXPECT_EQ(mci.sent, (Commands{L"status tlbgm mode"}));
}

}  // namespace
}  // namespace tolvane
