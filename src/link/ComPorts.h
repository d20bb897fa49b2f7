#pragma once

#include <string>

namespace quorvel {

// The port selector offers COM 1 to COM 101; this maps a number to the device it opens.
constexpr int kLowestComNumber = 1;
constexpr int kHighestComNumber = 101;

// The device path that COM `number` opens, or empty when the number names no port.
//
// Windows: "COMn". Elsewhere: a symlink named "comN" in `portsFolder` wins, resolved to the
// device it points at (so a pty and its link share one lock file); a dangling link still wins
// and yields its target, which then fails to open, because the user asked for that device and
// silently falling back to the fixed table would talk to a different port. Without a link the
// fixed table: COM 1-32 /dev/ttyS0-31, 33-64 /dev/ttyUSB0-31, 65-96 /dev/ttyACM0-31,
// 97-101 /dev/ttyAMA0-4. The table never shifts when devices come and go.
std::string ComDevicePath(int number, const std::string& portsFolder);

// The override link of COM `number` in `portsFolder` when it has one, dangling or not; else empty.
std::string ComOverrideLink(int number, const std::string& portsFolder);

// Where the per-user override links live: <generic config>/quorvel/ports.
std::string DefaultPortsFolder();

// What `path` is when something is there that no receiver can be on, e.g. "a directory",
// "a regular file" or "a memory device" (/dev/null); empty when it is a character device a
// port can be, or when nothing is there.
std::string NotASerialDevice(const std::string& path);

// One line for the selector entry: the device and whether it exists now, e.g.
// "/dev/ttyUSB0 (present)" or "~/.config/quorvel/ports/com7 -> /dev/pts/5 (present)"; a device
// this user may not open for reading and writing reads
// "/dev/ttyUSB0 (present, no access: join the dialout group)", and a link to anything else
// "... -> /tmp (not a serial device: a directory)".
std::string ComToolTip(int number, const std::string& portsFolder);

// What would let this user open `device` for reading and writing when only the group stands in
// the way, e.g. "join the dialout group"; empty when nothing does or nothing needs to.
std::string AccessHint(const std::string& device);

}  // namespace quorvel
