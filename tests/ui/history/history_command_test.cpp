// The logger's command line for stored logs, run as the program itself: reports and exports
// without a display, checked with poppler's tools.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include "alarms/alarm_journal.h"
#include "history/period_report.h"
#include "history/stored_log.h"

namespace dova {
namespace {

const QString kFixture = QStringLiteral(DOVA_FIXTURES_DIR "/Incubator A 4711.csv");

struct TRun {
  int Code = -1;
  QByteArray Out;
  QByteArray Err;
};

TRun Program(const QString& program, const QStringList& args,
             const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(program, args);
  TRun run;
  if (!p.waitForStarted(60000) || !p.waitForFinished(120000)) return run;
  run.Code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  run.Out = p.readAllStandardOutput();
  run.Err = p.readAllStandardError();
  return run;
}

TRun Logger(const QStringList& args,
            const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
  return Program(QStringLiteral(DOVA_LOGGER), args, env);
}

// The text of a PDF with every run of blanks and line ends made one blank.
QString PdfText(const QString& pdf) {
  const TRun r = Program(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
  EXPECT_EQ(r.Code, 0) << "pdftotext (poppler-utils) is needed";
  return QString::fromUtf8(r.Out).replace(QRegularExpression(QStringLiteral("\\s+")),
                                          QStringLiteral(" "));
}

// stderr without the offscreen platform's own warnings.
QStringList ErrorLines(const TRun& r) {
  QStringList lines;
  for (const QString& l : QString::fromLocal8Bit(r.Err).split(u'\n', Qt::SkipEmptyParts)) {
    if (!l.contains(QStringLiteral("propagateSizeHints")) &&
        !l.startsWith(QStringLiteral("QStandardPaths")))
      lines << l;
  }
  return lines;
}

TEST(HistoryCommand, ReportHoldsTheStatisticsAndTheChartsOfThePeriod) {
  QTemporaryDir dir;
  const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
  const TRun r = Logger({QStringLiteral("--report"), kFixture, QStringLiteral("--locale"),
                         QStringLiteral("en_US"), QStringLiteral("--from"),
                         QStringLiteral("2026-12-07T09:00:00"), QStringLiteral("--out"), pdf});
  ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
  EXPECT_TRUE(ErrorLines(r).isEmpty()) << r.Err.toStdString();

  // The same figures as the library gives for that period.
  TStoredLogReader reader(kFixture, {QLocale(QStringLiteral("en_US")), QLocale::c()});
  ASSERT_EQ(reader.Refresh(), TStoredLogReader::TResult::Read);
  const TDateTime from = *ParseIsoTime(QStringLiteral("2026-12-07T09:00:00"));
  const TPeriodStats stats = ComputePeriodStats(reader.Log(), from, reader.Log().LastTime);
  const QLocale en(QStringLiteral("en_US"));
  const QString text = PdfText(pdf);
  const QString expected[] = {
      QStringLiteral("Incubator A"),
      QStringLiteral("4711"),
      *FileSha256(kFixture),
      en.toString(stats.Left.Mean, 'f', 2) + QStringLiteral(" \u00B0C"),
      en.toString(stats.Right.MeanKinetic, 'f', 2) + QStringLiteral(" \u00B0C"),
      en.toString(stats.Gas.InBandShare * 100, 'f', 1) + QStringLiteral(" %"),
      QStringLiteral("Lid openings"),
      QStringLiteral("1 (12 min 00 s)"),  // the temperature error
      QStringLiteral("1 (1 h 00 min)"),   // the gap
      QStringLiteral("Left chamber temperature"),
      QStringLiteral("Gas flow"),
      QStringLiteral("Purge Start"),
  };
  for (const QString& e : expected)
    EXPECT_TRUE(text.contains(e)) << e.toStdString() << "\n" << text.toStdString();
  // Before --from: the lid opening at 9:35 is in, the start of the file is not.
  EXPECT_FALSE(text.contains(QStringLiteral("7 Dec 2026 08:00:00")));

  // The three charts are pictures on the pages.
  const TRun images = Program(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
  ASSERT_EQ(images.Code, 0);
  EXPECT_EQ(images.Out.count(" image "), 3) << images.Out.toStdString();
}

// The log's serial, from its file name or from --serial, chooses the alarm band (its alarm
// settings) and the alarm journal's entries beside the log; --name names the incubator.
TEST(HistoryCommand, TheSerialChoosesTheAlarmBandAndTheJournalsEntries) {
  QTemporaryDir dir;
  const QString log = dir.filePath(QStringLiteral("Incubator A 4711.csv"));
  ASSERT_TRUE(QFile::copy(kFixture, log));
  // The user's settings: incubator 4712 has a narrower temperature band of its own.
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  const QString config = dir.filePath(QStringLiteral("config"));
  env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
  {
    ASSERT_TRUE(QDir().mkpath(config + QStringLiteral("/Harl")));
    QSettings settings(config + QStringLiteral("/Harl/DOVA300.conf"), QSettings::IniFormat);
    settings.setValue(QStringLiteral("Alarms/4712/TemperatureLimit"), 0.2);
  }
  const auto entry = [](const char* serial, TDateTime time, TAlarmKind kind, TAlarmSide side,
                        const char* value) {
    TAlarmTransition t;
    t.Time = time;
    t.Serial = QString::fromLatin1(serial);
    t.Key = TAlarmKey{kind, side};
    t.Value = QString::fromUtf8(value);
    return t;
  };
  {
    QByteArray bytes = JournalHeader();
    QByteArray chain;
    for (const TAlarmTransition& t :
         {entry("4711", EncodeDateTime(2026, 12, 7, 9, 38, 20), TAlarmKind::LidOpen,
                TAlarmSide::Left, "3 min"),
          entry("4712", EncodeDateTime(2026, 12, 7, 10, 0, 0), TAlarmKind::TemperatureLow,
                TAlarmSide::Right, "36.1 \u00B0C"),
          // Before the period asked for.
          entry("4711", EncodeDateTime(2026, 12, 7, 8, 30, 0), TAlarmKind::FlowHigh,
                TAlarmSide::Gas, "31 ml/min")})
      bytes += JournalLine(t, chain, &chain);
    QFile journal(dir.filePath(QString::fromLatin1(kJournalFileName)));
    ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
    journal.write(bytes);
  }
  struct Case {
    QStringList extra;
    QStringList holds;
    QStringList lacks;
  };
  const Case cases[] = {
      {{},
       {QStringLiteral("Incubator A 4711"), QStringLiteral("\u00B10.5 \u00B0C"),
        QStringLiteral("Left lid open too long"), QStringLiteral("value 3 min"),
        QStringLiteral("Alarm Journal.csv: 1 entry for this incubator in the period")},
       {QStringLiteral("Right temperature low"), QStringLiteral("Gas flow high")}},
      {{QStringLiteral("--name"), QStringLiteral("Incubator B"), QStringLiteral("--serial"),
        QStringLiteral("4712")},
       {QStringLiteral("Period report: Incubator B 4712"), QStringLiteral("\u00B10.2 \u00B0C"),
        QStringLiteral("Right temperature low"), QStringLiteral("value 36.1 \u00B0C")},
       {QStringLiteral("Period report: Incubator A"), QStringLiteral("lid open too long")}},
  };
  for (const Case& c : cases) {
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    const TRun r =
        Logger(QStringList{QStringLiteral("--report"), log, QStringLiteral("--locale"),
                           QStringLiteral("en_US"), QStringLiteral("--from"),
                           QStringLiteral("2026-12-07T09:00"), QStringLiteral("--out"), pdf} +
                   c.extra,
               env);
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    const QString text = PdfText(pdf);
    for (const QString& e : c.holds)
      EXPECT_TRUE(text.contains(e)) << e.toStdString() << "\n" << text.toStdString();
    for (const QString& e : c.lacks)
      EXPECT_FALSE(text.contains(e)) << e.toStdString();
  }
}

TEST(HistoryCommand, PageSizesAndTheCsvExport) {
  QTemporaryDir dir;
  struct Case {
    const char* page;
    const char* size;
  };
  for (const Case c :
       {Case{"a4", "595 x 842 pts (A4)"}, Case{"letter", "612 x 792 pts (letter)"}}) {
    const QString pdf = dir.filePath(QString::fromLatin1(c.page) + QStringLiteral(".pdf"));
    ASSERT_EQ(Logger({QStringLiteral("--report"), kFixture, QStringLiteral("--locale"),
                      QStringLiteral("de_DE"), QStringLiteral("--page"),
                      QString::fromLatin1(c.page), QStringLiteral("--out"), pdf})
                  .Code,
              0);
    const TRun info = Program(QStringLiteral("pdfinfo"), {pdf});
    EXPECT_TRUE(info.Out.contains(c.size)) << info.Out.toStdString();
  }

  const QString csv = dir.filePath(QStringLiteral("out.csv"));
  ASSERT_EQ(Logger({QStringLiteral("--export-csv"), kFixture, QStringLiteral("--locale"),
                    QStringLiteral("en_US"), QStringLiteral("--to"),
                    QStringLiteral("2026-12-07T10:00"), QStringLiteral("--out"), csv})
                .Code,
            0);
  QFile file(csv);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QList<QByteArray> rows = file.readAll().split('\n');
  EXPECT_EQ(rows[0],
            "time_utc,time_local,left_temperature,left_setpoint,right_temperature,"
            "right_setpoint,gas_flow,gas_setpoint,event");
  EXPECT_TRUE(
      rows.contains("2026-12-07T09:35:20Z,2026-12-07T09:35:20,36.2,37.0,37.0,37.0,20,20,"
                    "Left Lid Open"))
      << rows.join('\n').toStdString();
}

TEST(HistoryCommand, BadArgumentsAndUnreadableFilesSayWhyInOneLine) {
  QTemporaryDir dir;
  const QString out = dir.filePath(QStringLiteral("x.pdf"));
  const QString garbage = dir.filePath(QStringLiteral("garbage.csv"));
  {
    QFile f(garbage);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("no log\rat all\r");
  }
  struct Case {
    QStringList args;
    int code;
    const char* says;
  };
  const Case cases[] = {
      {{QStringLiteral("--report"), kFixture}, 2, "--out"},
      {{QStringLiteral("--report"), kFixture, QStringLiteral("--from"), QStringLiteral("monday"),
        QStringLiteral("--out"), out},
       2,
       "ISO 8601"},
      {{QStringLiteral("--export-csv"), kFixture, QStringLiteral("--locale"),
        QStringLiteral("xx_QQ"), QStringLiteral("--out"), out},
       2,
       "unknown locale"},
      {{QStringLiteral("--report"), kFixture, QStringLiteral("--page"), QStringLiteral("a3"),
        QStringLiteral("--out"), out},
       2,
       "letter"},
      {{QStringLiteral("--out"), out}, 2, "need --report"},
      {{QStringLiteral("--export-csv"), kFixture, QStringLiteral("--serial"),
        QStringLiteral("4712"), QStringLiteral("--out"), out},
       2,
       "--serial need --report"},
      {{QStringLiteral("--report"), kFixture, QStringLiteral("--export-csv"), kFixture,
        QStringLiteral("--out"), out},
       2,
       "one at a time"},
      {{QStringLiteral("--report"), dir.filePath(QStringLiteral("missing.csv")),
        QStringLiteral("--out"), out},
       1,
       "missing.csv"},
      {{QStringLiteral("--export-csv"), garbage, QStringLiteral("--out"), out}, 1, "garbage.csv"},
      {{QStringLiteral("--export-csv"), kFixture, QStringLiteral("--locale"),
        QStringLiteral("en_US"), QStringLiteral("--out"), dir.filePath(QStringLiteral("no/x.csv"))},
       1,
       "Cannot write"},
  };
  for (const Case& c : cases) {
    const TRun r = Logger(c.args);
    EXPECT_EQ(r.Code, c.code) << c.args.join(u' ').toStdString();
    const QStringList lines = ErrorLines(r);
    ASSERT_EQ(lines.size(), 1) << r.Err.toStdString();
    EXPECT_TRUE(lines[0].contains(QString::fromLatin1(c.says))) << lines[0].toStdString();
  }
  EXPECT_FALSE(QFile::exists(out));
}

}  // namespace
}  // namespace dova
