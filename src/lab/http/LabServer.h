#pragma once

#include <QAbstractHttpServer>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "lab/http/Address.h"
#include "lab/http/Metrics.h"

class QTcpSocket;

namespace quorvel::lab {

// The running lab, read-only over HTTP (--http): the report page at /, kept live by a script
// in the page; /metrics for Prometheus; /journal.csv as written so far. It runs on the lab's
// own thread and never waits on a client: connections, request size and time are capped, and
// a reply the client does not take is dropped, so no client delays a cycle's time stamps.
class LabServer : public QAbstractHttpServer {
  public:
    // What the server reads of the lab.
    struct Source {
        std::function<std::string()> reportPage;       // the report as --report writes it now
        std::function<bool(std::size_t)> portUp;       // whether receiver i's port is open
        std::string journal;                           // the journal's path
    };
    struct Limits {
        int connections = 64;               // more are answered 503 and closed
        qint64 requestBytes = 8 * 1024;     // a larger request is answered 431 and closed
        std::chrono::milliseconds idle{10'000};  // to send a whole request, or take a reply
    };

    LabServer(Source source, bool decisions, Limits limits);
    LabServer(Source source, bool decisions) : LabServer(std::move(source), decisions, Limits{}) {}
    ~LabServer() override;

    // Listens at `address`; false with the reason in `error`. `said` gets the lines for the
    // lab's output: the address served and, when not a loopback one, who can read it.
    bool Listen(const HttpAddress& address, std::string& error, std::string& said);
    quint16 Port() const;
    LabMetrics& Metrics() { return metrics_; }

  protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

  private:
    class Gate;
    struct Connection {
        qint64 received = 0;  // bytes of the request under way
        std::chrono::steady_clock::time_point since;  // of the wait for a request, or progress
        int fd = -1;          // the journal being sent, or -1
        qint64 left = 0;      // its bytes still to send
        // A page or the metrics being sent, and how much of it went; shared, so that the next
        // request renders anew without copying what this one still sends.
        std::shared_ptr<const std::string> body = {};
        std::size_t sent = 0;
        bool pumping = false;  // a flush tells of bytes written from inside Pump itself
    };
    void Admit(QTcpSocket* socket);
    void Received(QTcpSocket* socket);
    void Pump(QTcpSocket* socket);
    void PumpMore(QTcpSocket* socket, Connection& c);
    void Sweep();
    void SendJournal(const QHttpServerRequest& request, QTcpSocket* socket, bool head);
    std::shared_ptr<const std::string> Page();
    std::shared_ptr<const std::string> MetricsText();

    Source source_;
    Limits limits_;
    LabMetrics metrics_;
    Gate* gate_ = nullptr;  // owned by the server, as Qt parents it
    QTimer sweep_;
    std::unordered_map<QTcpSocket*, Connection> connections_;
    std::shared_ptr<const std::string> page_;
    std::chrono::steady_clock::time_point pageAt_;
    std::chrono::steady_clock::duration pageCost_{};  // what the last rendering took
    std::shared_ptr<std::string> metricsText_;  // reused while no reply holds it
};

}  // namespace quorvel::lab
