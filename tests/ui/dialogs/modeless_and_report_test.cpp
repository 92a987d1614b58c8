// The non-blocking message box and the converter's report dialog.
#include <gtest/gtest.h>

#include <QMessageBox>

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "app/main_form_fixture.h"
#include "convert/vcp_to_usbx_conv.h"
#include "modal_driver.h"
#include "platform/error_reporter.h"
#include "platform/virtual_scheduler.h"
#include "sim/vcp/simulated_vcp.h"
#include "ui/dialogs/widget_dialogs.h"

namespace dova::ui {
namespace {

using testing::CloseByCloseBox;
using testing::InkColumns;
using testing::ModalWatchdog;

QPoint ScreenCentre() {
  return QGuiApplication::primaryScreen()->availableGeometry().center();
}

int TopLevelsShown(const QString& caption) {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->windowTitle() == caption) ++n;
  return n;
}

// ---------------------------------------------------------------- the message box

TEST(ModelessDialogTest, ASecondMessageWaitsUntilTheFirstIsReadAndShowsInTheSameCentredBox) {
  TModelessDialog box;
  EXPECT_FALSE(box.isVisible());
  EXPECT_EQ(box.size(), QSize(125, 82)) << "the design size with its design text";
  EXPECT_TRUE(box.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

  box.DisplayMessage("File Open Error! Cannot Open: /a/A_1.csv", "Error");
  EXPECT_TRUE(box.isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "it does not block";
  EXPECT_EQ(box.Message->text(), "File Open Error! Cannot Open: /a/A_1.csv");
  const QSize first = box.size();
  // A later message does not hide the unread error: it waits, and the box says so.
  box.DisplayMessage("File Open Error! Cannot Open: /a/much/longer/folder/name/B_2.csv", "Second");
  EXPECT_EQ(TopLevelsShown("Error"), 1);
  EXPECT_EQ(TopLevelsShown("Second"), 0);
  EXPECT_EQ(box.Message->text(),
            "File Open Error! Cannot Open: /a/A_1.csv\n\n(1 more message after this one)");
  EXPECT_GT(box.height(), first.height()) << "the whole text shows";

  QTest::mouseClick(box.OKButton, Qt::LeftButton);
  EXPECT_TRUE(box.isVisible()) << "OK brings up the waiting message";
  EXPECT_EQ(TopLevelsShown("Second"), 1);
  EXPECT_EQ(TopLevelsShown("Error"), 0);
  EXPECT_EQ(box.Message->text(),
            "File Open Error! Cannot Open: /a/much/longer/folder/name/B_2.csv");
  EXPECT_GT(box.width(), first.width()) << "a longer text widens the box";
  EXPECT_EQ(box.height(), first.height());
  EXPECT_LE((box.frameGeometry().center() - ScreenCentre()).manhattanLength(), 2)
      << "centred for its new size";

  // The whole text shows, with OK centred below it.
  const QRect text = box.Message->geometry();
  const QRect ok = box.OKButton->geometry();
  EXPECT_EQ(text.topLeft(), QPoint(12, 10));
  EXPECT_GE(text.width(), QFontMetrics(box.Message->font()).horizontalAdvance(box.Message->text()));
  EXPECT_EQ(box.width(), text.right() + 1 + 10);
  EXPECT_EQ(ok.size(), QSize(65, 24));
  EXPECT_LE(std::abs((ok.left() + ok.right()) - (box.width() - 1)), 1);
  EXPECT_GT(ok.top(), text.bottom());
  EXPECT_EQ(box.height(), ok.bottom() + 1 + 10);

  QTest::mouseClick(box.OKButton, Qt::LeftButton);
  EXPECT_FALSE(box.isVisible());
  box.DisplayMessage("again", "Error");
  EXPECT_TRUE(box.isVisible());
  CloseByCloseBox(&box);
  EXPECT_FALSE(box.isVisible());
}

TEST(ModelessDialogTest, EscAndTheCloseBoxReadOneMessageAtATime) {
  TModelessDialog box;
  box.DisplayMessage("File Open Error! Cannot Open: /a/A_1.csv", "Error");
  box.DisplayMessage("Writing to /a/B_2.csv again.", "Information");
  box.DisplayMessage("File Open Error! Cannot Open: /a/A_1.csv", "Error");  // already waiting
  // Hidden by the program rather than read by the user: the error comes back with the next
  // message.
  box.hide();
  box.DisplayMessage("Cannot write to /a/C_3.csv (disk full).", "Error");
  ASSERT_TRUE(box.isVisible());
  EXPECT_TRUE(box.Message->text().startsWith("File Open Error! Cannot Open: /a/A_1.csv\n"));
  EXPECT_TRUE(box.Message->text().endsWith("(2 more messages after this one)"));

  CloseByCloseBox(&box);
  ASSERT_TRUE(box.isVisible());
  EXPECT_EQ(box.windowTitle(), "Information");
  QTest::keyClick(&box, Qt::Key_Escape);
  ASSERT_TRUE(box.isVisible());
  EXPECT_EQ(box.Message->text(), "Cannot write to /a/C_3.csv (disk full).");
  QTest::keyClick(box.OKButton, Qt::Key_Return);
  EXPECT_FALSE(box.isVisible());
}

TEST(ModelessDialogTest, ATileThatCannotOpenItsLogSaysSoAndGoesOnPollingAndPlotting) {
  ModalWatchdog watchdog;
  TWidgetDialogs dialogs;
  dova::testing::MainFormFixture fx;
  // The data folder lies under a file: no log file can be made there.
  QFile blocker(fx.dir.path() + "/file");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  fx.store.values["Directory"] = fx.dir.path() + "/file/data";
  fx.form = std::make_unique<TMainForm>(TMainFormServices{
      fx.sched, fx.fleet.Library(), fx.store, fx.awake, dialogs.MessageBoxes(), fx.format,
      TDialogs{fx.dialogs, fx.dialogs, fx.dialogs, fx.dialogs, fx.dialogs},
      fx.dir.path() + "/Documents"});
  fx.Plug("A");
  TModelessDialog& box = *dialogs.ModelessDialog;
  ASSERT_TRUE(box.isVisible());
  EXPECT_EQ(box.windowTitle(), "Error");
  EXPECT_TRUE(box.Message->text().startsWith("File Open Error! Cannot Open: " + fx.dir.path() +
                                             "/file/data/"));
  const TDovaPanel* tile = fx.Listed("A");
  ASSERT_NE(tile, nullptr);
  // The newest plotted point moves on with the clock.
  auto newest = [&] {
    const TLineSeries& series = tile->LeftTempGraph->TempSeries();
    return series.Count() ? series[series.Count() - 1].x : 0.0;
  };
  const TDateTime before = newest();
  fx.sched.AdvanceBy(10000);
  EXPECT_TRUE(box.isVisible());
  EXPECT_GE((newest() - before) * 86400.0, 9.0);
  fx.form->FormClose();
  box.hide();
}

// ---------------------------------------------------------------- the converter's report

// The user in front of the report: whenever it is shown, notes what it says and closes it
// with OK or the close box.
class ReportUser {
 public:
  ReportUser(TVCPtoUSBXConvDlg& dlg, VirtualScheduler& sched) : dlg_(dlg), sched_(sched) {
    timer_.setInterval(0);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
    timer_.start();
  }
  struct Seen {
    QString vcp, usbx;
    bool converter_stopped;
    bool modal;
    QPoint centre_offset;
    QWidget* focus;
  };
  std::vector<Seen> seen;
  std::vector<bool> use_close_box;  // per report; OK when missing
  TVCPtoUSBXConv* converter = nullptr;
  std::function<void()> OnShown;  // looks at the report before closing it

 private:
  void Look() {
    if (QApplication::activeModalWidget() != &dlg_) return;
    seen.push_back({dlg_.VCPSerialText->text(), dlg_.USBXSerialText->text(),
                    converter && !converter->VCPtoUSBX().SearchEnabled(),
                    dlg_.isModal() || dlg_.windowModality() != Qt::NonModal,
                    dlg_.frameGeometry().center() - ScreenCentre(), dlg_.focusWidget()});
    if (OnShown) OnShown();
    if (!dlg_.isVisible()) return;  // closed meanwhile by the program
    // Time goes on while the user reads.
    sched_.AdvanceBy(500);
    const std::size_t n = seen.size() - 1;
    if (n < use_close_box.size() && use_close_box[n])
      CloseByCloseBox(&dlg_);
    else
      QTest::mouseClick(dlg_.OKButton, Qt::LeftButton);
  }
  TVCPtoUSBXConvDlg& dlg_;
  VirtualScheduler& sched_;
  QTimer timer_;
};

struct ConverterReportTest : ::testing::Test {
  ModalWatchdog watchdog;
  VirtualScheduler sched;
  RecordingErrorReporter errors;
  bridge::SimLibrary usbx;
  sim::SimulatedVcpBench bench{sched, usbx};
  TVCPtoUSBXConvDlg dlg;
  ReportUser user{dlg, sched};
  std::unique_ptr<TVCPtoUSBXConv> converter;
  std::vector<std::uint32_t> randoms{0xABCDEF01, 0x1234};
  std::size_t next = 0;

  ConverterReportTest() { sched.SetErrorReporter(&errors); }
  void Start() {
    converter = std::make_unique<TVCPtoUSBXConv>(sched, bench.NewComm(), bench.PortMap(),
                                                 bench.Library(), dlg);
    converter->VCPtoUSBX().SetRandomSource([this] { return randoms.at(next++); });
    user.converter = converter.get();
  }
  void TearDown() override { EXPECT_FALSE(watchdog.Fired()) << "a modal window was left open"; }
};

TEST_F(ConverterReportTest, TwoIncubatorsGiveTwoReportsOneAfterTheOther) {
  bench.AddIncubator(sim::SimulatedIncubators::DefaultConfig(1, 1));
  bench.AddIncubator(sim::SimulatedIncubators::DefaultConfig(2, 1));
  user.use_close_box = {false, true};  // the close box lets the converter go on as OK does
  Start();
  ASSERT_TRUE(sched.AdvanceUntil([&] { return user.seen.size() == 2; }, 5000));
  EXPECT_TRUE(converter->VCPtoUSBX().SearchEnabled()) << "resumed after the close box";
  EXPECT_EQ(dlg.TimesShown(), 2);
  EXPECT_EQ(user.seen[0].vcp, "VCP0001");
  EXPECT_EQ(user.seen[0].usbx, "DOVA300-ABCDEF01");
  EXPECT_EQ(user.seen[1].vcp, "VCP0002");
  EXPECT_EQ(user.seen[1].usbx, "DOVA300-    1234");
  for (const auto& s : user.seen) {
    EXPECT_TRUE(s.converter_stopped) << "the converter waits while the report is open";
    EXPECT_TRUE(s.modal);
    EXPECT_LE(s.centre_offset.manhattanLength(), 2) << "centred";
    EXPECT_EQ(s.focus, dlg.OKButton) << "OK first in tab order";
  }
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(bench.BridgeOf(0).ProductId, 0xEA61);
  EXPECT_EQ(bench.BridgeOf(1).ProductId, 0xEA61);
  // With nothing left, the converter counts its empty scans and stops.
  sched.AdvanceBy(60000);
  EXPECT_FALSE(converter->VCPtoUSBX().SearchEnabled());
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(ConverterReportTest, WithNothingToConvertNoReportAndTheConverterStopsAfterTwentyScans) {
  Start();
  sched.AdvanceBy(1999);
  EXPECT_TRUE(converter->VCPtoUSBX().SearchEnabled());
  sched.AdvanceBy(1);
  EXPECT_EQ(converter->DoneCount(), 20);
  EXPECT_FALSE(converter->VCPtoUSBX().SearchEnabled());
  sched.AdvanceBy(60000);
  EXPECT_EQ(converter->DoneCount(), 20);
  EXPECT_EQ(dlg.TimesShown(), 0);
  EXPECT_TRUE(user.seen.empty());
}

TEST_F(ConverterReportTest, ABridgeThatIsNotConvertedIsABoxThatDoesNotBlock) {
  bench.AddIncubator(sim::SimulatedIncubators::DefaultConfig(1, 1), "VCP0001");
  bench.BridgeOf(0).PartNumber = manufacturing::CP210x_CP2104_VERSION;
  Start();
  sched.AdvanceBy(3000);
  const auto boxes = dlg.findChildren<QMessageBox*>();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0]->isVisible());
  EXPECT_FALSE(boxes[0]->isModal());
  EXPECT_EQ(boxes[0]->text(),
            "Conversion refused: USB serial No VCP0001 on ttyUSB0 is a CP2104, whose USB "
            "identity is not rewritable; it is left alone");
  EXPECT_EQ(dlg.TimesShown(), 0);
  // The converter went on meanwhile: with nothing left to convert it stops by itself.
  EXPECT_EQ(converter->DoneCount(), TVCPtoUSBXConv::kDoneLimit);
  boxes[0]->close();
}

TEST(ConverterReportClosingTest, TheMainWindowClosingEndsAnOpenReport) {
  ModalWatchdog watchdog;
  VirtualScheduler sched;
  bridge::SimLibrary usbx;
  sim::SimulatedVcpBench bench{sched, usbx};
  bench.AddIncubator(sim::SimulatedIncubators::DefaultConfig(1, 1));
  TWidgetDialogs dialogs;
  ReportUser user{*dialogs.VCPtoUSBXConv, sched};
  TVCPtoUSBXConv converter(sched, bench.NewComm(), bench.PortMap(), bench.Library(),
                           dialogs.ConverterReport());
  bool still_open = true;
  user.OnShown = [&] {
    dialogs.CloseConverterReport();
    still_open = dialogs.VCPtoUSBXConv->isVisible();
  };
  ASSERT_TRUE(sched.AdvanceUntil([&] { return !user.seen.empty(); }, 3000));
  EXPECT_FALSE(still_open);
  EXPECT_FALSE(converter.Showing()) << "the conversion event has gone on";
  EXPECT_FALSE(watchdog.Fired());
}

TEST_F(ConverterReportTest, EachLineReadsAsOneSentence) {
  bench.AddIncubator(sim::SimulatedIncubators::DefaultConfig(1, 1));
  QImage picture;
  user.OnShown = [&] { picture = dlg.grab().toImage(); };
  Start();
  sched.AdvanceBy(1000);
  ASSERT_FALSE(picture.isNull());
  ASSERT_EQ(picture.size(), QSize(493, 136));
  for (QLabel* label : {dlg.Label1, dlg.Label2}) {
    EXPECT_EQ(label->x() + label->width(), 310);
    EXPECT_EQ(label->font().pixelSize(), 13);
  }
  EXPECT_EQ(dlg.Label1->geometry().topLeft(), QPoint(37, 24));
  EXPECT_EQ(dlg.Label2->geometry().topLeft(), QPoint(22, 56));
  EXPECT_EQ(dlg.OKButton->geometry(), QRect(208, 96, 75, 25));
  // The sentences end just before x = 310 (each ends with a blank), the serials start at
  // x = 328.
  for (const auto& [label, value] :
       {std::pair{dlg.Label1, dlg.VCPSerialText}, std::pair{dlg.Label2, dlg.USBXSerialText}}) {
    const int top = label->y() + 2;
    const int bottom = label->y() + 14;
    const auto [sentence_left, sentence_right] =
        InkColumns(picture.copy(0, 0, 318, 136), top, bottom);
    EXPECT_LT(sentence_left, 60);
    EXPECT_GE(sentence_right, 295);
    EXPECT_LT(sentence_right, 310);
    const auto [serial_left, serial_right] =
        InkColumns(picture.copy(318, 0, 493 - 318, 136), top, bottom);
    EXPECT_GE(serial_left + 318, 328);
    EXPECT_LE(serial_left + 318, 331);
    EXPECT_GE(serial_right + 318, value->x() + 40) << "the whole serial shows";
    EXPECT_EQ(value->x(), 328);
  }
}

}  // namespace
}  // namespace dova::ui
