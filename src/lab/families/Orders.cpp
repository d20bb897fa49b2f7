#include "lab/families/Orders.h"

#include "lab/families/Profiles.h"

namespace quorvel::lab {

PortOrders OrdersFor(const Profile* family, const std::vector<Start>& starts,
                     const std::optional<std::string>& order,
                     const std::optional<RestartSign>& sign) {
    PortOrders given{.sign = sign.value_or(family ? family->sign : RestartSign::FixLost)};
    for (const Start start : starts) {
        const std::string* own = family ? family->OrderFor(start) : nullptr;
        if (start == Start::Power) {
            given.starts.push_back(start);
            given.orders.emplace_back();  // the lab switches the power; nothing is sent
            continue;
        }
        if (!order && !own) continue;
        given.starts.push_back(start);
        given.orders.push_back(order ? *order : *own);
    }
    if (given.starts.empty() && !starts.empty()) given.starts.push_back(starts.front());
    return given;
}

}  // namespace quorvel::lab
