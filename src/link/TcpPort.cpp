#include "link/TcpPort.h"

#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
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

}  // namespace

TcpPort::TcpPort(std::string host, std::uint16_t port, QObject* parent)
    : QObject(parent), host_(QString::fromStdString(host)), port_(port) {
    connect(&socket_, &QTcpSocket::readyRead, this, [this] {
        if (open_) Notify(comm_event::kReceive);
    });
    connect(&socket_, &QTcpSocket::bytesWritten, this, [this] { Notify(comm_event::kSend); });
    connect(&socket_, &QTcpSocket::errorOccurred, this, &TcpPort::OnError);
}

TcpPort::~TcpPort() {
    socket_.disconnect(this);
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
    if (lookup_ >= 0 || connecting_ >= 0 ||
        (socket_.state() == QAbstractSocket::ConnectedState && connected_))
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
    return open_ &&
           (lookup_ >= 0 || connecting_ >= 0 || socket_.state() != QAbstractSocket::UnconnectedState);
}

void TcpPort::DiscardInput() { Input(); }

std::string TcpPort::Input() {
    if (!open_ || !socket_.isOpen()) return {};  // still looking up or connecting
    const QByteArray bytes = socket_.readAll();
    received_ = received_ || !bytes.isEmpty();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

bool TcpPort::Output(const std::string& text) {
    if (!open_ || !connected_) return false;
    const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
    return socket_.write(bytes) == bytes.size();
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
    if (!socket_.setSocketDescriptor(fd)) {
        errorReason_ = socket_.errorString().toStdString();
        ::close(fd);
        return;
    }
    errorReason_.clear();
    connected_ = true;
}

void TcpPort::Drop() {
    if (lookup_ >= 0) QHostInfo::abortHostLookup(std::exchange(lookup_, -1));
    addresses_.clear();
    if (connecting_ >= 0) {
        connectDone_.reset();
        ::close(std::exchange(connecting_, -1));
    }
    socket_.abort();
}

void TcpPort::OnError() {
    errorReason_ = socket_.errorString().toStdString();
    // Only a connection that was made can be lost, and only an open port tells it.
    if (!connected_) return;
    connected_ = false;
    lost_ = open_;
    // Qt goes on with the socket after this signal: it is closed, and the loss told, once Qt
    // is done, unless the port was closed meanwhile.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!std::exchange(lost_, false)) return;
            open_ = false;
            socket_.abort();
            Notify(comm_event::kDeviceFailure);
        },
        Qt::QueuedConnection);
}

}  // namespace quorvel
