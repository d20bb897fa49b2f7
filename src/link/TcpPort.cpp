#include "link/TcpPort.h"

#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace quorvel {

namespace {

// The socket address of `address` at `port`; its length, 0 for an address of no known family.
socklen_t SocketAddress(const QHostAddress& address, std::uint16_t port, sockaddr_storage& out) {
    out = {};
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto& in = reinterpret_cast<sockaddr_in&>(out);
        in.sin_family = AF_INET;
        in.sin_port = htons(port);
        in.sin_addr.s_addr = htonl(address.toIPv4Address());
        return sizeof in;
    }
    if (address.protocol() != QAbstractSocket::IPv6Protocol) return 0;
    auto& in6 = reinterpret_cast<sockaddr_in6&>(out);
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(port);
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    std::memcpy(&in6.sin6_addr, bytes.c, sizeof bytes.c);
    // A link-local address names its interface: "fe80::1%eth0" or "%2".
    if (const QString scope = address.scopeId(); !scope.isEmpty()) {
        bool number = false;
        in6.sin6_scope_id = scope.toUInt(&number);
        if (!number) in6.sin6_scope_id = ::if_nametoindex(scope.toLocal8Bit().constData());
    }
    return sizeof in6;
}

// Stops a notifier that may be the one whose signal is being handled: deleted once Qt is done
// with it.
void Retire(std::unique_ptr<QSocketNotifier>& notifier) {
    if (!notifier) return;
    notifier->setEnabled(false);
    notifier.release()->deleteLater();
}

// What a receiver sends in a second is a few hundred bytes; a device server that takes no
// order for this long is not going to.
constexpr std::size_t kMaxUnsent = 64 * 1024;

// The system's words when the other end closed, as Qt's sockets say them.
constexpr char kClosed[] = "The remote host closed the connection";

}  // namespace

TcpPort::TcpPort(std::string host, std::uint16_t port, QObject* parent)
    : QObject(parent), host_(QString::fromStdString(host)), port_(port) {}

TcpPort::~TcpPort() {
    connectDone_.reset();
    readable_.reset();
    writable_.reset();
    Drop();
}

void TcpPort::SetEventHandler(std::function<void(std::int16_t)> handler) {
    handler_ = std::move(handler);
}

bool TcpPort::SetCommPort(std::int16_t) { return !IsOpen(); }

bool TcpPort::SetSettings(const std::string&) { return true; }

bool TcpPort::Open() {
    if (IsOpen()) return false;
    open_ = true;
    if (lookup_ >= 0 || connecting_ >= 0 || (socket_ >= 0 && connected_))
        return true;  // closed and opened again at once: the connection goes on
    Drop();
    errorReason_.clear();
    connected_ = received_ = false;
    // An address given as such is looked up too, so that the attempt always begins after Open
    // has returned: a connection step's close and open again at once then make no second one.
    lookup_ = QHostInfo::lookupHost(host_, this, &TcpPort::OnLookedUp);
    return true;
}

void TcpPort::Close() {
    open_ = lost_ = false;
    // The connection step closes and opens again at once, which a serial line needs for its
    // settings. A device server would see a connection made and dropped, and one that serves
    // a single client may then take no other. So the connection ends only when the handler
    // that closed the port returns without opening it again.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!open_) Drop();
        },
        Qt::QueuedConnection);
}

bool TcpPort::IsOpen() const {
    return open_ && (lookup_ >= 0 || connecting_ >= 0 || socket_ >= 0);
}

void TcpPort::DiscardInput() { Input(); }

std::string TcpPort::Input() {
    if (!open_) return {};
    return std::exchange(inbox_, {});
}

bool TcpPort::Output(const std::string& text) {
    if (!open_ || !connected_ || unsent_.size() + text.size() > kMaxUnsent) return false;
    if (text.empty()) return true;
    const bool idle = unsent_.empty();
    unsent_ += text;
    if (!idle) return true;  // goes when the kernel takes what waits before it
    OnWritable();
    return connected_;
}

std::string TcpPort::ErrorReason() const {
    if (lookup_ >= 0) return "Host lookup timed out";
    if (connecting_ >= 0) return std::strerror(ETIMEDOUT);
    if (!errorReason_.empty()) return errorReason_;
    // The device server answered; what is silent is the serial line behind it.
    if (connected_ && !received_) return "connected, nothing received";
    return {};
}

void TcpPort::Notify(std::int16_t code) {
    if (handler_) handler_(code);
}

void TcpPort::OnLookedUp(const QHostInfo& info) {
    if (info.lookupId() != lookup_) return;
    lookup_ = -1;
    if (info.error() != QHostInfo::NoError) {
        errorReason_ = info.errorString().toStdString();
        return;
    }
    addresses_ = info.addresses();
    errorReason_ = "Host not found";  // unless an address is tried
    ConnectNext();
}

void TcpPort::ConnectNext() {
    while (!addresses_.isEmpty()) {
        sockaddr_storage address;
        const socklen_t length = SocketAddress(addresses_.takeFirst(), port_, address);
        if (length == 0) continue;
        const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            errorReason_ = std::strerror(errno);
            continue;
        }
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 ||
            errno == EINPROGRESS) {
            connecting_ = fd;
            connectDone_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
            connect(connectDone_.get(), &QSocketNotifier::activated, this,
                    &TcpPort::OnConnectDone);
            return;
        }
        errorReason_ = std::strerror(errno);
        ::close(fd);
    }
}

void TcpPort::OnConnectDone() {
    // Deleted once Qt is done with its signal.
    connectDone_->setEnabled(false);
    connectDone_.release()->deleteLater();
    const int fd = std::exchange(connecting_, -1);
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
    if (error != 0) {
        errorReason_ = std::strerror(error);
        ::close(fd);
        return ConnectNext();
    }
    errorReason_.clear();
    connected_ = true;
    socket_ = fd;
    readable_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(readable_.get(), &QSocketNotifier::activated, this, &TcpPort::OnReadable);
    writable_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    writable_->setEnabled(false);  // only while something waits to be sent
    connect(writable_.get(), &QSocketNotifier::activated, this, &TcpPort::OnWritable);
}

void TcpPort::OnReadable() {
    // One event thread: one buffer serves every port. One read a wakeup; what is left is ready
    // again at the next.
    static char buffer[64 * 1024];
    const ssize_t n = ::recv(socket_, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) return Lose(n == 0 ? kClosed : std::strerror(errno));
    received_ = true;
    if (!open_) return;  // closed, and the connection ends once its handler is done
    inbox_.append(buffer, static_cast<std::size_t>(n));
    Notify(comm_event::kReceive);
}

void TcpPort::OnWritable() {
    const ssize_t n = ::send(socket_, unsent_.data(), unsent_.size(), MSG_NOSIGNAL);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
        return Lose(std::strerror(errno));
    if (n > 0) unsent_.erase(0, static_cast<std::size_t>(n));
    writable_->setEnabled(!unsent_.empty());
    if (n <= 0) return;
    // Told once the handler that gave the text is done, as a serial line tells it.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (open_) Notify(comm_event::kSend);
        },
        Qt::QueuedConnection);
}

void TcpPort::Drop() {
    if (lookup_ >= 0) QHostInfo::abortHostLookup(std::exchange(lookup_, -1));
    addresses_.clear();
    if (connecting_ >= 0) {
        Retire(connectDone_);
        ::close(std::exchange(connecting_, -1));
    }
    if (socket_ >= 0) {
        Retire(readable_);
        Retire(writable_);
        ::close(std::exchange(socket_, -1));
    }
    inbox_.clear();
    unsent_.clear();
}

void TcpPort::Lose(std::string why) {
    errorReason_ = std::move(why);
    connected_ = false;
    // Only an open port tells it; the socket is closed now, so a closed one is not ready again
    // and again.
    lost_ = open_;
    Retire(readable_);
    Retire(writable_);
    ::close(std::exchange(socket_, -1));
    unsent_.clear();
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!std::exchange(lost_, false)) return;
            open_ = false;
            Notify(comm_event::kDeviceFailure);
        },
        Qt::QueuedConnection);
}

}  // namespace quorvel
