#pragma once

#include <string>
#include <utility>
#include <vector>

#include "link/MessageBox.h"

namespace quorvel::testing {

// Answers every message at once and remembers title and text, in order.
class FakeMessageBox : public MessageBox {
  public:
    std::vector<std::pair<std::string, std::string>> shown;

    void Show(const std::string& title, const std::string& text) override {
        shown.emplace_back(title, text);
    }
};

}  // namespace quorvel::testing
