#pragma once

#include <string>

namespace quorvel {

// One modal message with a title and an OK button, no icon. Returns when answered.
// Texts are UTF-8.
class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual void Show(const std::string& title, const std::string& text) = 0;
};

}  // namespace quorvel
