#include <QAudioDevice>
#include <QDir>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QTemporaryFile>
#include <QUrl>

#include "platform/sound/alarm_sound.h"

namespace dova {

namespace {

// QSoundEffect plays from a file: the tone is written once to a temporary file that lives
// as long as the sound.
class QtAlarmSound : public AlarmSound {
 public:
  explicit QtAlarmSound(std::function<void(const std::string&)> on_unavailable)
      : on_unavailable_(std::move(on_unavailable)) {
    if (QMediaDevices::defaultAudioOutput().isNull()) {
      Unavailable("no audio device; alarms are shown but not heard");
      return;
    }
    file_.setFileTemplate(QDir::tempPath() + QStringLiteral("/dova300-alarm-XXXXXX.wav"));
    if (!file_.open() || file_.write(AlarmToneWav()) < 0 || !file_.flush()) {
      Unavailable("cannot write the alarm tone; alarms are shown but not heard");
      return;
    }
    effect_.setSource(QUrl::fromLocalFile(file_.fileName()));
    ready_ = true;
  }

  void Play() override {
    if (!ready_) return;
    if (effect_.status() == QSoundEffect::Error) {
      Unavailable("the alarm tone cannot be played; alarms are shown but not heard");
      ready_ = false;
      return;
    }
    effect_.stop();
    effect_.play();
  }

 private:
  void Unavailable(const std::string& why) {
    if (told_) return;
    told_ = true;
    if (on_unavailable_) on_unavailable_(why);
  }

  std::function<void(const std::string&)> on_unavailable_;
  QTemporaryFile file_;
  QSoundEffect effect_;
  bool ready_ = false;
  bool told_ = false;
};

}  // namespace

std::unique_ptr<AlarmSound> CreateAlarmSound(
    std::function<void(const std::string&)> on_unavailable) {
  return std::make_unique<QtAlarmSound>(std::move(on_unavailable));
}

}  // namespace dova
