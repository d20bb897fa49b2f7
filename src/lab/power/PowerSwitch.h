#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace quorvel::lab {

// Switches one receiver's supply: a command the lab runs, or an outlet of a PDU daemon.
class PowerSwitch {
  public:
    // Called once per Switch, always later from the event loop, never from inside Switch: empty
    // when the supply switched, else why not, in words fit for a journal row.
    using Done = std::function<void(const std::string& error)>;
    virtual ~PowerSwitch() = default;
    // Destroying a switch while one is under way ends it without calling its Done.
    virtual void Switch(bool on, Done done) = 0;
    virtual bool Busy() const = 0;
    // What it switches, for the lab's event lines ("outlet 3", "pdu1 outlet 3").
    virtual std::string Describe() const = 0;
};

// How the command line asks for power to be switched.
struct PowerPlan {
    std::string offCommand;  // templates with {outlet}, {port} and {device}
    std::string onCommand;
    std::map<std::string, std::string> outlets;  // by port name as given: "3", "pdu1:3"
    std::string pdudaemon;                       // http://HOST:PORT; empty: the commands
    int timeoutMs = 30000;                       // a switch not done by then failed
};

// The switch for the port named `port` (as given on the command line) whose device is
// `device`; nothing, with `error` set, when the plan cannot switch that port.
std::unique_ptr<PowerSwitch> MakePowerSwitch(const PowerPlan& plan, const std::string& port,
                                             const std::string& device, std::string& error);

}  // namespace quorvel::lab
