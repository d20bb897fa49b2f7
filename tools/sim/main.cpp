// quorvel-sim: a GNSS receiver on a pseudo-terminal. See --help.
#include <iostream>
#include <string>
#include <vector>

#include "sim/Options.h"
#include "sim/Rack.h"
#include "sim/Simulator.h"

int main(int argc, char** argv) {
    using namespace quorvel::sim;
    const ParseResult parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    switch (parsed.outcome) {
        case ParseResult::Outcome::Help:
            std::cout << HelpText();
            return kExitOk;
        case ParseResult::Outcome::Version:
            std::cout << "quorvel-sim " << QUORVEL_VERSION << "\n";
            return kExitOk;
        case ParseResult::Outcome::Error:
            std::cerr << "quorvel-sim: " << parsed.error << "\nTry 'quorvel-sim --help'.\n";
            return parsed.exitCode();
        case ParseResult::Outcome::Run:
            break;
    }
    if (!parsed.options.tcpHost.empty()) {
        Rack rack(parsed.options, std::cout, std::cerr);
        return rack.Run();
    }
    Simulator simulator(parsed.options, std::cout, std::cerr);
    return simulator.Run();
}
