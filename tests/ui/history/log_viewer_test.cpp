// The stored-log viewer on the offscreen platform: the charts of the file, the period bar,
// the statistics panel, exports and the recent files.

#include "ui/history/log_viewer.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>

#include "graphs/temp_graph.h"
#include "platform/datetime.h"
#include "ui/graphs/graph_windows.h"
#include "ui/graphs/trend_chart.h"

namespace dova {
namespace {

class LogViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    path = dir.filePath(QStringLiteral("Incubator A 4711.csv"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(DOVA_FIXTURES_DIR "/Incubator A 4711.csv"), path));
    // As the logger left it: changed last just after its last line, so its dates read one way.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    ASSERT_TRUE(file.setFileTime(QDateTimeFromDateTime(EncodeDateTime(2026, 12, 8, 8, 5)),
                                 QFileDevice::FileModificationTime));
  }

  QString Cell(const ui::TLogViewer& viewer, const QString& label, int column) {
    const QTableWidget& t = viewer.StatisticsTable();
    for (int r = 0; r < t.rowCount(); ++r) {
      if (t.item(r, 0)->text() == label) return t.item(r, column)->text();
    }
    return {};
  }

  QTemporaryDir dir;
  QString path;
};

TEST_F(LogViewerTest, ShowsTheFileAndItsStatisticsForEachPeriod) {
  ui::TLogViewer viewer(path);
  ASSERT_TRUE(viewer.Loaded()) << viewer.Problem().toStdString();
  viewer.show();
  const dova::TTrendGraph* left = viewer.LeftWindow()->Model();
  ASSERT_NE(left, nullptr);
  // The whole file: from its first line to its last.
  EXPECT_DOUBLE_EQ(left->Chart1().BottomAxis.Minimum, EncodeDateTime(2026, 12, 7, 8, 0, 0));
  EXPECT_DOUBLE_EQ(left->Chart1().BottomAxis.Maximum, EncodeDateTime(2026, 12, 8, 8, 0, 0));
  EXPECT_GT(viewer.LeftWindow()->ValueLine().Series()->Count(), 10u);
  const QString whole = Cell(viewer, QStringLiteral("Time with data"), 1);
  EXPECT_EQ(whole, QStringLiteral("22 h 59 min"));

  // The last 24 hours of the file are the whole file; a from-to takes the times the edits
  // hold (the period shown last).
  viewer.ShowPreset(1);
  EXPECT_EQ(Cell(viewer, QStringLiteral("Time with data"), 1), whole);
  viewer.ShowPreset(4);  // from-to, as the edits hold it
  EXPECT_EQ(viewer.PeriodBox().currentIndex(), 4);
  EXPECT_EQ(Cell(viewer, QStringLiteral("Lid openings"), 1), QStringLiteral("1 (2 min 00 s)"));

  const QString out = dir.filePath(QStringLiteral("charts"));
  ASSERT_TRUE(QDir().mkpath(out));
  EXPECT_TRUE(viewer.ExportCharts(out));
  for (const char* name : {"left.png", "left.pdf", "right.png", "gas.pdf"})
    EXPECT_TRUE(QFile::exists(out + u'/' + QString::fromLatin1(name))) << name;
  EXPECT_TRUE(viewer.ExportCsv(dir.filePath(QStringLiteral("period.csv"))));
  EXPECT_TRUE(viewer.ExportReport(dir.filePath(QStringLiteral("period.pdf"))));
  // The report draws the charts apart; the viewer keeps its period.
  EXPECT_DOUBLE_EQ(left->Chart1().BottomAxis.Maximum, EncodeDateTime(2026, 12, 8, 8, 0, 0));

  EXPECT_EQ(ui::RecentLogs().value(0), path);
}

TEST_F(LogViewerTest, AFileThatCannotBeReadIsSaidSo) {
  ui::TLogViewer viewer(dir.filePath(QStringLiteral("gone.csv")));
  EXPECT_FALSE(viewer.Loaded());
  EXPECT_TRUE(viewer.Problem().contains(QStringLiteral("gone.csv")));
  EXPECT_TRUE(ui::RecentLogs().isEmpty());
}

}  // namespace
}  // namespace dova
