#include "metrics/http/metrics_endpoint.h"

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <map>

#include "app/main_form.h"
#include "app/settings.h"
#include "metrics/metrics_model.h"

namespace dova {

// ---------------------------------------------------------------- the listening socket

// Qt's HTTP server (6.4) bounds neither how long a connection may stay silent nor how much
// a client may send, and it accepts every connection. This listening socket sits in front
// of it: it hands each connection on, and closes it when it breaks one of the limits.
class TMetricsEndpoint::TGuard : public QTcpServer {
 public:
  explicit TGuard(const TEndpointLimits& limits) : limits_(limits) {}
  ~TGuard() override {
    // Sockets still open go with the QObject base; their signals must not reach us then.
    for (auto& [socket, conn] : conns_)
      socket->disconnect(this);
    conns_.clear();
  }

  int Open() const { return static_cast<int>(conns_.size()); }

 protected:
  void incomingConnection(qintptr handle) override {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(handle)) {
      socket->deleteLater();
      return;
    }
    if (Open() >= std::max(1, limits_.MaxConnections)) {
      const auto oldest = std::min_element(conns_.begin(), conns_.end(), [](auto& a, auto& b) {
        return a.second.LastActivity < b.second.LastActivity;
      });
      Drop(oldest->first);
    }
    socket->setReadBufferSize(limits_.ReadChunkBytes);
    // The answer goes out as a header and a body: without this the body waits for the
    // client's delayed acknowledgement of the header (about 40 ms on Linux).
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    TConn& conn = conns_[socket];
    conn.LastActivity = ++activity_;
    conn.Idle = new QTimer(socket);
    conn.Idle->setSingleShot(true);
    conn.Idle->setInterval(limits_.IdleMs);
    connect(conn.Idle, &QTimer::timeout, this, [this, socket] { Drop(socket); });
    conn.Idle->start();
    // Connected before the HTTP server's own handler, so a request over the limit is
    // dropped before it is read any further.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
      const auto it = conns_.find(socket);
      if (it == conns_.end()) return;
      it->second.Unanswered += socket->bytesAvailable();
      if (it->second.Unanswered > limits_.MaxRequestBytes ||
          socket->bytesToWrite() > limits_.MaxUnsentBytes) {
        Drop(socket);
        return;
      }
      Touch(it->second);
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
      const auto it = conns_.find(socket);
      if (it == conns_.end()) return;
      it->second.Unanswered = 0;
      Touch(it->second);
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Forget(socket); });
    connect(socket, &QObject::destroyed, this, [this, socket] { conns_.erase(socket); });
    addPendingConnection(socket);
  }

 private:
  struct TConn {
    QTimer* Idle = nullptr;
    std::int64_t Unanswered = 0;
    std::uint64_t LastActivity = 0;
  };

  void Touch(TConn& conn) {
    conn.LastActivity = ++activity_;
    conn.Idle->start();
  }

  void Drop(QTcpSocket* socket) {
    Forget(socket);
    socket->abort();
  }

  void Forget(QTcpSocket* socket) {
    if (conns_.erase(socket) > 0) socket->deleteLater();
  }

  TEndpointLimits limits_;
  std::map<QTcpSocket*, TConn> conns_;
  std::uint64_t activity_ = 0;
};

// ---------------------------------------------------------------- the HTTP server

class TMetricsEndpoint::TServer : public QAbstractHttpServer {
 public:
  explicit TServer(TBody body) : body_(std::move(body)) {}

 protected:
  bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
    using Status = QHttpServerResponder::StatusCode;
    const QString path = request.url().path();
    const bool metrics = path == QLatin1String("/metrics");
    QHttpServerResponder responder = makeResponder(request, socket);
    if (!metrics && path != QLatin1String("/")) {
      responder.write(QByteArrayLiteral("Not found\n"), QByteArrayLiteral("text/plain"),
                      Status::NotFound);
    } else if (request.method() == QHttpServerRequest::Method::Head) {
      // No body after a HEAD: the client would read it as the start of its next answer.
      responder.write({{"Allow", "GET"}}, Status::MethodNotAllowed);
    } else if (request.method() != QHttpServerRequest::Method::Get) {
      responder.write(QByteArrayLiteral("Only GET\n"),
                      {{"Content-Type", "text/plain"}, {"Allow", "GET"}}, Status::MethodNotAllowed);
    } else if (metrics) {
      responder.write(body_(), QByteArray(TMetricsModel::kContentType));
    } else {
      responder.write(QByteArrayLiteral("DOVA-300 Logger: metrics at /metrics\n"),
                      QByteArrayLiteral("text/plain; charset=utf-8"));
    }
    return true;
  }

  void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
  }

 private:
  TBody body_;
};

// ---------------------------------------------------------------- the endpoint

TMetricsEndpoint::TMetricsEndpoint(TBody body, const TEndpointLimits& limits)
    : server_(std::make_unique<TServer>(std::move(body))), limits_(limits) {}

TMetricsEndpoint::~TMetricsEndpoint() = default;

bool TMetricsEndpoint::Listen(const QString& host, std::uint16_t port, QString* error) {
  QHostAddress address;
  if (!address.setAddress(host)) {
    *error = host + QStringLiteral(" is not an IP address");
    return false;
  }
  auto guard = std::make_unique<TGuard>(limits_);
  if (!guard->listen(address, port)) {
    *error = guard->errorString();
    return false;
  }
  guard_ = guard.release();
  server_->bind(guard_);  // the server owns it from here
  return true;
}

std::uint16_t TMetricsEndpoint::Port() const {
  return guard_ ? guard_->serverPort() : 0;
}

int TMetricsEndpoint::OpenConnections() const {
  return guard_ ? guard_->Open() : 0;
}

// ---------------------------------------------------------------- the service

TMetricsService::TMetricsService(TMainForm& form, const TEndpointLimits& limits)
    : model_(std::make_unique<TMetricsModel>(form, BuildVersion())),
      endpoint_(std::make_unique<TMetricsEndpoint>(
          [model = model_.get()] { return model->Render(); }, limits)) {}

TMetricsService::~TMetricsService() {
  // The endpoint goes first: no request may reach a model that is gone.
  endpoint_.reset();
}

void TMetricsService::ServeAlarms(const TAlarmEngine* engine) {
  model_->ServeAlarms(engine);
}

bool TMetricsService::Listen(const TMetricsAddress& address, QString* error) {
  return endpoint_->Listen(address.Host, address.Port, error);
}

std::unique_ptr<TMetricsService> StartMetricsService(
    TMainForm& form, const std::optional<TMetricsAddress>& from_command_line,
    SettingsStore& settings, const std::function<void(const QString&)>& note) {
  std::optional<TMetricsAddress> address = from_command_line;
  if (!address) {
    const QString stored = LoadMetricsSetting(settings);
    if (stored.isEmpty()) return nullptr;
    address = ParseMetricsAddress(stored);
    if (!address) {
      note(QStringLiteral("Metrics: the stored setting Metrics=\"") + stored +
           QStringLiteral("\" is not [ADDRESS:]PORT; no metrics endpoint"));
      return nullptr;
    }
  }
  auto service = std::make_unique<TMetricsService>(form);
  QString error;
  if (!service->Listen(*address, &error)) {
    note(QStringLiteral("Metrics: cannot listen on ") + address->Text() + QStringLiteral(": ") +
         error + QStringLiteral("; going on without the metrics endpoint"));
    return nullptr;
  }
  address->Port = service->Endpoint().Port();  // the port taken, when any was asked for
  note(QStringLiteral("Metrics: serving http://") + address->Text() + QStringLiteral("/metrics"));
  return service;
}

}  // namespace dova
