#pragma once

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>
#include <string>

#include "lab/power/Pending.h"
#include "lab/power/PowerSwitch.h"

namespace quorvel::lab {

// Switches one outlet through a PDU daemon's HTTP API:
// GET /power/control/on|off?hostname=PDU&port=OUTLET. The daemon answers 200 "OK - accepted
// request" once its driver has run the job, and 500 "Invalid request" for a PDU it does not
// know; only the first is a switched supply.
class PduSwitch final : public PowerSwitch {
  public:
    // `daemon` is http://HOST:PORT as given; `pdu` and `outlet` as the daemon knows them.
    PduSwitch(std::string daemon, std::string pdu, std::string outlet, int timeoutMs);
    ~PduSwitch() override;

    void Switch(bool on, Done done) override;
    bool Busy() const override { return pending_.Busy(); }
    std::string Describe() const override { return pdu_ + " outlet " + outlet_; }

  private:
    void Answered();
    QNetworkReply* Release();

    std::string daemon_, pdu_, outlet_;
    int timeoutMs_;
    PendingDone pending_;
    QTimer timer_;
    QNetworkAccessManager* manager_ = nullptr;  // children of pending_.context()
    QNetworkReply* reply_ = nullptr;
};

}  // namespace quorvel::lab
