// Who the receiver is: asking it, telling what it says, and an `auto` port's family.
#include <algorithm>
#include <utility>

#include "lab/cycle/Receiver.h"

namespace quorvel::lab {

// The receiver is asked who it is as soon as it talks, once a run, until it has said: every
// family's version query, all harmless, so that a receiver given the wrong profile says so too.
// What it says is told as it comes, and so is a profile it contradicts.
void Receiver::AfterReceive() {
    if (tap_.echoes.Echoes() > 0 && !echoTold_) {
        echoTold_ = true;
        Tell("the line echoes what the lab sends: its echoes are ignored");
    }
    if (std::exchange(tap_.received, false)) {
        const Identity& id = tap_.reader.identity();
        if (!queried_ && port_.IsOpen() && (id.model.empty() || (!family_ && id.family.empty()))) {
            queried_ = true;
            std::vector<std::string> asked;
            for (const Profile& p : Profiles()) {
                if (p.versionQuery.empty()) continue;
                if (std::find(asked.begin(), asked.end(), p.versionQuery) != asked.end()) continue;
                asked.push_back(p.versionQuery);
                tap_.Output(p.versionQuery);
            }
        }
        if (!family_ && !listenUntil_) listenUntil_ = now_() + kListenS;
    }
    if (!std::exchange(tap_.changed, false)) return;
    const Identity& id = tap_.reader.identity();
    if (const std::string text = IdentityText(id); !text.empty() && text != identityTold_) {
        identityTold_ = text;
        Tell("identity: " + text);
    }
    if (given_.profile && contradiction_.empty()) {
        contradiction_ = ProfileContradicts(given_.profile->name, id);
        if (!contradiction_.empty())
            Tell("profile " + given_.profile->name + " contradicted: the receiver " +
                 contradiction_);
    }
}

void Receiver::DecideFamily() {
    const Identity& id = tap_.reader.identity();
    const Profile* family = FindProfile(FamilyOf(id));
    std::string reason;
    if (id.named.size() > 1) {
        reason = "its texts name more than one family:";
        for (const std::string& name : id.named) reason += " " + name;
    } else if (!family) {
        const std::string text = IdentityText(id);
        reason = text.empty() ? "it named no family within " + std::to_string(int(kListenS)) + " s"
                              : "its texts (" + text + ") name no family";
    }
    if (family && !given_.order) {
        bool hasOne = false;
        for (const lab::Start start : given_.starts) hasOne = hasOne || family->OrderFor(start);
        if (!hasOne) reason = family->name + " has only " + family->StartNames() + " starts";
    }
    if (!reason.empty()) return EndRun(lab::Verdict::Unidentified, "unidentified: " + reason);
    Tell("auto: " + family->name + ", named by " + id.told);
    Build(family);
    Start();  // again, with the family's orders
}

}  // namespace quorvel::lab
