#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/EngineObserver.h"
#include "lab/families/Start.h"

namespace quorvel::lab {

struct Profile;

// What a port orders, and by which sign it shows that it obeyed.
struct PortOrders {
    // The starts it takes in turn: those it has an order for. When it has none (an auto port
    // before its family is named), the first start asked for, ordered by nothing.
    std::vector<Start> starts = {};
    // The bytes of each one's order; empty: it orders nothing.
    std::vector<std::string> orders = {};
    RestartSign sign = RestartSign::FixLost;
};

// The orders of `starts` on a port of `family` (nothing: not known yet): `order` replaces the
// family's order of every start, `sign` its sign; a port of no known family goes by fix-lost.
PortOrders OrdersFor(const Profile* family, const std::vector<Start>& starts,
                     const std::optional<std::string>& order,
                     const std::optional<RestartSign>& sign);

}  // namespace quorvel::lab
