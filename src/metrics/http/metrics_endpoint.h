#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "app/command_line.h"

namespace dova {

class SettingsStore;
class TMainForm;
class TMetricsModel;
class TAlarmEngine;

// What one client of the endpoint may hold of the program. The endpoint runs on the
// user-interface thread, so these keep a slow or hostile client from holding up polling
// and logging, or from making the program hold its data in memory.
struct TEndpointLimits {
  // Connections open at once; a new one beyond this closes the one idle the longest.
  int MaxConnections = 16;
  // A connection that neither sends nor takes anything for this long is closed.
  int IdleMs = 20000;
  // Bytes a client may send without getting an answer (a request is a few hundred); more,
  // and the connection is closed.
  std::int64_t MaxRequestBytes = 16 * 1024;
  // Answer bytes not yet taken by the client; a client that asks but does not read is
  // closed when it asks again beyond this.
  std::int64_t MaxUnsentBytes = 1024 * 1024;
  // Bytes read from one connection per turn of the event loop.
  std::int64_t ReadChunkBytes = 4096;
};

// The HTTP endpoint: GET /metrics answers with `body()` in Prometheus's text format, GET /
// with a one-line pointer to it; other paths get 404, other methods on those two 405. It
// runs Qt's HTTP server on the event loop of the thread that makes it, and writes nothing
// anywhere but to its clients.
class TMetricsEndpoint {
 public:
  using TBody = std::function<QByteArray()>;

  explicit TMetricsEndpoint(TBody body, const TEndpointLimits& limits = {});
  ~TMetricsEndpoint();
  TMetricsEndpoint(const TMetricsEndpoint&) = delete;
  TMetricsEndpoint& operator=(const TMetricsEndpoint&) = delete;

  // Starts listening on a literal IPv4 or IPv6 address (port 0: any free port). False with
  // `error` set when the address is not one or the port cannot be bound.
  bool Listen(const QString& host, std::uint16_t port, QString* error);
  // The port listened on (0 before Listen succeeded).
  std::uint16_t Port() const;
  // Connections open now.
  int OpenConnections() const;

 private:
  class TServer;
  class TGuard;
  std::unique_ptr<TServer> server_;
  TGuard* guard_ = nullptr;  // owned by server_
  TEndpointLimits limits_;
};

// The metrics model and its endpoint for one main window. Free it before the main window.
class TMetricsService {
 public:
  TMetricsService(TMainForm& form, const TEndpointLimits& limits = {});
  ~TMetricsService();
  TMetricsService(const TMetricsService&) = delete;
  TMetricsService& operator=(const TMetricsService&) = delete;

  bool Listen(const TMetricsAddress& address, QString* error);
  const TMetricsModel& Model() const { return *model_; }
  // Serves the run's alarms too (the engine must outlive the service).
  void ServeAlarms(const TAlarmEngine* engine);
  const TMetricsEndpoint& Endpoint() const { return *endpoint_; }

 private:
  std::unique_ptr<TMetricsModel> model_;
  std::unique_ptr<TMetricsEndpoint> endpoint_;
};

// Starts the endpoint for a front end once its main window exists: at the address of
// --metrics if given, else at the stored "Metrics" setting, else not at all (null). A
// setting that cannot be used or a port that cannot be bound is told in one line through
// `note`, and the run goes on without the endpoint (null).
std::unique_ptr<TMetricsService> StartMetricsService(
    TMainForm& form, const std::optional<TMetricsAddress>& from_command_line,
    SettingsStore& settings, const std::function<void(const QString&)>& note);

}  // namespace dova
