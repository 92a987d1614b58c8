// The alarm tone the program makes, and the real sound where this computer has a device.
#include <gtest/gtest.h>

#include <QDataStream>
#include <QIODevice>
#include <cstdlib>
#include <string>

#include "platform/sound/alarm_sound.h"

namespace dova {
namespace {

quint32 U32(const QByteArray& b, int at) {
  quint32 v = 0;
  for (int i = 3; i >= 0; --i)
    v = (v << 8) | static_cast<quint8>(b[at + i]);
  return v;
}
quint16 U16(const QByteArray& b, int at) {
  return static_cast<quint16>(static_cast<quint8>(b[at]) | (static_cast<quint8>(b[at + 1]) << 8));
}

TEST(AlarmToneTest, IsAPlayableWavOfThreeFadedPulsesBelowFullScale) {
  const QByteArray wav = AlarmToneWav(8000);
  ASSERT_GT(wav.size(), 44);
  EXPECT_EQ(wav.left(4), "RIFF");
  EXPECT_EQ(U32(wav, 4), static_cast<quint32>(wav.size() - 8));
  EXPECT_EQ(wav.mid(8, 8), "WAVEfmt ");
  EXPECT_EQ(U16(wav, 20), 1);      // PCM
  EXPECT_EQ(U16(wav, 22), 1);      // mono
  EXPECT_EQ(U32(wav, 24), 8000u);  // sample rate
  EXPECT_EQ(U16(wav, 34), 16);     // bits
  EXPECT_EQ(wav.mid(36, 4), "data");
  const int count = static_cast<int>(U32(wav, 40)) / 2;
  ASSERT_EQ(44 + 2 * count, wav.size());
  // Three pulses of 0.12 s with two gaps of 0.06 s.
  EXPECT_EQ(count, 3 * 960 + 2 * 480);
  std::vector<int> s(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    s[static_cast<std::size_t>(i)] = static_cast<qint16>(U16(wav, 44 + 2 * i));
  int peak = 0;
  for (int v : s)
    peak = std::max(peak, std::abs(v));
  EXPECT_GT(peak, 15000);
  EXPECT_LE(peak, 16384);
  // Faded in and out: no click at the start or end of a pulse, silence between pulses.
  EXPECT_LT(std::abs(s.front()), 100);
  EXPECT_LT(std::abs(s[959]), 1000);
  EXPECT_EQ(s[960 + 240], 0);
  EXPECT_LT(std::abs(s.back()), 1000);
}

TEST(AlarmSoundTest, TheRealSoundPlaysOrSaysOnceThatItCannot) {
  std::vector<std::string> notes;
  auto sound = CreateAlarmSound([&](const std::string& why) { notes.push_back(why); });
  sound->Play();
  sound->Play();
  if (!notes.empty()) {
    EXPECT_EQ(notes.size(), 1u);
    GTEST_SKIP() << "no audio device here: " << notes.front();
  }
}

}  // namespace
}  // namespace dova
