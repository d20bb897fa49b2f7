#pragma once

#include <functional>
#include <string>
#include <vector>

#include "link/WindowDecoration.h"

namespace quorvel::testing {

// Remembers the decoration calls in order; `onCall` lets a test look at the world at that moment.
class FakeDecoration : public WindowDecoration {
  public:
    std::vector<std::string> calls;
    std::function<void(const std::string&)> onCall;

    void TrimSystemMenu() override { Record("TrimSystemMenu"); }
    void FadeIn() override { Record("FadeIn"); }

  private:
    void Record(const std::string& call) {
        calls.push_back(call);
        if (onCall) onCall(call);
    }
};

}  // namespace quorvel::testing
