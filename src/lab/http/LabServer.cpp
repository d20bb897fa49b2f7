#include "lab/http/LabServer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "lab/http/LivePage.h"

namespace quorvel::lab {
namespace {

using Clock = std::chrono::steady_clock;
using Status = QHttpServerResponder::StatusCode;

// The journal goes out a chunk at a time, as the client takes it: never all of a long run's
// file in memory, never a wait.
constexpr qint64 kChunk = 64 * 1024;
// As much as waits in a socket for its client, and as much as a wakeup gives the system: the
// lab's loop turns every 50 ms, so a scrape of ten thousand receivers' 26 MB goes out in about
// a second and a half.
constexpr qint64 kQueued = 16 * kChunk;
// A browser polling the page shares one rendering a second.
constexpr auto kPageFresh = std::chrono::seconds(1);

void Refuse(QTcpSocket* socket, const char* status) {
    QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    socket->write(QByteArray("HTTP/1.1 ") + status +
                  "\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
    socket->disconnectFromHost();
}

}  // namespace

// Admits at most so many connections, each with a bounded read buffer; the rest are told 503
// and closed at once.
class LabServer::Gate : public QTcpServer {
  public:
    explicit Gate(LabServer& server) : server_(server) {}

  protected:
    void incomingConnection(qintptr fd) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(fd)) {
            ::close(static_cast<int>(fd));
            delete socket;
            return;
        }
        if (server_.connections_.size() >= static_cast<std::size_t>(server_.limits_.connections)) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            Refuse(socket, "503 Service Unavailable");
            return;
        }
        // Before the HTTP server's own handlers, which read what came.
        server_.Admit(socket);
        addPendingConnection(socket);
    }

  private:
    LabServer& server_;
};

LabServer::LabServer(Source source, bool decisions, Limits limits)
    : source_(std::move(source)), limits_(limits), metrics_(decisions) {
    QObject::connect(&sweep_, &QTimer::timeout, [this] { Sweep(); });
}

LabServer::~LabServer() {
    delete gate_;  // its connections, and the journals they were sending, close with it
}

bool LabServer::Listen(const HttpAddress& address, std::string& error, std::string& said) {
    const QHostAddress ip(QString::fromStdString(address.host));
    const bool v6 = ip.protocol() == QAbstractSocket::IPv6Protocol;
    const auto where = [&](quint16 port) {
        return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(port);
    };
    gate_ = new Gate(*this);
    if (!gate_->listen(ip, address.port)) {
        error = "--http: cannot serve on " + where(address.port) + ": " +
                gate_->errorString().toStdString();
        delete gate_;
        gate_ = nullptr;
        return false;
    }
    bind(gate_);
    sweep_.start(std::min<std::chrono::milliseconds>(std::chrono::seconds(1), limits_.idle / 4));
    said = "Serving the bench at http://" + where(Port()) + "/ (/metrics, /journal.csv)\n";
    if (!ip.isLoopback())
        said += "--http " + where(Port()) +
                " is not a loopback address: anyone who can reach it on that network can read "
                "the bench\n";
    return true;
}

quint16 LabServer::Port() const { return gate_ ? gate_->serverPort() : 0; }

void LabServer::Admit(QTcpSocket* socket) {
    socket->setReadBufferSize(limits_.requestBytes + 1);
    connections_[socket] = Connection{.since = Clock::now()};
    QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Received(socket); });
    QObject::connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { Pump(socket); });
    QObject::connect(socket, &QObject::destroyed, this, [this, socket] {
        const auto it = connections_.find(socket);
        if (it == connections_.end()) return;
        if (it->second.fd >= 0) ::close(it->second.fd);
        connections_.erase(it);
    });
}

// What came is counted before the HTTP server reads it; a request that grows past the limit is
// refused whole.
void LabServer::Received(QTcpSocket* socket) {
    const auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    it->second.received += socket->bytesAvailable();
    if (it->second.received > limits_.requestBytes)
        Refuse(socket, "431 Request Header Fields Too Large");
}

// A client that neither finishes its request nor takes its reply in time is dropped.
void LabServer::Sweep() {
    const auto now = Clock::now();
    std::vector<QTcpSocket*> late;
    for (const auto& [socket, connection] : connections_)
        if (now - connection.since > limits_.idle) late.push_back(socket);
    for (QTcpSocket* socket : late) socket->abort();
}

// Rendered again at most once a second, and never more than a twentieth of the time: with
// thousands of receivers a rendering takes a while, and the cycles wait for it.
std::shared_ptr<const std::string> LabServer::Page() {
    const auto now = Clock::now();
    if (!page_ || now - pageAt_ >= std::max<Clock::duration>(kPageFresh, 20 * pageCost_)) {
        page_ = std::make_shared<const std::string>(LivePage(source_.reportPage()));
        pageAt_ = Clock::now();
        pageCost_ = pageAt_ - now;
    }
    return page_;
}

std::shared_ptr<const std::string> LabServer::MetricsText() {
    if (!metricsText_ || metricsText_.use_count() > 1) metricsText_ = std::make_shared<std::string>();
    metrics_.Write(source_.portUp, *metricsText_);
    return metricsText_;
}

bool LabServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    const auto it = connections_.find(socket);
    if (it == connections_.end()) return true;
    Connection& connection = it->second;
    connection.received = 0;
    connection.since = Clock::now();
    // A reply still going out ends this connection.
    if (connection.fd >= 0 || connection.body) return true;
    const auto method = request.method();
    const bool head = method == QHttpServerRequest::Method::Head;
    const QString path = request.url().path();
    // The body goes out as the client takes it (Pump), straight from the shared text.
    const auto reply = [&](Status status, const char* type,
                           std::shared_ptr<const std::string> body, bool allow = false) {
        QHttpServerResponder responder = makeResponder(request, socket);
        responder.writeStatusLine(status);
        responder.writeHeader("Content-Type", type);
        responder.writeHeader("Content-Length", QByteArray::number(qint64(body->size())));
        responder.writeHeader("Cache-Control", "no-store");
        if (allow) responder.writeHeader("Allow", "GET, HEAD");
        socket->write("\r\n");
        if (head) return;
        connection.body = std::move(body);
        connection.sent = 0;
        Pump(socket);
    };
    const auto text = [](const char* words) { return std::make_shared<const std::string>(words); };
    if (!head && method != QHttpServerRequest::Method::Get)
        reply(Status::MethodNotAllowed, "text/plain; charset=utf-8",
              text("read-only: GET and HEAD only\n"), true);
    else if (path == "/")
        reply(Status::Ok, "text/html; charset=utf-8", Page());
    else if (path == "/metrics")
        reply(Status::Ok, "text/plain; version=0.0.4; charset=utf-8", MetricsText());
    else if (path == "/journal.csv")
        SendJournal(request, socket, head);
    else
        reply(Status::NotFound, "text/plain; charset=utf-8",
              text("not found; served here: / (the report), /metrics, /journal.csv\n"));
    return true;
}

void LabServer::missingHandler(const QHttpServerRequest&, QTcpSocket* socket) { socket->abort(); }

// The journal as the file holds it when asked: its size then is the reply's length, and the
// rows written meanwhile wait for the next request. Only a regular file is read: a FIFO's rows
// are its reader's.
void LabServer::SendJournal(const QHttpServerRequest& request, QTcpSocket* socket, bool head) {
    Connection& connection = connections_.at(socket);
    const int fd = ::open(source_.journal.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    std::string problem;
    if (fd < 0)
        problem = std::strerror(errno);
    else if (fstat(fd, &status) != 0)
        problem = std::strerror(errno);
    else if (!S_ISREG(status.st_mode))
        problem = "not a regular file: it is only written";
    QHttpServerResponder responder = makeResponder(request, socket);
    if (!problem.empty()) {
        if (fd >= 0) ::close(fd);
        const std::string body = "cannot read the journal " + source_.journal + ": " + problem + "\n";
        responder.writeStatusLine(Status::NotFound);
        responder.writeHeader("Content-Type", "text/plain; charset=utf-8");
        responder.writeHeader("Content-Length", QByteArray::number(qint64(body.size())));
        socket->write("\r\n");
        if (!head) socket->write(body.data(), static_cast<qint64>(body.size()));
        return;
    }
    responder.writeStatusLine(Status::Ok);
    responder.writeHeader("Content-Type", "text/csv; charset=utf-8");
    responder.writeHeader("Content-Length", QByteArray::number(qint64(status.st_size)));
    responder.writeHeader("Cache-Control", "no-store");
    socket->write("\r\n");
    if (head || status.st_size == 0) {
        ::close(fd);
        return;
    }
    connection.fd = fd;
    connection.left = status.st_size;
    Pump(socket);
}

// More of the journal, as far as the client has taken the last.
void LabServer::Pump(QTcpSocket* socket) {
    const auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    Connection& c = it->second;
    c.since = Clock::now();
    if (c.pumping) return;
    c.pumping = true;
    PumpMore(socket, c);
    c.pumping = false;
}

void LabServer::PumpMore(QTcpSocket* socket, Connection& c) {
    // At most kQueued bytes a wakeup: over loopback the kernel takes a scrape of tens of
    // megabytes as fast as it is given, and the cycles would wait for all of it. The chunk that
    // spends the allowance stays in Qt's buffer, whose write at the next round brings the next
    // Pump.
    qint64 given = 0;
    const auto room = [&] { return socket->bytesToWrite() < kQueued && given < kQueued; };
    const auto give = [&](const char* data, qint64 n) {
        socket->write(data, n);
        given += n;
        // Qt hands the system one buffer chunk per wakeup; this gives it what it takes now.
        if (given < kQueued) socket->flush();
    };
    if (c.body) {
        while (c.sent < c.body->size() && room()) {
            const std::size_t n = std::min<std::size_t>(kChunk, c.body->size() - c.sent);
            give(c.body->data() + c.sent, static_cast<qint64>(n));
            c.sent += n;
        }
        if (c.sent == c.body->size()) c.body.reset();
        return;
    }
    if (c.fd < 0) return;
    static std::vector<char> buffer(kChunk);
    while (c.left > 0 && room()) {
        const ssize_t got = ::read(c.fd, buffer.data(), static_cast<std::size_t>(std::min(kChunk, c.left)));
        if (got <= 0) {
            // The file shrank under the reply (a row taken back out, a truncation): what was
            // promised cannot come, and a short reply must not pass for the whole journal.
            ::close(c.fd);
            c.fd = -1;
            socket->abort();
            return;
        }
        give(buffer.data(), got);
        c.left -= got;
    }
    if (c.left == 0) {
        ::close(c.fd);
        c.fd = -1;
    }
}

}  // namespace quorvel::lab
