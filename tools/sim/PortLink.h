#pragma once

#include <string>

namespace quorvel::sim {

// <generic config folder>/quorvel/ports, where the tool looks for its COM override links.
std::string DefaultPortsDir();

// The symlink "comN" that names the pty as COM N for the tool. Removed by Remove() or on
// destruction, and only while it still points at our device (another simulator may have taken
// the number since).
class PortLink {
  public:
    enum class Result { Made, InTheWay, Failed };

    PortLink() = default;
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;
    ~PortLink() { Remove(); }

    // Makes the folder when missing; replaces an existing link; refuses any other file.
    Result Make(const std::string& dir, int com, const std::string& device, std::string& message);
    void Remove();

    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::string device_;
};

}  // namespace quorvel::sim
