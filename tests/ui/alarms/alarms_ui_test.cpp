// The alarms on screen, offscreen: the tile frame in each state, the alarm list driven with
// keys and the mouse, the Alarms menu, the limits dialog refusing bad values and the
// journal's history filtered.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDockWidget>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "alarm_fixture.h"
#include "alarms/alarm_journal.h"
#include "ui/alarms/alarm_dialogs.h"
#include "ui/alarms/alarm_frame.h"
#include "ui/alarms/alarm_list.h"
#include "ui/alarms/alarms_ui.h"

namespace dova::testing {
namespace {

using ui::TAlarmsUi;

// Runs `act` on the next modal dialog once it is open (the caller then opens it). The watch
// ends with `owner`, so one left over by a failed test cannot act in the next.
void WhenModal(QObject* owner, std::function<void(QWidget*)> act) {
  auto* timer = new QTimer(owner);
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    QWidget* w = QApplication::activeModalWidget();
    if (w == nullptr || !w->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(w);
  });
  timer->start();
}

QRgb Pixel(TAlarmFrame frame, bool on, QPoint at) {
  QImage image(120, 60, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  ui::PaintAlarmFrame(p, image.rect(), frame, on);
  p.end();
  return image.pixel(at);
}

TEST(AlarmFrameTest, RedWhenFlashingOnOrSteadyNothingInTheOffHalfGreyHatchingWhenShelved) {
  const QPoint edge(1, 1), inside(60, 30);
  EXPECT_EQ(Pixel(TAlarmFrame::None, true, edge), qRgb(255, 255, 255));
  EXPECT_EQ(Pixel(TAlarmFrame::Flashing, true, edge), qRgb(220, 0, 0));
  EXPECT_EQ(Pixel(TAlarmFrame::Flashing, false, edge), qRgb(255, 255, 255));
  EXPECT_EQ(Pixel(TAlarmFrame::Steady, true, edge), qRgb(220, 0, 0));
  EXPECT_EQ(Pixel(TAlarmFrame::Steady, false, edge), qRgb(220, 0, 0));
  // Hatched: both the light ground and the dark lines show along the frame.
  std::set<QRgb> shelf;
  for (int x = 0; x < 20; ++x)
    shelf.insert(Pixel(TAlarmFrame::Shelved, true, {x, 1}));
  EXPECT_TRUE(shelf.count(qRgb(224, 224, 224)) && shelf.count(qRgb(96, 96, 96)));
  for (TAlarmFrame f : {TAlarmFrame::Flashing, TAlarmFrame::Steady, TAlarmFrame::Shelved})
    EXPECT_EQ(Pixel(f, true, inside), qRgb(255, 255, 255)) << "the tile itself stays as it is";
}

struct AlarmsUiTest : ::testing::Test {
  AlarmBench b;
  RecordingAlarmSound sound;
  RecordingDesktopNotifier notifier;
  QMainWindow window;
  QStringList refusals;
  QTemporaryDir dir;
  QString journal = dir.filePath("Alarm Journal.csv");
  std::unique_ptr<TAlarmsUi> ui;

  AlarmsUiTest() {
    TAlarmsUi::TServices s{b.sched,
                           b.engine,
                           b.settings,
                           b.store,
                           sound,
                           notifier,
                           [this] {
                             return std::pair{b.serial, QStringLiteral("Bench")};
                           },
                           [] { return QStringLiteral("ann"); },
                           [this] { return journal; },
                           [this](QWidget*, const QString& text) { refusals << text; }};
    ui = std::make_unique<TAlarmsUi>(s, window);
    window.menuBar()->addMenu(ui->Menu());
    window.resize(900, 600);
    window.show();
    b.LinkUp();
    b.Minutes(2);
    b.Send(TTileEventKind::LidOpen, TTileSide::Left);
    b.Send(TTileEventKind::LidOpen, TTileSide::Right);
    b.Minutes(3);  // two lid alarms
  }
  TAlarmState Lid(TAlarmSide side) const { return b.State(TAlarmKind::LidOpen, side); }
  ui::TAlarmList& List() { return ui->List(); }
};

TEST_F(AlarmsUiTest, EnterOnASelectedRowAcknowledgesThatAlarmUnderTheNameGiven) {
  EXPECT_EQ(ui->Summary()->text(), "2 alarms, 2 unacknowledged");
  // A raise shows the list; the summary opens it again once it is closed.
  EXPECT_TRUE(ui->ListDock()->isVisible());
  ui->ListDock()->close();
  QTest::mouseClick(ui->Summary(), Qt::LeftButton);
  ASSERT_TRUE(ui->ListDock()->isVisible());
  QTableView* table = List().Current;
  ASSERT_EQ(table->model()->rowCount(), 2);
  table->selectRow(0);
  const QString alarm = table->model()->index(0, TAlarmTableModel::Alarm).data().toString();
  WhenModal(&window, [](QWidget* dialog) {
    auto* d = static_cast<ui::TAcknowledgeDialog*>(dialog);
    EXPECT_EQ(d->User->text(), "ann");  // the login name to begin with
    d->User->setText("Dr. Baker");
    d->Comment->setText("lid propped for cleaning, \"closed now\"");
    QTest::keyClick(dialog, Qt::Key_Return);
  });
  QTest::keyClick(table, Qt::Key_Return);
  const TAlarmSide side = alarm.startsWith("Left") ? TAlarmSide::Left : TAlarmSide::Right;
  const TAlarmSide other = side == TAlarmSide::Left ? TAlarmSide::Right : TAlarmSide::Left;
  EXPECT_EQ(Lid(side), TAlarmState::ActiveAcknowledged);
  EXPECT_EQ(Lid(other), TAlarmState::ActiveUnacknowledged);
  const auto a = b.engine.Find(b.serial, {TAlarmKind::LidOpen, side});
  EXPECT_EQ(a->AcknowledgedBy, "Dr. Baker");
  EXPECT_EQ(a->Comment, "lid propped for cleaning, \"closed now\"");
  // The unacknowledged one stays first.
  EXPECT_EQ(table->model()->index(0, TAlarmTableModel::State).data().toString(),
            "active, unacknowledged");
  EXPECT_EQ(ui->Summary()->text(), "2 alarms, 1 unacknowledged");
}

TEST_F(AlarmsUiTest, CancelInTheDialogOfADoubleClickAcknowledgesNothing) {
  ui->ShowList();
  QTableView* table = List().Current;
  const QRect cell = table->visualRect(table->model()->index(1, 0));
  WhenModal(&window, [](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
  QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_EQ(Lid(TAlarmSide::Left), TAlarmState::ActiveUnacknowledged);
  EXPECT_EQ(Lid(TAlarmSide::Right), TAlarmState::ActiveUnacknowledged);
  // Tab to Cancel and Enter cancels too.
  table->selectRow(0);
  WhenModal(&window, [](QWidget* dialog) {
    auto* d = static_cast<ui::TAcknowledgeDialog*>(dialog);
    d->CancelBtn->setFocus();
    QTest::keyClick(d->CancelBtn, Qt::Key_Return);
  });
  QTest::keyClick(table, Qt::Key_Return);
  EXPECT_EQ(b.engine.UnacknowledgedCount(), 2);
}

TEST_F(AlarmsUiTest, AltAThenAThenEnterAcknowledgesEverythingUnderTheLoginName) {
  WhenModal(&window, [](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Return); });
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QTest::keyClick(&window, Qt::Key_A, Qt::AltModifier);
  QWidget* popup = QApplication::activePopupWidget();
  ASSERT_NE(popup, nullptr) << "Alt+A opens the Alarms menu";
  QTest::keyClick(popup, Qt::Key_A);
  EXPECT_EQ(b.engine.UnacknowledgedCount(), 0);
  EXPECT_EQ(b.engine.Find(b.serial, {TAlarmKind::LidOpen, TAlarmSide::Left})->AcknowledgedBy,
            "ann");
}

TEST_F(AlarmsUiTest, TheLimitsDialogRefusesBadValuesWithAMessageAndStoresGoodOnes) {
  bool stored = true;
  WhenModal(&window, [this](QWidget* dialog) {
    auto* d = static_cast<ui::TAlarmLimitsDialog*>(dialog);
    ASSERT_GE(d->ValueRows.size(), 2u);
    // Temperature limit 0: refused, the dialog stays.
    d->ValueRows[0].UseDefault->setChecked(false);
    d->ValueRows[0].Value->setText("0");
    QTest::mouseClick(d->OKBtn, Qt::LeftButton);
    EXPECT_TRUE(d->isVisible());
    ASSERT_FALSE(refusals.isEmpty());
    EXPECT_TRUE(refusals.first().startsWith("Temperature limit must be more than 0 °C."))
        << refusals.first().toStdString();
    // Not a number: refused.
    d->ValueRows[0].Value->setText("lots");
    QTest::mouseClick(d->OKBtn, Qt::LeftButton);
    EXPECT_EQ(refusals.last(), "Temperature limit: \"lots\" is not a number.");
    // A good one is stored.
    d->ValueRows[0].Value->setText("0.8");
    QTest::mouseClick(d->OKBtn, Qt::LeftButton);
  });
  stored = ui->EditLimits();
  EXPECT_TRUE(stored);
  EXPECT_EQ(refusals.size(), 2);
  EXPECT_DOUBLE_EQ(b.settings.Limits(b.serial).TemperatureLimit, 0.8);
  EXPECT_EQ(b.store.Value("Alarms/a1b2c3/TemperatureLimit").toDouble(), 0.8);
}

TEST_F(AlarmsUiTest, TheHistoryTabShowsTheJournalFilteredByIncubatorAndPeriod) {
  // A journal of two incubators, an hour apart.
  QByteArray bytes = JournalHeader(), chain(64, '0');
  const TDateTime t0 = EncodeDateTime(2026, 12, 10, 9, 0, 0);
  auto add = [&](const QString& serial, const QString& name, TDateTime at,
                 TAlarmTransitionKind what) {
    TAlarmTransition t;
    t.Transition = what;
    t.Time = at;
    t.Serial = serial;
    t.Name = name;
    t.Key = TAlarmKey{TAlarmKind::LidOpen, TAlarmSide::Left};
    bytes += JournalLine(t, chain, &chain);
  };
  add("s1", "IVF 3", t0, TAlarmTransitionKind::Raised);
  add("s2", "Culture 2", t0 + 1.0 / 24, TAlarmTransitionKind::Raised);
  add("s1", "IVF 3", t0 + 2.0 / 24, TAlarmTransitionKind::Cleared);
  QFile f(journal);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
  f.close();

  ui->ShowList();
  List().Tabs->setCurrentIndex(1);  // reads the journal
  QTableView* history = List().History;
  EXPECT_EQ(history->model()->rowCount(), 3);
  // Newest first.
  EXPECT_EQ(history->model()->index(0, TJournalTableModel::Transition).data().toString(),
            "cleared");
  List().Incubator->setCurrentIndex(List().Incubator->findData("s1"));
  EXPECT_EQ(history->model()->rowCount(), 2);
  List().FromOn->setChecked(true);
  List().From->setDateTime(QDateTimeFromDateTime(t0 + 1.5 / 24));
  ASSERT_EQ(history->model()->rowCount(), 1);
  EXPECT_EQ(history->model()->index(0, TJournalTableModel::Incubator).data().toString(),
            "IVF 3 (s1)");
}

TEST_F(AlarmsUiTest, ShelvingAsksForADurationAndAReasonAndEndingIsOneCommand) {
  WhenModal(&window, [this](QWidget* dialog) {
    auto* d = static_cast<ui::TShelveDialog*>(dialog);
    QTest::mouseClick(d->OKBtn, Qt::LeftButton);  // no reason yet
    EXPECT_EQ(refusals.last(), "Please enter the reason for shelving.");
    d->Hours->setValue(8);
    d->Minutes->setValue(30);
    d->Reason->setText("calibration");
    QTest::mouseClick(d->OKBtn, Qt::LeftButton);
    EXPECT_EQ(refusals.last(), "An incubator can be shelved for at most 8 hours.");
    d->Minutes->setValue(0);
    QTest::mouseClick(d->OKBtn, Qt::LeftButton);
  });
  ASSERT_TRUE(ui->ShelveSelected());
  EXPECT_TRUE(b.engine.IsShelved(b.serial));
  EXPECT_EQ(ui->Board().Frame(b.serial), TAlarmFrame::Shelved);
  emit ui->Menu()->aboutToShow();
  EXPECT_FALSE(ui->ShelveAction->isEnabled());
  EXPECT_TRUE(ui->EndShelvingAction->isEnabled());
  ui->EndShelvingAction->trigger();
  EXPECT_FALSE(b.engine.IsShelved(b.serial));
}

TEST_F(AlarmsUiTest, MutingIsJournaledAndSilencesTheTone) {
  std::vector<TAlarmTransition> muted;
  TScopedSubscription listen(b.engine.Stream(), [&](const TAlarmTransition& t) {
    if (t.Transition == TAlarmTransitionKind::SoundMuted) muted.push_back(t);
  });
  const int before = sound.plays;
  ui->MuteAction->trigger();
  b.sched.AdvanceBy(60'000);
  EXPECT_EQ(sound.plays, before);
  ASSERT_EQ(muted.size(), 1u);
  EXPECT_EQ(muted[0].User, "ann");
  EXPECT_EQ(muted[0].Value, "15 min");
  EXPECT_TRUE(ui->MuteAction->isChecked());
}

}  // namespace
}  // namespace dova::testing
