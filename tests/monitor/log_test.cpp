// Log files: the whole link against an expected file, opening rules, the periodic block,
// failures, and file names built from what the device says.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "panel_fixture.h"
#include "protocol/names.h"

namespace dova::testing {
namespace {

QString LabPath(const QTemporaryDir& dir) {
  return dir.filePath(QStringLiteral("Lab1 1234.csv"));
}

QByteArray Fixture(const char* name) {
  return FileBytes(QStringLiteral(DOVA_FIXTURES_DIR "/") + QString::fromLatin1(name));
}

TEST_F(PanelTest, WholeLinkWritesTheExpectedFileAndAReconnectionAppends) {
  Attach();
  AdvanceTo(14, 7, 41);
  device.values["DISP"] = "LID OFF  20  A G";
  AdvanceTo(14, 7, 58);
  device.values["DISP"] = "37.0OFF  20  G G";
  AdvanceTo(14, 9, 2);
  device.values["LBSP"] = "3750";
  AdvanceTo(14, 9, 30);
  device.values["LBT1"] = "3710";
  device.values["LBT2"] = "3711";
  device.values["DISP"] = "37.1OFF  20  G G";
  AdvanceTo(14, 11, 0);
  bridge->Unplug();
  sched.AdvanceBy(20);
  ASSERT_EQ(host.Count("RemovePanel"), 1);
  panel->Disconnect();  // what the main window's close timer does next
  const QByteArray expected = Fixture("whole_link.csv");
  ASSERT_FALSE(expected.isEmpty());
  EXPECT_EQ(FileBytes(LabPath(dir)), expected);

  // Plugged in again: the same file, opened at its end.
  auto again = library.AddBridge("dova300-0001");
  device.Serve(again);
  panel = NewPanel();
  port = OpenPort(0);
  AdvanceTo(15, 0, 0);
  Connect();
  const QByteArray bytes = FileBytes(LabPath(dir));
  ASSERT_TRUE(bytes.startsWith(expected));
  EXPECT_EQ(LogTexts(LabPath(dir)).mid(21),
            QStringList({"Connected", "Left Chamber On", "Left Lid Closed", "Right Chamber Off",
                         "Gas Flow On"}));
  EXPECT_TRUE(bytes.mid(expected.size()).startsWith("8/03/2010 3:00:00 PM, Connected\r"));
}

TEST_F(PanelTest, OnlyFilesOverTenMegabytesDrawTheWarning) {
  const QString path = LabPath(dir);
  for (const qint64 size : {10485760LL, 10485761LL}) {
    {
      QFile f(path);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
      ASSERT_TRUE(f.resize(size));
      // Whole lines: the file ends with a line end (a NUL end would be a damaged one).
      ASSERT_TRUE(f.seek(size - 1));
      ASSERT_EQ(f.write("\r"), 1);
    }
    panel = NewPanel();
    Attach();
    OpenLogAs("Lab1", "1234");
    EXPECT_NE(panel->LogFile, nullptr);
    EXPECT_EQ(QFileInfo(path).size(), size + 32);  // "Connected" still goes in
  }
  ASSERT_EQ(boxes.warnings.size(), 1u);
  EXPECT_EQ(boxes.warnings[0],
            QStringLiteral("File: ") + path +
                QStringLiteral(" exceeds 10MB. Consider archiving and deleting"));
  EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(PanelTest, AFileThatCannotBeOpenedIsReportedAndMonitoringGoesOn) {
  Attach();
  panel->Link().Nick = QStringLiteral("Lab1");
  panel->Link().Serial = QStringLiteral("1234");
  const QString missing = dir.filePath(QStringLiteral("missing"));
  panel->SetDirectory(missing);
  ASSERT_EQ(boxes.messages.size(), 1u);
  EXPECT_EQ(boxes.messages[0].first, QStringLiteral("File Open Error! Cannot Open: ") + missing +
                                         QStringLiteral("/Lab1 1234.csv"));
  EXPECT_EQ(boxes.messages[0].second, QStringLiteral("Error"));
  EXPECT_EQ(panel->LogFile, nullptr);
  EXPECT_TRUE(panel->LogStatePending);
  Reply("DISP LID OFF  20  GGG");
  Reply("LBT2 3712");
  EXPECT_EQ(panel->LeftTemp, 371);
  EXPECT_TRUE(panel->LeftLidOpen);
  EXPECT_FALSE(QDir(missing).exists());

  // A second tile with the same name and serial finds the file held by the first.
  panel->SetDirectory(dir.path());
  ASSERT_NE(panel->LogFile, nullptr);
  auto twin = NewPanel();
  twin->Link().Nick = panel->Nick;
  twin->Link().Serial = panel->Serial;
  twin->SetDirectory(dir.path());
  EXPECT_EQ(twin->LogFile, nullptr);
  ASSERT_EQ(boxes.messages.size(), 2u);
  EXPECT_EQ(boxes.messages[1].first,
            QStringLiteral("File Open Error! Cannot Open: ") + LabPath(dir));
  // Untouched by the twin. The lines kept while the first folder was missing came along
  // (before, they were lost), then the new folder's "Connected".
  const QStringList kept = LogTexts(LabPath(dir));
  ASSERT_GE(kept.size(), 3);
  EXPECT_EQ(kept.first(), QStringLiteral("Connected"));
  EXPECT_TRUE(kept.contains(QStringLiteral("Left Lid Open")));
  EXPECT_EQ(kept.last(), QStringLiteral("Connected"));
}

TEST_F(PanelTest, NoNameAndNoSerialMeansNoFile) {
  Attach();
  panel->SetDirectory(dir.path());
  EXPECT_EQ(panel->LogFile, nullptr);
  EXPECT_FALSE(panel->LogStatePending);
  EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
  EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(PanelTest, PeriodicBlocksKeepTheirGridAndAFailedBlockDoesNotShiftIt) {
  Connect();  // named at 14:05:09.140
  auto blockTimes = [&] {
    QStringList times;
    const QString text = QString::fromUtf8(FileBytes(LabPath(dir)));
    for (const QString& line : text.split(u'\r', Qt::SkipEmptyParts)) {
      if (line.contains(QStringLiteral(", Left Temperature,"))) times << line.section(u',', 0, 0);
    }
    return times;
  };
  AdvanceTo(14, 10, 10, 100);
  files.FailWrites(1);  // the disk is full for the next line only
  AdvanceTo(14, 15, 11);
  // The failed line waited and was written with its own stamp, the block whole and in
  // order; the grid did not move. (Before, the rest of the block was lost.)
  EXPECT_TRUE(errors.messages.empty());
  EXPECT_EQ(blockTimes(),
            QStringList({"8/03/2010 2:05:10 PM", "8/03/2010 2:10:10 PM", "8/03/2010 2:15:10 PM"}));
  EXPECT_EQ(Log().count(QStringLiteral("Left Set-Point, 37")), 3);
  // A new interval starts a new grid one second later.
  AdvanceTo(14, 16, 0);
  panel->SetLogInterval(1);
  AdvanceTo(14, 18, 2);
  EXPECT_EQ(blockTimes().mid(3),
            QStringList({"8/03/2010 2:16:01 PM", "8/03/2010 2:17:01 PM", "8/03/2010 2:18:01 PM"}));
  // A tick that comes after its due time skips whole intervals and stays on the grid.
  sched.ShiftWallClock(150 * kOneSecond);  // the clock jumps 2.5 minutes ahead
  AdvanceTo(14, 21, 32);
  EXPECT_EQ(blockTimes().mid(6), QStringList({"8/03/2010 2:21:31 PM"}));  // the late tick
  AdvanceTo(14, 23, 2);
  EXPECT_EQ(blockTimes().mid(6),
            QStringList({"8/03/2010 2:21:31 PM", "8/03/2010 2:22:01 PM", "8/03/2010 2:23:01 PM"}));
  // The clock goes back an hour (the end of daylight saving time): the blocks go on every
  // interval from the moment of the change instead of pausing for the hour.
  sched.ShiftWallClock(-60 * kOneMinute);  // now 1:23:02
  AdvanceTo(13, 26, 2);
  EXPECT_EQ(blockTimes().mid(9),
            QStringList({"8/03/2010 1:24:01 PM", "8/03/2010 1:25:01 PM", "8/03/2010 1:26:01 PM"}));
}

TEST_F(PanelTest, ClearingEmptiesTheFileAndTheNextBlockStartsIt) {
  Connect();
  AdvanceTo(14, 5, 11);  // after the first block
  panel->ClearLog();
  EXPECT_EQ(FileBytes(LabPath(dir)), QByteArray());
  AdvanceTo(14, 10, 11);
  EXPECT_EQ(Log(),
            QStringList({"Left Temperature, 37", "Left Set-Point, 37", "Right Temperature, 24.6",
                         "Right Set-Point, 37", "Gas Flow, 20", "Gas Set-Point, 20"}));
  panel->Disconnect();
  panel->ClearLog();  // no file: nothing happens
  EXPECT_EQ(Log().size(), 7);
}

TEST_F(PanelTest, NewFolderGetsConnectedAndTheStateWhileTheOldFileJustEnds) {
  Connect();
  const QByteArray before = FileBytes(LabPath(dir));
  QTemporaryDir other;
  panel->SetDirectory(other.path());
  sched.AdvanceBy(400);
  EXPECT_EQ(FileBytes(LabPath(dir)), before);
  EXPECT_EQ(LogTexts(other.filePath(QStringLiteral("Lab1 1234.csv"))),
            QStringList({"Connected", "Left Chamber On", "Left Lid Closed", "Right Chamber Off",
                         "Gas Flow On"}));
}

TEST_F(PanelTest, EmptyFolderMeansTheWorkingDirectory) {
  const QString cwd = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  Attach();
  panel->Link().Nick = QStringLiteral("Lab1");
  panel->Link().Serial = QStringLiteral("1234");
  panel->SetDirectory(QString());
  const bool exists = QFile::exists(LabPath(dir));
  QDir::setCurrent(cwd);
  EXPECT_EQ(panel->LogFilePath(), QStringLiteral("Lab1 1234.csv"));
  EXPECT_TRUE(exists);
}

TEST_F(PanelTest, DeviceNamesCannotLeadTheLogOutOfItsFolder) {
  QDir(dir.path()).mkdir(QStringLiteral("data"));
  host.on_add = [this](TDovaPanel& p) { p.SetDirectory(dir.filePath(QStringLiteral("data"))); };
  device.values["NICK"] = "../../x/..\\evil:\x01*?\"<>|";
  Connect();
  EXPECT_EQ(panel->Caption.Text, QString::fromLatin1("../../x/..\\evil:\x01*?\"<>|: 1234"));
  // (A name from the device that begins with a dot gives a hidden file, as it would for a
  // name typed by the user; the file stays in its folder.)
  const QString quote = kRefusedFileNameChars.find(u'"') == std::u16string_view::npos
                            ? QStringLiteral("\"")
                            : QStringLiteral("_");
  EXPECT_EQ(QDir(dir.filePath(QStringLiteral("data"))).entryList(QDir::Files | QDir::Hidden),
            QStringList(
                {QStringLiteral(".._.._x_.._evil____") + quote + QStringLiteral("___ 1234.csv")}));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
  EXPECT_EQ(LogTexts(panel->LogFile->Path()).first(), QStringLiteral("Connected"));

  // Names a user can type are used as they are.
  for (const QString& name : {QStringLiteral("Lab 1"), QStringLiteral("Café-2 (α)"),
                              QStringLiteral(".hidden"), QStringLiteral("a.b;c,d'e")}) {
    EXPECT_EQ(SafeFileNamePart(name), name);
  }
  // The name dialog takes the plain double quote; it stays wherever the file system does.
  if (kRefusedFileNameChars.find(u'"') == std::u16string_view::npos) {
    EXPECT_EQ(SafeFileNamePart(QStringLiteral("Lab \"A\"")), QStringLiteral("Lab \"A\""));
  }
  EXPECT_EQ(SafeFileNamePart(QStringLiteral("..")), QStringLiteral(".."));
  EXPECT_EQ(SafeFileNamePart(QStringLiteral("a\tb\x7f")), QStringLiteral("a_b_"));
}

}  // namespace
}  // namespace dova::testing
