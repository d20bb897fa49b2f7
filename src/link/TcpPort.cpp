#include "link/TcpPort.h"

#include <QByteArray>
#include <cerrno>
#include <cstring>
#include <utility>

namespace quorvel {

TcpPort::TcpPort(std::string host, std::uint16_t port, QObject* parent)
    : QObject(parent), host_(QString::fromStdString(host)), port_(port) {
    connect(&socket_, &QTcpSocket::readyRead, this, [this] {
        if (open_) Notify(comm_event::kReceive);
    });
    connect(&socket_, &QTcpSocket::bytesWritten, this, [this] { Notify(comm_event::kSend); });
    connect(&socket_, &QTcpSocket::connected, this, [this] { connected_ = true; });
    connect(&socket_, &QTcpSocket::errorOccurred, this, &TcpPort::OnError);
}

TcpPort::~TcpPort() {
    socket_.disconnect(this);
    socket_.abort();
}

void TcpPort::SetEventHandler(std::function<void(std::int16_t)> handler) {
    handler_ = std::move(handler);
}

bool TcpPort::SetCommPort(std::int16_t) { return !IsOpen(); }

bool TcpPort::SetSettings(const std::string&) { return true; }

bool TcpPort::Open() {
    if (IsOpen()) return false;
    open_ = true;
    const auto state = socket_.state();
    if (state == QAbstractSocket::HostLookupState || state == QAbstractSocket::ConnectingState ||
        (state == QAbstractSocket::ConnectedState && connected_))
        return true;  // closed and opened again at once: the connection goes on
    socket_.abort();
    errorReason_.clear();
    connected_ = false;
    socket_.connectToHost(host_, port_);
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
            if (!open_) socket_.abort();
        },
        Qt::QueuedConnection);
}

bool TcpPort::IsOpen() const {
    return open_ && socket_.state() != QAbstractSocket::UnconnectedState;
}

void TcpPort::DiscardInput() { Input(); }

std::string TcpPort::Input() {
    if (!open_) return {};
    const QByteArray bytes = socket_.readAll();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

bool TcpPort::Output(const std::string& text) {
    if (!open_ || !connected_) return false;
    const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
    return socket_.write(bytes) == bytes.size();
}

std::string TcpPort::ErrorReason() const {
    if (!errorReason_.empty()) return errorReason_;
    if (socket_.state() == QAbstractSocket::HostLookupState) return "Host lookup timed out";
    if (socket_.state() == QAbstractSocket::ConnectingState) return std::strerror(ETIMEDOUT);
    return {};
}

void TcpPort::Notify(std::int16_t code) {
    if (handler_) handler_(code);
}

void TcpPort::OnError() {
    errorReason_ = socket_.errorString().toStdString();
    // A connection that was never made fails the open, which the probe reports; only one that
    // was made can be lost, and only an open port tells it.
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
