#pragma once

#include <QByteArray>
#include <functional>
#include <memory>
#include <string>

namespace dova {

// The alarm tone: three short pulses of a 1 kHz tone, each faded in and out so it does not
// click, as a 16-bit mono PCM WAV file. Made by the program itself.
QByteArray AlarmToneWav(int sample_rate = 44100);

// Plays the alarm tone once per call; a call while it plays starts it again. Without an
// audio device nothing is heard, which the factory says once.
class AlarmSound {
 public:
  virtual ~AlarmSound() = default;
  virtual void Play() = 0;
};

// Counts the calls, for tests.
class RecordingAlarmSound : public AlarmSound {
 public:
  void Play() override { ++plays; }
  int plays = 0;
};

// The alarm sound of this platform (Qt Multimedia). `on_unavailable` is called at most
// once, with the reason, when there is no audio device to play on; the program goes on.
std::unique_ptr<AlarmSound> CreateAlarmSound(
    std::function<void(const std::string&)> on_unavailable);

}  // namespace dova
