// A real Prometheus scrapes the endpoint of a main window over simulated incubators and
// gives the chamber temperatures back through its query API. Everything stays on
// 127.0.0.1; every wait turns the event loop (the endpoint answers from it) and ends at a
// deadline.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "../app/main_form_fixture.h"
#include "metrics/http/metrics_endpoint.h"

namespace dova {
namespace {

constexpr const char* kPrometheus = "/usr/bin/prometheus";
constexpr int kDeadlineMs = 60000;

// A port nobody listens on right now.
std::uint16_t FreePort() {
  QTcpServer probe;
  if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
  const std::uint16_t port = probe.serverPort();
  probe.close();
  return port;
}

// Prometheus as a child process; killed when the test ends, whatever the outcome.
struct PrometheusProcess {
  QProcess process;
  ~PrometheusProcess() {
    if (process.state() == QProcess::NotRunning) return;
    process.kill();
    process.waitForFinished(10000);
  }
};

// The value of every series of the query's answer, by (serial, chamber).
using TSamples = std::map<std::pair<QString, QString>, double>;

TSamples ParseVector(const QByteArray& answer) {
  TSamples samples;
  const QJsonObject root = QJsonDocument::fromJson(answer).object();
  if (root.value("status").toString() != "success") return samples;
  for (const QJsonValue& entry : root.value("data").toObject().value("result").toArray()) {
    const QJsonObject metric = entry.toObject().value("metric").toObject();
    const QJsonArray value = entry.toObject().value("value").toArray();
    bool ok = false;
    const double v = value.at(1).toString().toDouble(&ok);
    if (ok) samples[{metric.value("serial").toString(), metric.value("chamber").toString()}] = v;
  }
  return samples;
}

struct PrometheusIntegrationTest : ::testing::Test, testing::MainFormFixture {};

TEST_F(PrometheusIntegrationTest, ReadsTheTilesTemperaturesBackThroughTheQueryApi) {
  if (!QFileInfo(kPrometheus).isExecutable()) {
    if (!qEnvironmentVariable("CI").isEmpty())
      FAIL() << kPrometheus << " is missing; CI installs the Debian package prometheus "
             << "(scripts/install-deps.sh)";
    GTEST_SKIP() << kPrometheus << " is not installed (Debian package prometheus); "
                 << "the scrape by a real Prometheus is not tried";
  }

  // Two incubators whose four chambers all stand at temperatures of their own, so a series
  // served under the wrong serial or chamber cannot pass for the right one.
  Create();
  const std::pair<int, int> set_points[] = {{3650, 3720}, {3580, 3810}};
  for (const auto& [left, right] : set_points) {
    auto config = sim::SimulatedIncubators::DefaultConfig(static_cast<int>(fleet.Count()) + 1, 1);
    config.nick = "Room " + std::to_string(fleet.Count() + 1);
    config.left_set_point = left;
    config.right_set_point = right;
    fleet.Add(config);
  }
  ASSERT_TRUE(sched.AdvanceUntil([&] { return form->ActivePanels.size() == 2; }, 5000));
  sched.AdvanceBy(3000);
  ASSERT_TRUE(errors.messages.empty()) << errors.messages.front();

  auto service =
      StartMetricsService(*form, TMetricsAddress{"127.0.0.1", 0}, store, [](const QString&) {});
  ASSERT_TRUE(service);
  const std::uint16_t target = service->Endpoint().Port();

  // Virtual time goes on as real time does, so the tiles keep polling while Prometheus
  // scrapes them.
  QTimer clock;
  QObject::connect(&clock, &QTimer::timeout, [this] { sched.AdvanceBy(100); });
  clock.start(100);

  QTemporaryDir work;
  ASSERT_TRUE(work.isValid());
  QFile config(work.filePath("prometheus.yml"));
  ASSERT_TRUE(config.open(QIODevice::WriteOnly));
  config.write(QString("global:\n"
                       "  scrape_interval: 1s\n"
                       "  scrape_timeout: 1s\n"
                       "scrape_configs:\n"
                       "  - job_name: dova300\n"
                       "    static_configs:\n"
                       "      - targets: ['127.0.0.1:%1']\n")
                   .arg(target)
                   .toUtf8());
  config.close();

  const std::uint16_t web = FreePort();
  ASSERT_NE(web, 0);
  PrometheusProcess prometheus;
  prometheus.process.setProcessChannelMode(QProcess::MergedChannels);
  prometheus.process.start(
      kPrometheus,
      {"--config.file=" + config.fileName(), "--storage.tsdb.path=" + work.filePath("data"),
       QString("--web.listen-address=127.0.0.1:%1").arg(web), "--log.level=warn"});
  ASSERT_TRUE(prometheus.process.waitForStarted(10000))
      << prometheus.process.errorString().toStdString();

  QNetworkAccessManager http;
  http.setProxy(QNetworkProxy::NoProxy);
  const QUrl query(
      QString("http://127.0.0.1:%1/api/v1/query?query=dova300_chamber_temperature_celsius")
          .arg(web));

  // What the tiles show, by (serial, chamber).
  auto shown = [this] {
    TSamples samples;
    for (const TDovaPanel* p : form->ActivePanels) {
      samples[{p->Serial, "left"}] = p->LeftTemp / 10.0;
      samples[{p->Serial, "right"}] = p->RightTemp / 10.0;
    }
    return samples;
  };
  auto matches = [](const TSamples& got, const TSamples& want) {
    if (got.size() != want.size()) return false;
    for (const auto& [key, value] : want) {
      const auto it = got.find(key);
      if (it == got.end() || std::abs(it->second - value) > 0.05) return false;
    }
    return true;
  };

  const QDeadlineTimer deadline(kDeadlineMs);
  TSamples last;
  QByteArray last_answer;
  bool read_back = false;
  while (!read_back && !deadline.hasExpired() && prometheus.process.state() == QProcess::Running) {
    QNetworkRequest request(query);
    request.setTransferTimeout(5000);
    QNetworkReply* reply = http.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(std::max<qint64>(1, deadline.remainingTime()), &loop, &QEventLoop::quit);
    loop.exec();
    if (reply->isFinished() && reply->error() == QNetworkReply::NoError) {
      last_answer = reply->readAll();
      last = ParseVector(last_answer);
      read_back = matches(last, shown());
    }
    reply->deleteLater();
    if (!read_back) {
      // Prometheus starts up and scrapes once a second: ask again a little later.
      QEventLoop pause;
      QTimer::singleShot(std::min<qint64>(500, std::max<qint64>(1, deadline.remainingTime())),
                         &pause, &QEventLoop::quit);
      pause.exec();
    }
  }
  clock.stop();

  ASSERT_TRUE(read_back) << "Prometheus "
                         << (prometheus.process.state() == QProcess::Running ? "running"
                                                                             : "has exited")
                         << "; its last answer: " << last_answer.toStdString()
                         << "\nits output: " << prometheus.process.readAll().toStdString();
  // The chambers stood at their set-points, so those are the temperatures that came back.
  for (const auto& [left, right] : set_points) {
    for (const int hundredths : {left, right}) {
      EXPECT_TRUE(std::any_of(last.begin(), last.end(), [&](const auto& sample) {
        return std::abs(sample.second - hundredths / 100.0) <= 0.05;
      })) << hundredths;
    }
  }
}

}  // namespace
}  // namespace dova
