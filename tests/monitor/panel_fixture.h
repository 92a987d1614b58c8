#pragma once

// A tile on a simulated bridge, with a scripted incubator behind it, a recording main
// window and recording message boxes, all on virtual time.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "monitor/dova_panel.h"
#include "monitor/log_format.h"
#include "monitor/panel_host.h"
#include "platform/bridge/sim/sim_library.h"
#include "platform/error_reporter.h"
#include "platform/logfile/log_files.h"
#include "platform/logfile/sync_queue.h"
#include "platform/virtual_scheduler.h"
#include "usb/usbxpress.h"

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}

namespace dova::testing {

// Answers "!GET X" and "!READ X" at once with "X <value>" for every tag it has a value
// for, and keeps every command it got with its virtual time.
class ScriptedIncubator {
 public:
  ScriptedIncubator(VirtualScheduler& sched, std::shared_ptr<bridge::SimBridge> bridge)
      : sched_(sched) {
    Serve(std::move(bridge));
  }

  void Serve(std::shared_ptr<bridge::SimBridge> bridge) {
    bridge_ = std::move(bridge);
    bridge_->OnHostWrite = [this](std::string_view bytes) { Receive(bytes); };
  }

  // The incubator of the log example: left chamber at 37.0, right chamber off at 24.6,
  // gas at 20 ml/min.
  std::map<std::string, std::string> values{
      {"SERL", "1234"}, {"NICK", "Lab1"}, {"LBSP", "3700"}, {"RBSP", "3700"},
      {"GFSP", "4000"}, {"LBT1", "3700"}, {"LBT2", "3700"}, {"RBT1", "2460"},
      {"RBT2", "2460"}, {"FLOW", "4000"}, {"PFLW", "400"},  {"DISP", "37.0OFF  20  G G"},
  };
  bool silent = false;
  std::vector<std::pair<std::int64_t, std::string>> commands;

  std::vector<std::string> CommandTexts() const {
    std::vector<std::string> out;
    for (const auto& c : commands)
      out.push_back(c.second);
    return out;
  }

 private:
  void Receive(std::string_view bytes) {
    for (char ch : bytes) {
      if (ch != '\r') {
        pending_.push_back(ch);
        continue;
      }
      const std::string command = std::exchange(pending_, {});
      commands.emplace_back(sched_.ElapsedMs(), command);
      if (silent) continue;
      std::string tag;
      if (command.rfind("!GET ", 0) == 0) tag = command.substr(5);
      if (command.rfind("!READ ", 0) == 0) tag = command.substr(6);
      const auto it = values.find(tag);
      if (it != values.end()) bridge_->SendToHost(tag + " " + it->second + "\r");
    }
  }

  VirtualScheduler& sched_;
  std::shared_ptr<bridge::SimBridge> bridge_;
  std::string pending_;
};

class RecordingHost : public IPanelHost {
 public:
  std::vector<std::string> calls;
  std::function<void(TDovaPanel&)> on_add;

  void AddPanel(TDovaPanel& p) override {
    calls.push_back("AddPanel");
    if (on_add) on_add(p);
  }
  void RemovePanel(TDovaPanel&) override { calls.push_back("RemovePanel"); }
  void SelectPanel(TDovaPanel&) override { calls.push_back("SelectPanel"); }
  void TileGraphWindows() override { calls.push_back("TileGraphWindows"); }
  int Count(const std::string& call) const {
    int n = 0;
    for (const auto& c : calls)
      n += c == call;
    return n;
  }
};

class RecordingBoxes : public IMessageBoxes {
 public:
  std::vector<QString> warnings;
  std::vector<std::pair<QString, QString>> messages;
  void ShowWarning(const QString& text) override { warnings.push_back(text); }
  void DisplayMessage(const QString& message, const QString& caption) override {
    messages.emplace_back(message, caption);
  }
};

inline QByteArray FileBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The lines of a log file without their time stamps.
inline QStringList LogTexts(const QString& path) {
  QStringList out;
  const QString text = QString::fromUtf8(FileBytes(path));
  for (const QString& line : text.split(u'\r', Qt::SkipEmptyParts)) {
    const qsizetype comma = line.indexOf(QStringLiteral(", "));
    out << (comma < 0 ? line : line.mid(comma + 2));
  }
  return out;
}

// The real file system, with writes that can be made to fail as a full disk would.
class FaultyLogFiles : public LogFiles {
 public:
  // The next `count` writes of any file fail (and write nothing).
  void FailWrites(int count) { failures_ = count; }

  std::unique_ptr<LogFile> OpenExisting(const QString& path) override {
    auto file = SystemLogFiles().OpenExisting(path);
    if (!file) return nullptr;
    return std::make_unique<File>(std::move(file), failures_);
  }
  bool CreateIfMissing(const QString& path) override {
    return SystemLogFiles().CreateIfMissing(path);
  }
  bool MakeFolder(const QString& path) override { return SystemLogFiles().MakeFolder(path); }
  bool SyncFolder(const QString& path) override { return SystemLogFiles().SyncFolder(path); }

 private:
  class File : public LogFile {
   public:
    File(std::unique_ptr<LogFile> real, int& failures)
        : real_(std::move(real)), failures_(failures) {}
    const QString& Path() const override { return real_->Path(); }
    std::int64_t Position() const override { return real_->Position(); }
    void Write(const QByteArray& bytes) override {
      if (failures_ > 0) {
        --failures_;
        throw LogFileExcept("No space left on device");
      }
      real_->Write(bytes);
    }
    void WriteAt(std::int64_t offset, const QByteArray& bytes) override {
      real_->WriteAt(offset, bytes);
    }
    void Clear() override { real_->Clear(); }
    void Sync() override { real_->Sync(); }
    QByteArray Tail(int max) const override { return real_->Tail(max); }
    void Unlock() override { real_->Unlock(); }
    bool StillThere() const override { return real_->StillThere(); }

   private:
    std::unique_ptr<LogFile> real_;
    int& failures_;
  };
  int failures_ = 0;
};

class PanelTest : public ::testing::Test {
 protected:
  PanelTest() : bridge(library.AddBridge("dova300-0001")), device(sched, bridge) {
    sched.SetErrorReporter(&errors);
    port = OpenPort(0);
    panel = NewPanel();
    // What the main window does when a tile is named.
    host.on_add = [this](TDovaPanel& p) {
      p.SetDirectory(dir.path());
      p.SetLogInterval(5);
      p.Select();
    };
  }

  std::unique_ptr<TUSBXpress> OpenPort(std::uint32_t device_number) {
    bridge::SiHandle handle = 0;
    EXPECT_EQ(library.SI_Open(device_number, &handle), bridge::SI_SUCCESS);
    return std::make_unique<TUSBXpress>(sched, library, handle, 13, 0, 57600, 20);
  }
  std::unique_ptr<TDovaPanel> NewPanel() {
    return std::make_unique<TDovaPanel>(TPanelContext{sched, boxes, format, &files, &syncs});
  }

  void Attach() { panel->Attach(host, *port); }
  // Attaches and runs until the tile is listed with its log file open and the first
  // display reply has written the state block.
  void Connect() {
    Attach();
    ASSERT_TRUE(sched.AdvanceUntil(
        [&] { return panel->LogFile != nullptr && !panel->LogStatePending; }, 2000));
  }
  // A log file opened for a tile that is attached but not polled (tests that feed
  // replies by hand).
  void OpenLogAs(const char* nick, const char* serial) {
    panel->Link().Nick = QString::fromLatin1(nick);
    panel->Link().Serial = QString::fromLatin1(serial);
    panel->SetDirectory(dir.path());
  }
  void Reply(const QByteArray& line) { panel->HandleReply(*port, line); }
  void AdvanceTo(int hour, int minute, int second, int ms = 0) {
    const TDateTime target = EncodeDateTime(2010, 3, 8, hour, minute, second, ms);
    sched.AdvanceBy(MillisecondsBetween(sched.Now(), target));
  }
  QStringList Log() const { return LogTexts(panel->LogFilePath()); }

  VirtualScheduler sched;
  RecordingErrorReporter errors;
  bridge::SimLibrary library;
  std::shared_ptr<bridge::SimBridge> bridge;
  ScriptedIncubator device;
  RecordingHost host;
  RecordingBoxes boxes;
  LogFormat format = LogFormat::Pinned();
  FaultyLogFiles files;
  QTemporaryDir dir;
  // The sync thread, step by step (the tests that look at syncs run it). The last syncs of
  // the tile's files run when it goes, before the folder does.
  SyncQueue syncs{SyncQueue::Mode::Manual};
  std::unique_ptr<TUSBXpress> port;
  std::unique_ptr<TDovaPanel> panel;
};

}  // namespace dova::testing
