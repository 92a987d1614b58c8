// The front-panel display reply: labels, lamps, state flags, events and the state block.
#include <gtest/gtest.h>

#include "panel_fixture.h"

namespace dova::testing {
namespace {

class DisplayTest : public PanelTest {
 protected:
  void SetUp() override {
    device.silent = true;
    Attach();
    OpenLogAs("Lab1", "1234");
  }
  void Disp(const QByteArray& value) { Reply("DISP " + value); }
  // Log lines after "Connected".
  QStringList Events() const {
    QStringList lines = Log();
    if (!lines.isEmpty() && lines.front() == QStringLiteral("Connected")) lines.removeFirst();
    return lines;
  }
  static std::size_t Marks(const TTrendGraph& g) {
    return g.EventSeries().Count() + g.ErrorSeries().Count();
  }
};

TEST_F(DisplayTest, FirstReplyAfterOpeningWritesTheWholeState) {
  ASSERT_TRUE(panel->LogStatePending);
  Disp("OFF OFF OFF  GGG");
  EXPECT_EQ(Events(), QStringList({"Left Chamber Off", "Right Chamber Off", "Gas Flow Off"}));
  EXPECT_EQ(panel->LeftTempDisplay.Text, QStringLiteral("OFF"));
  EXPECT_EQ(panel->RightTempDisplay.Text, QStringLiteral("OFF"));
  EXPECT_EQ(panel->GasFlowDisplay.Text, QStringLiteral("OFF"));
  EXPECT_EQ(panel->LeftTLed, Rgb(0, 255, 0));
  EXPECT_EQ(panel->RightTLed, Rgb(0, 255, 0));
  EXPECT_EQ(panel->GasLed, Rgb(0, 255, 0));
  EXPECT_FALSE(panel->LogStatePending);
  EXPECT_FALSE(panel->LeftOn || panel->RightOn || panel->GasOn);
  // The same state again: nothing to say.
  Disp("OFF OFF OFF  GGG");
  EXPECT_EQ(Events().size(), 3);
  EXPECT_EQ(
      Marks(*panel->LeftTempGraph) + Marks(*panel->RightTempGraph) + Marks(*panel->GasFlowGraph),
      0u);
}

TEST_F(DisplayTest, StateBlockForEachChamberAndGasClass) {
  struct Case {
    QByteArray value;
    QStringList lines;
    int errorMarks;  // in the left window and the gas window together
  } cases[] = {
      {"    37.0 20  GGG",
       {"Left Chamber Off", "Right Chamber On", "Right Lid Closed", "Gas Flow On"},
       0},
      {"LID LID  20  GGG",
       {"Left Chamber On", "Left Lid Open", "Right Chamber On", "Right Lid Open", "Gas Flow On"},
       0},
      {"Err 37.0 20  GGG",
       {"Left Chamber On", "Left Temperature Error", "Right Chamber On", "Right Lid Closed",
        "Gas Flow On"},
       1},
      {"37.0OFF CO2  GGG",
       {"Left Chamber On", "Left Lid Closed", "Right Chamber Off", "Gas Flow On", "Gas CO2 Error"},
       1},
      {"37.0OFF Pur  GGG",
       {"Left Chamber On", "Left Lid Closed", "Right Chamber Off", "Gas Flow On",
        "Gas Purge Start"},
       0},
      {"37.0OFF Err  GGG",
       {"Left Chamber On", "Left Lid Closed", "Right Chamber Off", "Gas Flow On", "Gas Flow Error"},
       1},
      {"37.0"
       "OFF "
       "    "
       " "
       "RGG",
       {"Left Chamber On", "Left Lid Closed", "Right Chamber Off", "Gas Flow Off"},
       0},
  };
  int serial = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value.constData());
    panel = NewPanel();
    Attach();
    OpenLogAs("Lab1", QByteArray::number(++serial).constData());
    Disp(c.value);
    EXPECT_EQ(Events(), c.lines);
    EXPECT_EQ(
        panel->LeftTempGraph->ErrorSeries().Count() + panel->GasFlowGraph->ErrorSeries().Count(),
        static_cast<std::size_t>(c.errorMarks));
    EXPECT_EQ(
        panel->LeftTempGraph->EventSeries().Count() + panel->GasFlowGraph->EventSeries().Count(),
        0u);
    EXPECT_EQ(panel->Purging, c.value.mid(8, 4) == "Pur ");
    EXPECT_EQ(panel->GasOn, c.value.mid(8, 4) != "    " && c.value.mid(8, 4) != "OFF ");
    EXPECT_EQ(panel->LeftLidOpen, c.value.left(4) == "LID ");
    EXPECT_EQ(panel->LeftTempError, c.value.left(4) == "Err ");
  }
}

TEST_F(DisplayTest, SteadyStateReportsEachChangeOnce) {
  struct Case {
    const char* name;
    QByteArray first;
    std::vector<QByteArray> steps;
    QStringList events;
  } cases[] = {
      {"lid",
       "37.0OFF  20  GGG",
       {"LID OFF  20  GGG", "LID OFF  20  GGG", "37.0OFF  20  GGG"},
       {"Left Lid Open", "Left Lid Closed"}},
      {"error twice",
       "37.0OFF  20  GGG",
       {"Err OFF  20  GGG", "Err OFF  20  GGG"},
       {"Left Temperature Error"}},
      {"off and on",
       "37.0OFF  20  GGG",
       {"OFF OFF  20  GGG", "    OFF  20  GGG", "37.1OFF  20  GGG"},
       {"Left Chamber Off", "Left Chamber On"}},
      {"lid of a chamber that was off",
       "OFF OFF  20  GGG",
       {"LID OFF  20  GGG"},
       {"Left Chamber On", "Left Lid Open"}},
      {"right side",
       "37.0OFF  20  GGG",
       {"37.0LID  20  GGG", "37.036.9 20  GGG"},
       {"Right Chamber On", "Right Lid Open", "Right Lid Closed"}},
      {"purge",
       "37.0OFF OFF  GGG",
       {"37.0OFF Pur  GGG", "37.0OFF Pur  GGG", "37.0OFF  20  GGG", "37.0OFF OFF  GGG"},
       {"Gas Flow On", "Gas Purge Start", "Gas Purge Stop", "Gas Flow Off"}},
      {"gas seen on only through a purge", "37.0OFF OFF  GGG", {"37.0OFF  20  GGG"}, {}},
      {"co2",
       "37.0OFF  20  GGG",
       {"37.0OFF CO2  GGG", "37.0OFF CO2  GGG", "37.0OFF  20  GGG"},
       {"Gas CO2 Error"}},
      {"flow error",
       "37.0OFF  20  GGG",
       {"37.0OFF Err  GGG", "37.0OFF Err  GGG", "37.0OFF OFF  GGG"},
       {"Gas Flow Error", "Gas Flow Off"}},
      {"purge cut by co2",
       "37.0OFF OFF  GGG",
       {"37.0OFF Pur  GGG", "37.0OFF CO2  GGG"},
       {"Gas Flow On", "Gas Purge Start", "Gas CO2 Error"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    panel = NewPanel();
    Attach();
    OpenLogAs("Lab1", c.name);
    Disp(c.first);
    const qsizetype block = Events().size();
    for (const auto& step : c.steps)
      Disp(step);
    EXPECT_EQ(Events().mid(block), c.events);
  }
  // The last case: the purge ended without a "Purge Stop".
  EXPECT_FALSE(panel->Purging);
  EXPECT_TRUE(panel->CO2Error);
}

TEST_F(DisplayTest, EventsMarkTheWindowOfTheirSide) {
  Disp("37.037.0 20  GGG");
  Disp("LID 37.0Pur  GGG");
  Disp("LID Err Pur  GGG");
  EXPECT_EQ(panel->LeftTempGraph->EventSeries().Count(), 1u);   // Lid Open
  EXPECT_EQ(panel->RightTempGraph->ErrorSeries().Count(), 1u);  // Temperature Error
  EXPECT_EQ(panel->RightTempGraph->EventSeries().Count(), 0u);
  EXPECT_EQ(panel->GasFlowGraph->EventSeries().Count(), 1u);  // Purge Start (gas was on)
  EXPECT_EQ(panel->LeftTempDisplay.Text, QStringLiteral("LID"));
  EXPECT_EQ(panel->RightTempDisplay.Text, QStringLiteral("Err"));
  EXPECT_EQ(panel->GasFlowDisplay.Text, QStringLiteral("Pur"));
}

TEST_F(DisplayTest, LampCodes) {
  const struct {
    char code;
    TColor colour;
  } cases[] = {{' ', Rgb(192, 192, 192)}, {'A', Rgb(255, 220, 21)}, {'G', Rgb(0, 255, 0)},
               {'R', Rgb(255, 0, 0)},     {'X', Rgb(255, 0, 0)},    {'g', Rgb(255, 0, 0)}};
  for (const auto& c : cases) {
    Disp(QByteArray("37.037.0 20  ") + c.code + "A" + c.code);
    EXPECT_EQ(panel->LeftTLed, c.colour) << c.code;
    EXPECT_EQ(panel->RightTLed, Rgb(255, 220, 21));
    EXPECT_EQ(panel->GasLed, c.colour) << c.code;
  }
}

TEST_F(DisplayTest, ShortValuesStopAtTheFirstMissingLampAndKeepTheStateBlockPending) {
  Disp("37.0OFF  20 ");  // 12 characters: no lamp at all
  EXPECT_EQ(Events(), QStringList({"Left Chamber On", "Left Lid Closed", "Right Chamber Off",
                                   "Gas Flow On"}));
  EXPECT_EQ(panel->GasFlowDisplay.Text, QStringLiteral("20"));
  EXPECT_EQ(panel->LeftTLed, Rgb(192, 192, 192));
  EXPECT_TRUE(panel->LogStatePending);
  Disp("37.0OFF  20  R");  // 14: the left lamp only
  EXPECT_EQ(panel->LeftTLed, Rgb(255, 0, 0));
  EXPECT_EQ(panel->RightTLed, Rgb(192, 192, 192));
  EXPECT_TRUE(panel->LogStatePending);
  EXPECT_EQ(Events().size(), 8);  // the block again
  Disp("37.0OFF  20  RRR");
  EXPECT_FALSE(panel->LogStatePending);
  EXPECT_EQ(Events().size(), 12);
  // A value cut inside a field: the shortened field is class "other".
  Disp("37.0OF");
  EXPECT_EQ(panel->RightTempDisplay.Text, QStringLiteral("OF"));
  EXPECT_EQ(Events().mid(12), QStringList({"Right Chamber On"}));
  EXPECT_EQ(panel->GasFlowDisplay.Text, QString());
}

TEST_F(DisplayTest, ChangeTimeMovesOnlyWhenTheFieldChanges) {
  Disp("37.037.0 20  GGG");
  const TDateTime first = panel->LeftDisplayChanged;
  EXPECT_EQ(first, sched.Now());
  sched.AdvanceBy(500);
  Disp("37.037.1 20  GGG");
  EXPECT_EQ(panel->LeftDisplayChanged, first);
  EXPECT_EQ(panel->RightDisplayChanged, sched.Now());
  sched.AdvanceBy(500);
  Disp("37.137.1 20  GGG");
  EXPECT_EQ(panel->LeftDisplayChanged, sched.Now());
}

TEST_F(DisplayTest, LabelsDropBlanksAndControlCharacters) {
  Disp(QByteArray("\x01"
                  "37 ") +
       QByteArray(" \t9\x7f") + " 5\t " + " GGG");
  EXPECT_EQ(panel->LeftTempDisplay.Text, QStringLiteral("37"));
  EXPECT_EQ(panel->RightTempDisplay.Text, QStringLiteral("9\x7f"));  // DEL is no control here
  EXPECT_EQ(panel->GasFlowDisplay.Text, QStringLiteral("5"));
}

TEST_F(DisplayTest, BeforeALogIsOpenTheSteadyTablesApply) {
  panel = NewPanel();
  Attach();
  Disp("OFF 37.0Pur  GGG");
  EXPECT_EQ(panel->LeftTempGraph->EventSeries().Count(), 1u);  // Chamber Off
  EXPECT_EQ(panel->GasFlowGraph->EventSeries().Count(), 2u);   // Flow On, Purge Start
  EXPECT_TRUE(panel->GasOn && panel->Purging);
  EXPECT_FALSE(panel->LeftOn);
}

TEST_F(DisplayTest, AFailedLogWriteLosesNeitherTheEventNorTheRestOfTheReply) {
  // Before, the failed line ended the reply's handling and the event was never logged.
  Disp("37.037.0 20  GGG");
  files.FailWrites(1);
  Disp("LID 36.5 20  RRR");
  EXPECT_TRUE(panel->LeftLidOpen);
  EXPECT_EQ(panel->RightTempDisplay.Text, QStringLiteral("36.5"));
  EXPECT_EQ(panel->LeftTLed, Rgb(255, 0, 0));
  sched.AdvanceBy(TLogWriter::kRetryMs);
  EXPECT_EQ(Events().count(QStringLiteral("Left Lid Open")), 1);
  EXPECT_TRUE(errors.messages.empty());
}

}  // namespace
}  // namespace dova::testing
