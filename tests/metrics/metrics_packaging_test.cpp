#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include "../app/main_form_fixture.h"
#include "metrics/metrics_model.h"
#include "metrics_test_util.h"

namespace dova {
namespace {

QByteArray ReadPackaging(const QString& name) {
  QFile f(QStringLiteral(DOVA_PACKAGING_DIR "/") + name);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

// Every metric name a file mentions.
QSet<QString> MetricNames(const QByteArray& text) {
  QSet<QString> names;
  static const QRegularExpression kName(QStringLiteral("\\bdova300_[a-z0-9_]+"));
  for (const auto& m : kName.globalMatch(QString::fromUtf8(text)))
    names.insert(m.captured());
  return names;
}

struct PackagingTest : ::testing::Test, testing::MainFormFixture {
  // The families the program serves, as announced by their TYPE lines.
  QSet<QString> Served() {
    Create();
    TMetricsModel model(*form, "1.22");
    QSet<QString> names;
    for (const QString& line : testing::ExpositionLines(model.Render()))
      if (line.startsWith("# TYPE ")) names.insert(line.section(' ', 2, 2));
    return names;
  }
};

TEST_F(PackagingTest, RulesAndDashboardUseOnlyServedMetrics) {
  const QSet<QString> served = Served();
  for (const char* file : {"prometheus/dova300-alerts.yml", "prometheus/dova300-alerts.test.yml",
                           "prometheus/dova300-dashboard.json"}) {
    const QByteArray text = ReadPackaging(file);
    ASSERT_FALSE(text.isEmpty()) << file;
    const QSet<QString> used = MetricNames(text);
    EXPECT_FALSE(used.isEmpty()) << file;
    for (const QString& name : used)
      EXPECT_TRUE(served.contains(name)) << file << " uses " << name.toStdString();
  }
}

TEST_F(PackagingTest, TheDashboardHasARowPerIncubatorAndQueriesInEveryPanel) {
  QJsonParseError error;
  const QJsonDocument doc =
      QJsonDocument::fromJson(ReadPackaging("prometheus/dova300-dashboard.json"), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  const QJsonArray panels = doc.object().value("panels").toArray();
  bool repeated_row = false;
  QSet<int> ids;
  for (const QJsonValue& v : panels) {
    const QJsonObject p = v.toObject();
    EXPECT_FALSE(ids.contains(p.value("id").toInt())) << "panel ids are unique";
    ids.insert(p.value("id").toInt());
    if (p.value("type").toString() == "row") {
      repeated_row = repeated_row || p.value("repeat").toString() == "serial";
      continue;
    }
    EXPECT_FALSE(p.value("targets").toArray().isEmpty())
        << p.value("title").toString().toStdString();
  }
  EXPECT_TRUE(repeated_row);
}

}  // namespace
}  // namespace dova
