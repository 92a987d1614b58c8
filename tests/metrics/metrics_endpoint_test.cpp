#include "metrics/http/metrics_endpoint.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpSocket>

#include "../app/main_form_fixture.h"
#include "app/settings.h"
#include "metrics/metrics_model.h"
#include "metrics_test_util.h"

namespace dova {
namespace {

// Real sockets on 127.0.0.1: every wait is on a signal and ends after a bounded time.
constexpr int kWaitMs = 30000;

struct Response {
  QByteArray StatusLine;
  QByteArray ContentType;
  QByteArray Allow;
  QByteArray Body;
  bool Complete = false;
};

// A client of the endpoint in the same process: the server answers from the event loop, so
// every wait here turns it.
struct Client {
  QTcpSocket socket;
  bool Connect(std::uint16_t port) {
    socket.connectToHost(QHostAddress::LocalHost, port);
    QSignalSpy connected(&socket, &QTcpSocket::connected);
    return socket.state() == QAbstractSocket::ConnectedState || connected.wait(kWaitMs);
  }
  Response Ask(const QByteArray& request) {
    socket.write(request);
    QByteArray data;
    Response r;
    QElapsedTimer clock;
    clock.start();
    QSignalSpy ready(&socket, &QTcpSocket::readyRead);
    while (clock.elapsed() < kWaitMs) {
      data += socket.readAll();
      r = Parse(data);
      if (r.Complete || socket.state() != QAbstractSocket::ConnectedState) break;
      ready.wait(200);
    }
    return r;
  }
  bool WaitClosed() {
    if (socket.state() == QAbstractSocket::UnconnectedState) return true;
    QSignalSpy gone(&socket, &QTcpSocket::disconnected);
    return gone.wait(kWaitMs);
  }
  static Response Parse(const QByteArray& data) {
    Response r;
    const qsizetype end = data.indexOf("\r\n\r\n");
    if (end < 0) return r;
    qsizetype length = 0;
    const QList<QByteArray> head = data.left(end).split('\n');
    r.StatusLine = head.value(0).trimmed();
    for (const QByteArray& line : head) {
      const QByteArray key = line.left(line.indexOf(':')).trimmed().toLower();
      const QByteArray value = line.mid(line.indexOf(':') + 1).trimmed();
      if (key == "content-length") length = value.toLongLong();
      if (key == "content-type") r.ContentType = value;
      if (key == "allow") r.Allow = value;
    }
    if (data.size() >= end + 4 + length) {
      r.Body = data.mid(end + 4, length);
      r.Complete = true;
    }
    return r;
  }
};

const QByteArray kBody = "# HELP dova300_up x\n# TYPE dova300_up gauge\ndova300_up 1\n";

struct EndpointTest : ::testing::Test {
  std::unique_ptr<TMetricsEndpoint> endpoint;
  int served = 0;

  std::uint16_t Start(const TEndpointLimits& limits = {}) {
    endpoint = std::make_unique<TMetricsEndpoint>(
        [this] {
          ++served;
          return kBody;
        },
        limits);
    QString error;
    EXPECT_TRUE(endpoint->Listen("127.0.0.1", 0, &error)) << error.toStdString();
    EXPECT_NE(endpoint->Port(), 0);
    return endpoint->Port();
  }

  Response Get(std::uint16_t port, const QByteArray& target = "/metrics") {
    Client c;
    if (!c.Connect(port)) return {};
    return c.Ask("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  }
};

TEST_F(EndpointTest, AnswersOnlyGetOnItsTwoPaths) {
  const std::uint16_t port = Start();
  struct Case {
    QByteArray request;
    QByteArray status;
    QByteArray content_type;
  };
  const Case cases[] = {
      {"GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 200 OK",
       "text/plain; version=0.0.4; charset=utf-8"},
      {"GET /metrics?x=1 HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 200 OK",
       "text/plain; version=0.0.4; charset=utf-8"},
      {"GET / HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 200 OK", "text/plain; charset=utf-8"},
      {"GET /metrics/ HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 404 Not Found", "text/plain"},
      {"GET /index.html HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 404 Not Found", "text/plain"},
      {"POST /metrics HTTP/1.1\r\nHost: a\r\nContent-Length: 3\r\n\r\nabc",
       "HTTP/1.1 405 Method Not Allowed", "text/plain"},
      {"PUT / HTTP/1.1\r\nHost: a\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 405 Method Not Allowed",
       "text/plain"},
      {"DELETE /metrics HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 405 Method Not Allowed",
       "text/plain"},
  };
  for (const Case& c : cases) {
    Client client;
    ASSERT_TRUE(client.Connect(port));
    const Response r = client.Ask(c.request);
    EXPECT_TRUE(r.Complete) << c.request.toStdString();
    EXPECT_EQ(r.StatusLine, c.status) << c.request.toStdString();
    EXPECT_EQ(r.ContentType, c.content_type) << c.request.toStdString();
    if (r.StatusLine.contains("405")) {
      EXPECT_EQ(r.Allow, "GET");
    }
  }
  EXPECT_EQ(served, 2) << "only the two GET /metrics rendered the metrics";
  const Response r = Get(port);
  EXPECT_EQ(r.Body, kBody);
  EXPECT_EQ(Get(port, "/").Body, "DOVA-300 Logger: metrics at /metrics\n");
}

TEST_F(EndpointTest, KeepsAConnectionForTheNextScrape) {
  const std::uint16_t port = Start();
  Client c;
  ASSERT_TRUE(c.Connect(port));
  for (int i = 0; i < 3; ++i) {
    const Response r = c.Ask("GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n");
    EXPECT_EQ(r.Body, kBody) << i;
  }
  EXPECT_EQ(served, 3);
  // A HEAD gets its refusal without a body, so the next answer on the line is whole.
  const Response head = c.Ask("HEAD /metrics HTTP/1.1\r\nHost: a\r\n\r\n");
  EXPECT_EQ(head.StatusLine, "HTTP/1.1 405 Method Not Allowed");
  EXPECT_EQ(head.Allow, "GET");
  const Response next = c.Ask("GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n");
  EXPECT_EQ(next.StatusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(next.Body, kBody);
}

TEST_F(EndpointTest, AHostileClientDoesNotHoldUpAnother) {
  // Long enough that the well-behaved client below is answered well within it on a busy
  // machine; the silent one is closed once it has passed.
  TEndpointLimits limits;
  limits.IdleMs = 1000;
  const std::uint16_t port = Start(limits);

  // One that connects and says nothing, one that sends an endless request line.
  QElapsedTimer silent_since;
  silent_since.start();
  Client silent;
  ASSERT_TRUE(silent.Connect(port));
  Client flood;
  ASSERT_TRUE(flood.Connect(port));
  flood.socket.write("GET /" + QByteArray(200 * 1024, 'a'));

  const Response r = Get(port);
  EXPECT_EQ(r.StatusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(r.Body, kBody);
  // The flood is cut off once it passes the request limit, the silent one when it has
  // been idle too long; neither got an answer.
  EXPECT_TRUE(flood.WaitClosed());
  EXPECT_TRUE(silent.WaitClosed());
  // Not before it had been idle that long (the idle timer is one of Qt's coarse timers,
  // which may fire up to 5 % early).
  EXPECT_GE(silent_since.elapsed(), limits.IdleMs * 95 / 100);
  EXPECT_TRUE(silent.socket.readAll().isEmpty());
  EXPECT_EQ(served, 1);
}

TEST_F(EndpointTest, AFullHouseMakesRoomByClosingTheLongestIdle) {
  TEndpointLimits limits;
  limits.MaxConnections = 2;
  const std::uint16_t port = Start(limits);
  Client first, second;
  ASSERT_TRUE(first.Connect(port));
  ASSERT_TRUE(second.Connect(port));
  // Both are known to the server before the third comes.
  QElapsedTimer clock;
  clock.start();
  while (endpoint->OpenConnections() < 2 && clock.elapsed() < kWaitMs)
    QSignalSpy(&first.socket, &QTcpSocket::readyRead).wait(20);
  ASSERT_EQ(endpoint->OpenConnections(), 2);

  const Response r = Get(port);
  EXPECT_EQ(r.Body, kBody);
  EXPECT_TRUE(first.WaitClosed()) << "the connection idle the longest gave way";
  EXPECT_EQ(second.socket.state(), QAbstractSocket::ConnectedState);
}

TEST_F(EndpointTest, APortInUseIsRefusedWithItsReason) {
  const std::uint16_t port = Start();
  TMetricsEndpoint other([] { return QByteArray(); });
  QString error;
  EXPECT_FALSE(other.Listen("127.0.0.1", port, &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(other.Listen("localhost", 0, &error)) << "addresses only, no names";
  EXPECT_EQ(error, "localhost is not an IP address");
  EXPECT_EQ(Get(port).Body, kBody) << "the first endpoint is untouched";
}

// ---------------------------------------------------------------- the service

struct MetricsServiceTest : ::testing::Test, testing::MainFormFixture {
  QStringList notes;
  std::function<void(const QString&)> Note() {
    return [this](const QString& line) { notes << line; };
  }
};

TEST_F(MetricsServiceTest, ServesTheMainWindowsTilesOverHttp) {
  Create();
  auto service = StartMetricsService(*form, TMetricsAddress{"127.0.0.1", 0}, store, Note());
  ASSERT_TRUE(service);
  const std::uint16_t port = service->Endpoint().Port();
  ASSERT_EQ(notes.size(), 1);
  EXPECT_EQ(notes[0], QString("Metrics: serving http://127.0.0.1:%1/metrics").arg(port));
  Plug("Served");
  sched.AdvanceBy(2000);
  const QString serial = Listed("Served")->Serial;
  Client c;
  ASSERT_TRUE(c.Connect(port));
  const Response r = c.Ask("GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n");
  EXPECT_EQ(r.ContentType, "text/plain; version=0.0.4; charset=utf-8");
  const QStringList lines = testing::ExpositionLines(r.Body);
  EXPECT_TRUE(lines.contains(QString("dova300_incubator_up{serial=\"%1\"} 1").arg(serial)));
  EXPECT_TRUE(lines.contains(QString("dova300_build_info{version=\"%1\"} 1").arg(BuildVersion())));
}

TEST_F(MetricsServiceTest, TheCommandLineOverridesTheSettingWhichIsOffByDefault) {
  Create();
  EXPECT_FALSE(StartMetricsService(*form, std::nullopt, store, Note())) << "off by default";
  EXPECT_TRUE(notes.isEmpty());

  store.values["Metrics"] = "127.0.0.1:99999";
  EXPECT_FALSE(StartMetricsService(*form, std::nullopt, store, Note()));
  ASSERT_EQ(notes.size(), 1);
  EXPECT_TRUE(notes[0].contains("Metrics=\"127.0.0.1:99999\"")) << notes[0].toStdString();

  // The command line wins over a setting; a port taken is one line and no endpoint.
  TMetricsEndpoint taken([] { return QByteArray(); });
  QString error;
  ASSERT_TRUE(taken.Listen("127.0.0.1", 0, &error));
  store.values["Metrics"] = QString::number(taken.Port());
  notes.clear();
  EXPECT_FALSE(
      StartMetricsService(*form, TMetricsAddress{"127.0.0.1", taken.Port()}, store, Note()));
  ASSERT_EQ(notes.size(), 1);
  EXPECT_TRUE(
      notes[0].startsWith(QString("Metrics: cannot listen on 127.0.0.1:%1: ").arg(taken.Port())))
      << notes[0].toStdString();
  EXPECT_TRUE(store.values.count("Metrics")) << "nothing written or removed";
  EXPECT_EQ(store.values.size(), 3u);
}

TEST(MetricsAddress, ParsesPortAndAddress) {
  struct Case {
    const char* text;
    std::optional<std::pair<const char*, int>> expected;
  };
  const Case cases[] = {
      {"9300", {{"127.0.0.1", 9300}}},
      {"0.0.0.0:9300", {{"0.0.0.0", 9300}}},
      {"192.168.1.20:1", {{"192.168.1.20", 1}}},
      {"[::1]:65535", {{"::1", 65535}}},
      {"[::]:9300", {{"::", 9300}}},
      {"0", std::nullopt},
      {"65536", std::nullopt},
      {"", std::nullopt},
      {":9300", std::nullopt},
      {"::1:9300", std::nullopt},
      {"[::1]9300", std::nullopt},
      {"[]:9300", std::nullopt},
      {"host:", std::nullopt},
      {"host:+80", std::nullopt},
      {"9300x", std::nullopt},
      {"a b:80", std::nullopt},
      {"1234567", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto got = ParseMetricsAddress(QString::fromUtf8(c.text));
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.text;
    if (!got) continue;
    EXPECT_EQ(got->Host, c.expected->first) << c.text;
    EXPECT_EQ(got->Port, c.expected->second) << c.text;
  }
  EXPECT_EQ((TMetricsAddress{"::1", 9300}.Text()), "[::1]:9300");

  // The option and the stored setting.
  EXPECT_EQ(ParseCommandLine({"--metrics", "9300"}).Metrics->Port, 9300);
  EXPECT_EQ(ParseCommandLine({"--metrics=[::1]:80"}).Metrics->Host, "::1");
  EXPECT_FALSE(ParseCommandLine({"--metrics", "x"}).Error.isEmpty());
  EXPECT_FALSE(ParseCommandLine({"--metrics"}).Error.isEmpty());
  EXPECT_FALSE(ParseCommandLine({"--metrics", "9300"}).WantsLogger())
      << "the windowed program serves metrics too";
  MemorySettingsStore store;
  store.key_exists = true;
  EXPECT_EQ(LoadMetricsSetting(store), "");
  store.values["Metrics"] = " 0.0.0.0:9300 ";
  EXPECT_EQ(LoadMetricsSetting(store), "0.0.0.0:9300");
  store.values["Metrics"] = 9300;
  EXPECT_EQ(LoadMetricsSetting(store), "9300");
  store.values["Metrics"] = QStringList{"a"};
  EXPECT_EQ(LoadMetricsSetting(store), "");
}

}  // namespace
}  // namespace dova
