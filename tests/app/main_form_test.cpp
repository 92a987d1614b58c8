#include <gtest/gtest.h>

#include "app/error_box.h"
#include "app/settings.h"
#include "graphs/graph_window.h"
#include "main_form_fixture.h"

namespace dova {
namespace {

using testing::MainFormFixture;

struct MainFormTest : ::testing::Test, MainFormFixture {};

TEST_F(MainFormTest, NewTilesAreListedInCaptionOrderAndTakeTheSelection) {
  Create();
  EXPECT_TRUE(QDir(dir.path() + "/data").exists()) << "the data folder is made at start";
  Plug("beta");
  TDovaPanel* beta = Listed("beta");
  ASSERT_TRUE(beta);
  EXPECT_EQ(form->SelectedPanel, beta);
  EXPECT_TRUE(beta->Visible);
  EXPECT_EQ(form->PanelRect(*beta), (TRect{1086, 2, 192, 74}));
  EXPECT_EQ(form->StripHeight, 78);
  EXPECT_TRUE(beta->Name.startsWith("DOVAPanel"));

  Plug("alpha");
  Plug("Alpha");
  // Code-unit order: capitals first.
  EXPECT_EQ(Nicks(), (std::vector<QString>{"Alpha", "alpha", "beta"}));
  TDovaPanel* upper = Listed("Alpha");
  EXPECT_EQ(form->SelectedPanel, upper);
  EXPECT_EQ(form->PanelRect(*upper).Left, 698);
  EXPECT_EQ(form->PanelRect(*beta).Left, 1086);
  // Only the selected tile's windows are MDI windows, left on top.
  EXPECT_EQ(form->TiledWindows,
            (std::vector<const TGraphWindow*>{upper->LeftTempGraph.get(), upper->GasFlowGraph.get(),
                                              upper->RightTempGraph.get()}));
  EXPECT_FALSE(beta->LeftTempGraph->MdiChild());
  EXPECT_FALSE(beta->LeftTempGraph->Visible());
  // Component names are distinct.
  EXPECT_NE(beta->Name, upper->Name);
  EXPECT_NE(Listed("alpha")->Name, upper->Name);
  // Each file begins with "Connected" in the data folder.
  EXPECT_TRUE(LogLines(beta->LogFilePath()).value(0).endsWith(", Connected"));
  EXPECT_TRUE(beta->LogFilePath().startsWith(dir.path() + "/data/"));
  EXPECT_GE(awake.calls, 1);
}

TEST_F(MainFormTest, ClickSelectsAndClickingTheSelectedTileChangesNothing) {
  Create();
  Plug("A");
  Plug("B");
  TDovaPanel* a = Listed("A");
  TDovaPanel* b = Listed("B");
  const int tiled = form->TileGraphWindowsCount;
  b->CaptionClick();
  EXPECT_EQ(form->SelectedPanel, b);
  EXPECT_EQ(form->TileGraphWindowsCount, tiled);
  a->CaptionClick();
  EXPECT_EQ(form->SelectedPanel, a);
  EXPECT_GT(form->TileGraphWindowsCount, tiled);
  EXPECT_EQ(form->TileGraphWindowsCount, tiled + 1) << "a click stacks the windows once";
  EXPECT_TRUE(a->RightTempGraph->MdiChild());
  EXPECT_FALSE(b->RightTempGraph->MdiChild());
  EXPECT_EQ(b->Caption.Font, clSilver);
  EXPECT_TRUE(b->Visible);
}

TEST_F(MainFormTest, UnpluggingTilesFreesThemAndMovesTheSelection) {
  Create();
  sim::Incubator& a = Plug("A");
  sim::Incubator& b = Plug("B");
  sim::Incubator& c = Plug("C");
  const QString b_log = Listed("B")->LogFilePath();
  const QString c_log = Listed("C")->LogFilePath();

  // An unselected tile: the selection stays, the gap closes at the next tick.
  b.Unplug();
  ASSERT_TRUE(sched.AdvanceUntil([&] { return form->ClosingPanels().size() == 1; }, 1000));
  EXPECT_FALSE(form->ClosingPanels().front()->Visible);
  EXPECT_EQ(form->SelectedPanel, Listed("C"));
  sched.AdvanceBy(1000);
  EXPECT_TRUE(form->ClosingPanels().empty());
  EXPECT_EQ(form->Panels().size(), 2u);
  EXPECT_EQ(LogLines(b_log).last().section(", ", 1), "Disconnected");
  EXPECT_EQ(form->PanelRect(*Listed("C")).Left, 1086);
  EXPECT_EQ(form->PanelRect(*Listed("A")).Left, 892);

  // The selected tile: nothing is selected until the tick, then the first in caption order.
  c.Unplug();
  ASSERT_TRUE(sched.AdvanceUntil([&] { return form->SelectedPanel == nullptr; }, 1000));
  EXPECT_TRUE(form->MdiWindows().empty());
  sched.AdvanceBy(1000);
  EXPECT_EQ(form->SelectedPanel, Listed("A"));
  EXPECT_TRUE(Listed("A")->LeftTempGraph->MdiChild());
  EXPECT_EQ(LogLines(c_log).last().section(", ", 1), "Disconnected");

  // The last tile: nothing selected, no MDI window, the strip keeps its height.
  a.Unplug();
  sched.AdvanceBy(1500);
  EXPECT_TRUE(form->ActivePanels.empty());
  EXPECT_TRUE(form->Panels().empty());
  EXPECT_EQ(form->SelectedPanel, nullptr);
  EXPECT_EQ(form->StripHeight, 78);
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(MainFormTest, ATileWhoseLinkFailsBeforeItIsNamedIsFreedToo) {
  Create();
  auto config = sim::SimulatedIncubators::DefaultConfig(1, 1);
  sim::Incubator& mute = fleet.Add(config);
  mute.SetSilent(true);
  ASSERT_TRUE(sched.AdvanceUntil([&] { return form->UnnamedPanels().size() == 1; }, 1000));
  EXPECT_FALSE(form->UnnamedPanels().front()->Visible);
  mute.Unplug();
  ASSERT_TRUE(sched.AdvanceUntil([&] { return form->Panels().empty(); }, 2000));
  EXPECT_TRUE(form->UnnamedPanels().empty());
  EXPECT_TRUE(form->ClosingPanels().empty());
}

TEST_F(MainFormTest, LinkLostWhileTheNewTilesLogWarningIsOpenClosesItInsteadOfListingIt) {
  Create();
  Plug("A");
  // A log file over 10 MB makes the new tile's SetDirectory (inside AddPanel) open its
  // modal warning; meanwhile the cable is pulled and the close timer ticks.
  const QString big = dir.path() + "/data/B 2.csv";
  {
    QFile f(big);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(TDovaPanel::kLogSizeWarning + 1));
  }
  sim::Incubator* b = nullptr;
  boxes.WhileWarningOpen = [&] {
    b->Unplug();
    sched.AdvanceBy(1500);
    EXPECT_EQ(form->Panels().size(), 2u) << "a tile the window is calling into stays";
  };
  auto config = sim::SimulatedIncubators::DefaultConfig(2, 1);
  config.nick = "B";
  b = &fleet.Add(config);
  ASSERT_TRUE(sched.AdvanceUntil([&] { return !boxes.Warnings.isEmpty(); }, 3000));
  EXPECT_EQ(Nicks(), std::vector<QString>{"A"});
  EXPECT_EQ(form->SelectedPanel, Listed("A"));
  sched.AdvanceBy(1000);
  EXPECT_EQ(form->Panels().size(), 1u);
  EXPECT_TRUE(form->ClosingPanels().empty());
  QFile f(big);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  f.seek(TDovaPanel::kLogSizeWarning + 1);
  const QStringList tail = QString::fromLocal8Bit(f.readAll()).split(u'\r', Qt::SkipEmptyParts);
  EXPECT_EQ(tail.filter(", Connected").size(), 1);
  EXPECT_TRUE(tail.last().endsWith(", Disconnected"));
  EXPECT_TRUE(errors.messages.empty());
}

// The real file system, noting each file opened and whether a port's line handler was
// running at the time.
struct WatchedLogFiles : LogFiles {
  bool in_line_handler = false;
  QStringList opened, opened_in_line_handler;

  void Note(const QString& path) { (in_line_handler ? opened_in_line_handler : opened) << path; }
  std::unique_ptr<LogFile> OpenExisting(const QString& path) override {
    Note(path);
    return SystemLogFiles().OpenExisting(path);
  }
  bool CreateIfMissing(const QString& path) override {
    Note(path);
    return SystemLogFiles().CreateIfMissing(path);
  }
  bool MakeFolder(const QString& path) override { return SystemLogFiles().MakeFolder(path); }
  bool SyncFolder(const QString& path) override { return SystemLogFiles().SyncFolder(path); }
};

// The name reply only asks for the tile to be added: the window opens the log (which may
// show a modal box) once the port's line handler has returned, and a link that fails in
// between leaves nothing behind.
TEST_F(MainFormTest, TheLogOpensAfterTheNameReplyAndNotAtAllWhenTheLinkFailsFirst) {
  // The program's sync thread may still be syncing these files' folders once the test body
  // has ended (the form closes its logs after it): the files layer outlives every job.
  static WatchedLogFiles watched;
  files = &watched;
  Create();
  sim::Incubator* pulled = nullptr;  // pulled right after its name reply
  form->PanelChanges().Subscribe([&](TPanelChange change, const TDovaPanel* created) {
    if (change != TPanelChange::Created) return;
    TDovaPanel* tile = nullptr;
    for (TDovaPanel* t : form->Panels())
      if (t == created) tile = t;
    // The tile's own handler, with the files told when it runs.
    tile->Port->SetOnLine([&pulled, tile](TUSBXpress& port, const QByteArray& line) {
      watched.in_line_handler = true;
      tile->HandleReply(port, line);
      watched.in_line_handler = false;
      if (pulled && line.startsWith("NICK B")) {
        pulled->Unplug();
        tile->Timer1Timer();  // the next poll's write fails before the window adds the tile
      }
    });
  });
  Plug("A");
  ASSERT_NE(Listed("A"), nullptr);
  EXPECT_NE(Listed("A")->LogFile, nullptr);
  EXPECT_TRUE(watched.opened.contains(Listed("A")->LogFilePath()));
  EXPECT_EQ(watched.opened_in_line_handler.join(u','), QString());

  auto config = sim::SimulatedIncubators::DefaultConfig(2, 1);
  config.nick = "B";
  pulled = &fleet.Add(config);
  ASSERT_TRUE(sched.AdvanceUntil([&] { return form->ClosingPanels().size() == 1; }, 3000));
  sched.AdvanceBy(1000);  // the close timer frees it
  EXPECT_EQ(Nicks(), std::vector<QString>{"A"});
  EXPECT_EQ(form->Panels().size(), 1u);
  EXPECT_TRUE(form->ClosingPanels().empty());
  EXPECT_EQ(watched.opened.filter("/B ").size(), 0);
  EXPECT_EQ(watched.opened_in_line_handler.join(u','), QString());
  EXPECT_EQ(QDir(dir.path() + "/data").entryList(QDir::Files).join(u','), "A 1.csv");
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(MainFormTest, RenameMovesTheTileAndASecondNameReplyKeepsItListedOnce) {
  Create();
  sim::Incubator& a = Plug("A");
  Plug("B");
  a.SetAnswerSetNick(true);  // this incubator answers "!SET NICK" with a NICK line
  Listed("A")->CaptionClick();
  TDovaPanel* renamed = Listed("A");
  const QString log_path = renamed->LogFilePath();  // the file keeps its old name
  dialogs.Answers = {QString("Z")};
  form->Name1Click();
  EXPECT_EQ(dialogs.Shown, QStringList{"A"});
  EXPECT_EQ(Nicks(), (std::vector<QString>{"B", "Z"}));
  EXPECT_EQ(form->PanelRect(*renamed).Left, 1086);
  EXPECT_TRUE(renamed->LeftTempGraph->Caption().endsWith(": 1 - Left Temperatures"));
  sched.AdvanceBy(500);  // the NICK reply reaches AddPanel again
  EXPECT_EQ(a.Nick(), "Z");
  EXPECT_EQ(form->ActivePanels.size(), 2u);
  EXPECT_EQ(std::count(form->ActivePanels.begin(), form->ActivePanels.end(), renamed), 1);
  EXPECT_EQ(form->SelectedPanel, renamed);
  const QStringList log = LogLines(log_path);
  EXPECT_EQ(log.filter(", Connected").size(), 1) << "a repeated name does not reopen the log";
}

TEST_F(MainFormTest, NameCommandRejectsForbiddenCharactersAndAsksAgain) {
  Create();
  Plug("A");
  const QString bad = QString::fromUtf8("x\u201Cy");
  dialogs.Answers = {QString("a|b"), bad, QString("a*b"), QString(" ok ")};
  form->Name1Click();
  EXPECT_EQ(dialogs.Shown, (QStringList{"A", "a|b", bad, "a*b"}));
  ASSERT_EQ(dialogs.Errors.size(), 3);
  EXPECT_EQ(dialogs.Errors.front(),
            QString::fromUtf8("Invalid DOVA Name! The DOVA's name cannot contain \\ / : * ? "
                              "\u201C < > or |"));
  EXPECT_EQ(form->SelectedPanel->Nick, " ok ") << "blanks are kept";

  // Cancel, an empty name, and no selection.
  dialogs.Answers = {QString()};
  form->Name1Click();
  EXPECT_EQ(form->SelectedPanel->Nick, " ok ");
  dialogs.Answers = {QString("")};
  form->Name1Click();
  EXPECT_EQ(form->SelectedPanel->Nick, "");
}

TEST_F(MainFormTest, LoggingIntervalCommand) {
  Create();
  Plug("A");
  TDovaPanel* a = Listed("A");
  struct Case {
    std::optional<QString> text;
    int want;  // interval afterwards
    const char* error;
  };
  const std::vector<Case> cases = {
      {std::nullopt, 5, nullptr},
      {QString("0"), 5, nullptr},
      {QString("11"), 5, nullptr},
      {QString("-3"), 5, nullptr},
      {QString("7"), 7, nullptr},
      {QString(" $A"), 10, nullptr},
      {QString("abc"), 10, "''abc'' is not a valid integer value"},
      {QString("5 "), 10, "''5 '' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.value_or("<cancel>").toStdString());
    dialogs.Answers = {c.text.value_or(QString())};
    try {
      form->LoggingIntervalClick();
      EXPECT_EQ(c.error, nullptr);
    } catch (const Exception& e) {
      ASSERT_NE(c.error, nullptr);
      EXPECT_EQ(e.Message(), c.error);
      EXPECT_EQ(ErrorBoxText(QString::fromStdString(e.Message())), QString(c.error) + ".");
    }
    EXPECT_EQ(form->LogInterval, c.want);
    EXPECT_EQ(a->LogInterval, c.want);
    EXPECT_EQ(store.values["LogInterval"].toInt(), c.want);
  }
  EXPECT_EQ(dialogs.Shown.value(5), "7") << "the dialog shows the current value";

  // A store that cannot be written: the field keeps the value, the tiles do not get it.
  store.fail_writes = true;
  dialogs.Answers = {QString("3")};
  EXPECT_THROW(form->LoggingIntervalClick(), TSettingsExcept);
  EXPECT_EQ(form->LogInterval, 3);
  EXPECT_EQ(a->LogInterval, 10);
}

TEST_F(MainFormTest, DataFolderCommandMovesEveryLogFile) {
  Create();
  Plug("A");
  Plug("B");
  const QString old_a = Listed("A")->LogFilePath();
  dialogs.Answers = {QString()};
  form->DataDirClick();
  EXPECT_EQ(form->Directory, dir.path() + "/data");

  const QString moved = dir.path() + "/moved";
  QDir().mkdir(moved);
  dialogs.Answers = {moved};
  form->DataDirClick();
  EXPECT_EQ(store.values["Directory"].toString(), moved);
  for (const TDovaPanel* p : form->ActivePanels) {
    EXPECT_TRUE(p->LogFilePath().startsWith(moved));
    EXPECT_EQ(LogLines(p->LogFilePath()), QStringList{LogLines(p->LogFilePath()).value(0)});
    EXPECT_TRUE(LogLines(p->LogFilePath()).value(0).endsWith(", Connected"));
  }
  EXPECT_FALSE(LogLines(old_a).last().endsWith("Disconnected")) << "the old file just ends";

  store.key_exists = false;  // the key was removed meanwhile
  dialogs.Answers = {dir.path()};
  try {
    form->DataDirClick();
    ADD_FAILURE();
  } catch (const TSettingsExcept& e) {
    EXPECT_EQ(e.Message(), "Failed to set data for 'Directory'");
  }
  EXPECT_EQ(form->Directory, dir.path());
  EXPECT_TRUE(Listed("A")->LogFilePath().startsWith(moved));
}

TEST_F(MainFormTest, ClearLoggedDataAsksFirstAndActsOnTheSelectionWhenTheBoxCloses) {
  Create();
  form->ClearDOVAData1Click();
  EXPECT_TRUE(dialogs.Shown.isEmpty()) << "nothing selected: no question";

  Plug("A");
  sim::Incubator& b = Plug("B");
  TDovaPanel* a = Listed("A");
  const QString a_log = a->LogFilePath();
  const QString b_log = Listed("B")->LogFilePath();
  dialogs.Confirms = {false};
  form->ClearDOVAData1Click();
  EXPECT_EQ(dialogs.Shown.last(), "Delete all logged data for B: 2?");
  EXPECT_FALSE(LogLines(b_log).isEmpty());

  // B is unplugged and freed while the box is open; Yes then clears A, now selected.
  dialogs.WhileOpen = [&] {
    b.Unplug();
    sched.AdvanceBy(1500);
  };
  dialogs.Confirms = {true};
  form->ClearDOVAData1Click();
  EXPECT_EQ(form->Panels().size(), 1u);
  EXPECT_EQ(form->SelectedPanel, a);
  EXPECT_EQ(QFile(a_log).size(), 0);
  EXPECT_EQ(LogLines(b_log).last().section(", ", 1), "Disconnected");
}

TEST_F(MainFormTest, NameDialogOpenWhileTheOnlyTileGoesRenamesNothing) {
  Create();
  sim::Incubator& a = Plug("A");
  dialogs.WhileOpen = [&] {
    a.Unplug();
    sched.AdvanceBy(1500);
  };
  dialogs.Answers = {QString("new")};
  form->Name1Click();
  EXPECT_TRUE(form->Panels().empty());
  EXPECT_EQ(a.Nick(), "A");
}

TEST_F(MainFormTest, ViewRangeAboutAndExit) {
  Create();
  form->ViewLast24HoursClick();
  EXPECT_EQ(form->ViewRangeChecked, 1440);
  Plug("A");
  EXPECT_EQ(Listed("A")->ViewRange(), 1440) << "a new tile gets the window's range";
  EXPECT_EQ(Listed("A")->GasFlowGraph->GraphWidth(), 1440);
  Plug("B");
  const struct {
    void (TMainForm::*click)();
    int minutes;
  } views[] = {{&TMainForm::ViewLast6HoursClick, 360},
               {&TMainForm::ViewLast12HoursClick, 720},
               {&TMainForm::ViewAllClick, 4320}};
  for (const auto& v : views) {
    (form.get()->*v.click)();
    EXPECT_EQ(form->ViewRangeChecked, v.minutes);
    for (const TDovaPanel* p : form->Panels())
      EXPECT_EQ(p->LeftTempGraph->GraphWidth(), v.minutes);
  }
  form->HelpAbout1Execute();
  EXPECT_EQ(dialogs.AboutShown, 1);

  // Exit: every tile, listed or waiting to be freed, gets its last line.
  const QString a_log = Listed("A")->LogFilePath();
  const QString b_log = Listed("B")->LogFilePath();
  fleet.At(0).Unplug();
  ASSERT_TRUE(sched.AdvanceUntil([&] { return form->ClosingPanels().size() == 1; }, 1000));
  int closed = 0;
  form->OnClosed = [&] { ++closed; };
  form->FileExit1Execute();
  form->FileExit1Execute();
  EXPECT_EQ(closed, 1);
  EXPECT_TRUE(form->Panels().empty());
  for (const QString& log : {a_log, b_log})
    EXPECT_EQ(LogLines(log).last().section(", ", 1), "Disconnected") << log.toStdString();
  EXPECT_FALSE(form->USBXpressEnumerator.ScanTimer().Running());
}

TEST_F(MainFormTest, DataFolderIsMadeOneLevelDeepAndTheDefaultOneEvenWithoutDocuments) {
  struct Case {
    const char* name;
    bool key_exists;
    QString directory;  // stored value
    QString made;       // the folder that must exist afterwards, or empty
    QString not_made;   // a folder that must not exist afterwards, or empty
  };
  const QString docs = dir.path() + "/Documents";
  const std::vector<Case> cases = {
      {"first run on an account without a documents folder",
       false,
       {},
       docs + "/Harl DOVA-300 Log Data",
       {}},
      {"a stored folder two levels down", true, dir.path() + "/x/data", {}, dir.path() + "/x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QDir(docs).removeRecursively();
    store.key_exists = c.key_exists;
    store.values.clear();
    if (c.key_exists) store.values = {{"Directory", c.directory}, {"LogInterval", 5}};
    Create();
    if (!c.made.isEmpty()) {
      EXPECT_EQ(form->Directory, c.made);
      EXPECT_TRUE(QDir(c.made).exists());
    }
    if (!c.not_made.isEmpty()) {
      EXPECT_FALSE(QDir(c.not_made).exists());
    }
    form.reset();
  }
}

TEST_F(MainFormTest, UnusableSettingsStillBringTheWindowUp) {
  store.values["LogInterval"] = "many";
  store.values["Directory"] = QStringList{"x"};
  Create();
  EXPECT_EQ(form->LogInterval, 5);
  EXPECT_EQ(form->Directory, dir.path() + "/Documents/Harl DOVA-300 Log Data");
  EXPECT_EQ(form->SettingsProblems.size(), 2);
  Plug("A");
  EXPECT_EQ(form->ActivePanels.size(), 1u);
}

TEST_F(MainFormTest, NarrowWindowAddsRowsAndTheCloseTimerKeepsTheSystemAwake) {
  Create();
  for (const char* nick : {"A", "B", "C", "D"})
    Plug(nick);
  form->FormShow();
  form->FormResize(700);  // two cells beside the banner, three across
  EXPECT_EQ(form->StripHeight, 154);
  EXPECT_EQ(form->PanelRect(*Listed("C")), (TRect{312, 78, 192, 74}));
  EXPECT_EQ(form->PanelRect(*Listed("A")).Top, 2);
  const int before = awake.calls;
  sched.AdvanceBy(5000);
  EXPECT_EQ(awake.calls, before + 5);
}

}  // namespace
}  // namespace dova
