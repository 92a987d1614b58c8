#include <QDataStream>
#include <QIODevice>
#include <cmath>
#include <numbers>

#include "platform/sound/alarm_sound.h"

namespace dova {

namespace {
constexpr double kFrequencyHz = 1000;
constexpr double kPulseSeconds = 0.12;
constexpr double kGapSeconds = 0.06;
constexpr int kPulses = 3;
constexpr double kFadeSeconds = 0.005;
constexpr double kAmplitude = 0.5;  // of full scale: loud enough, never clipped
}  // namespace

QByteArray AlarmToneWav(int sample_rate) {
  const int pulse = static_cast<int>(kPulseSeconds * sample_rate);
  const int gap = static_cast<int>(kGapSeconds * sample_rate);
  const int fade = static_cast<int>(kFadeSeconds * sample_rate);
  QByteArray samples;
  QDataStream pcm(&samples, QIODevice::WriteOnly);
  pcm.setByteOrder(QDataStream::LittleEndian);
  for (int p = 0; p < kPulses; ++p) {
    for (int i = 0; i < pulse; ++i) {
      const double envelope =
          std::min({1.0, static_cast<double>(i) / fade, static_cast<double>(pulse - 1 - i) / fade});
      const double value =
          kAmplitude * envelope * std::sin(2 * std::numbers::pi * kFrequencyHz * i / sample_rate);
      pcm << static_cast<qint16>(std::lround(value * 32767));
    }
    if (p + 1 < kPulses) {
      for (int i = 0; i < gap; ++i)
        pcm << static_cast<qint16>(0);
    }
  }
  constexpr quint16 kChannels = 1;
  constexpr quint16 kBits = 16;
  QByteArray wav;
  QDataStream out(&wav, QIODevice::WriteOnly);
  out.setByteOrder(QDataStream::LittleEndian);
  out.writeRawData("RIFF", 4);
  out << static_cast<quint32>(36 + samples.size());
  out.writeRawData("WAVE", 4);
  out.writeRawData("fmt ", 4);
  out << quint32(16) << quint16(1) << kChannels << static_cast<quint32>(sample_rate)
      << static_cast<quint32>(sample_rate * kChannels * kBits / 8)
      << static_cast<quint16>(kChannels * kBits / 8) << kBits;
  out.writeRawData("data", 4);
  out << static_cast<quint32>(samples.size());
  out.writeRawData(samples.constData(), static_cast<int>(samples.size()));
  return wav;
}

}  // namespace dova
