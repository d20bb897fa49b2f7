#include "lab/power/PduSwitch.h"

#include <QNetworkProxy>
#include <QNetworkRequest>
#include <QUrlQuery>
#include <utility>

namespace quorvel::lab {
namespace {

// What a daemon says fits one journal row: its first line, short.
std::string FirstLine(const QByteArray& body) {
    QByteArray line = body.left(body.indexOf('\n')).trimmed().left(200);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return line.toStdString();
}

}  // namespace

PduSwitch::PduSwitch(std::string daemon, std::string pdu, std::string outlet, int timeoutMs)
    : daemon_(std::move(daemon)), pdu_(std::move(pdu)), outlet_(std::move(outlet)),
      timeoutMs_(timeoutMs) {
    while (daemon_.ends_with('/')) daemon_.pop_back();
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, &pending_.context(), [this] {
        QNetworkReply* const reply = Release();
        reply->abort();
        reply->deleteLater();
        pending_.Finish("PDU daemon at " + daemon_ + ": no answer within " +
                        SecondsText(timeoutMs_) + " s");
    });
}

PduSwitch::~PduSwitch() {
    if (reply_) Release()->abort();
}

void PduSwitch::Switch(bool on, Done done) {
    if (Busy()) return pending_.Refuse(std::move(done));
    pending_.Start(std::move(done));
    if (!manager_) {
        manager_ = new QNetworkAccessManager(&pending_.context());
        // The daemon is on the lab's own network: never through a proxy meant for the web.
        manager_->setProxy(QNetworkProxy::NoProxy);
    }
    QUrl url(QString::fromStdString(daemon_ + (on ? "/power/control/on" : "/power/control/off")));
    QUrlQuery query;
    query.addQueryItem("hostname", QString::fromStdString(pdu_));
    query.addQueryItem("port", QString::fromStdString(outlet_));
    url.setQuery(query);
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    timer_.start(timeoutMs_);
    reply_ = manager_->get(request);
    QObject::connect(reply_, &QNetworkReply::finished, &pending_.context(), [this] { Answered(); });
}

void PduSwitch::Answered() {
    timer_.stop();
    QNetworkReply* const reply = Release();
    reply->deleteLater();
    const std::string at = "PDU daemon at " + daemon_ + ": ";
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) return pending_.Finish(at + reply->errorString().toStdString());
    const QByteArray body = reply->readAll();
    const int code = status.toInt();
    if (code == 200 && body.startsWith("OK")) return pending_.Finish("");
    std::string error = at + "answered HTTP " + std::to_string(code);
    if (const std::string line = FirstLine(body); !line.empty()) error += ": " + line;
    // The daemon's word for a PDU or outlet it does not know.
    if (code == 500 && body.startsWith("Invalid request"))
        error += " (does it know " + Describe() + "?)";
    pending_.Finish(error);
}

QNetworkReply* PduSwitch::Release() {
    QNetworkReply* const reply = std::exchange(reply_, nullptr);
    QObject::disconnect(reply, nullptr, &pending_.context(), nullptr);
    return reply;
}

}  // namespace quorvel::lab
