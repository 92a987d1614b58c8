// The stored-log viewer on the offscreen platform: the charts of the file, the period bar,
// the statistics panel, exports and the recent files.

#include "ui/history/log_viewer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "alarms/alarm_journal.h"
#include "graphs/temp_graph.h"
#include "history/stored_log.h"
#include "platform/datetime.h"
#include "platform/settings/settings_store.h"
#include "ui/graphs/graph_windows.h"
#include "ui/graphs/trend_chart.h"

namespace dova {
namespace {

class LogViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    // Qt finds the settings file once per process: each test starts from no settings.
    QSettings(QStringLiteral("Harl"), QStringLiteral("DOVA300")).clear();
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

// A log names no incubator: its file name does, and the user may correct it. The serial
// then chooses the alarm band (its own alarm settings) and the journal's entries, in the
// statistics panel and on paper.
TEST_F(LogViewerTest, ACorrectedSerialTakesItsAlarmBandAndItsJournalEntriesToThePrinter) {
  ASSERT_TRUE(
      QSettingsStore().SetValue(QStringLiteral("Alarms/4712/TemperatureLimit"), 0.25, true));
  const TDateTime raised = EncodeDateTime(2026, 12, 7, 9, 40, 0);
  {
    TAlarmTransition t;
    t.Time = raised;
    t.Serial = QStringLiteral("4712");
    t.Key = TAlarmKey{TAlarmKind::TemperatureLow, TAlarmSide::Left};
    t.Value = QStringLiteral("36.5 \u00B0C");
    QFile journal(dir.filePath(QString::fromLatin1(kJournalFileName)));
    ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
    journal.write(JournalHeader() + JournalLine(t, {}, nullptr));
  }
  ui::TLogViewer viewer(path);
  ASSERT_TRUE(viewer.Loaded()) << viewer.Problem().toStdString();
  EXPECT_EQ(viewer.Incubator().Serial, QStringLiteral("4711"));

  // The correction as the user types it into the dialog.
  QTimer::singleShot(0, &viewer, [] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    const QList<QLineEdit*> edits = dialog->findChildren<QLineEdit*>();
    ASSERT_EQ(edits.size(), 2);
    edits[0]->setText(QStringLiteral("Incubator B"));
    edits[1]->setText(QStringLiteral(" 4712 "));
    QMetaObject::invokeMethod(dialog, "accept");
  });
  ASSERT_TRUE(viewer.EditIncubator());
  EXPECT_EQ(viewer.Incubator().Name, QStringLiteral("Incubator B"));
  EXPECT_EQ(viewer.Incubator().Serial, QStringLiteral("4712"));
  EXPECT_TRUE(viewer.windowTitle().startsWith(QStringLiteral("Incubator B: 4712")));
  // The file opened again keeps the correction.
  EXPECT_EQ(ui::TLogViewer(path).Incubator().Serial, QStringLiteral("4712"));

  // The share within 0.25 °C of the set-point, as the library gives it.
  TStoredLogReader reader(path);
  ASSERT_EQ(reader.Refresh(), TStoredLogReader::TResult::Read);
  const TAlarmBand narrow{0.25, 5};
  const double share =
      ComputePeriodStats(reader.Log(), reader.Log().FirstTime, reader.Log().LastTime, narrow)
          .Left.InBandShare;
  const double usual =
      ComputePeriodStats(reader.Log(), reader.Log().FirstTime, reader.Log().LastTime)
          .Left.InBandShare;
  ASSERT_NE(QLocale().toString(share * 100, 'f', 1), QLocale().toString(usual * 100, 'f', 1));
  EXPECT_EQ(Cell(viewer, QStringLiteral("Time within the alarm band"), 1),
            QLocale().toString(share * 100, 'f', 1) + QStringLiteral(" %"));

  // Printed on a printer that writes a PDF: no dialog.
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  const QString pdf = dir.filePath(QStringLiteral("printed.pdf"));
  printer.setOutputFileName(pdf);
  ASSERT_TRUE(viewer.PrintReport(printer));
  QProcess text;
  text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
  ASSERT_TRUE(text.waitForFinished(60000));
  const QString printed =
      QString::fromUtf8(text.readAllStandardOutput())
          .replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" "));
  for (const QString& e :
       {QStringLiteral("Period report: Incubator B 4712"), QStringLiteral("\u00B10.25 \u00B0C"),
        // The journal's table: time, alarm, transition, details.
        QLocale().toString(QDateTimeFromDateTime(raised), QLocale::ShortFormat),
        QStringLiteral("Left temperature low"), QStringLiteral("value 36.5 \u00B0C")})
    EXPECT_TRUE(printed.contains(e)) << e.toStdString() << "\n" << printed.toStdString();
}

TEST_F(LogViewerTest, AFileThatCannotBeReadIsSaidSo) {
  ui::TLogViewer viewer(dir.filePath(QStringLiteral("gone.csv")));
  EXPECT_FALSE(viewer.Loaded());
  EXPECT_TRUE(viewer.Problem().contains(QStringLiteral("gone.csv")));
  EXPECT_TRUE(ui::RecentLogs().isEmpty());
}

}  // namespace
}  // namespace dova
