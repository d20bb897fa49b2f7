#pragma once

#include "link/MessageBox.h"

class QWidget;

namespace quorvel {

// The message seam shown as a real modal Qt message box: title, text, OK, no icon.
class QtMessageBox : public MessageBox {
  public:
    explicit QtMessageBox(QWidget* parent) : parent_(parent) {}

    void Show(const std::string& title, const std::string& text) override;

  private:
    QWidget* parent_;
};

}  // namespace quorvel
