#include "link/SettingsFile.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>
#include <algorithm>
#include <utility>

#ifdef _WIN32
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace quorvel {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// One field from `pos` on; false when the content ends before the field begins. Leaves `pos`
// after the field's separator and tells whether the field ran to the end of the content.
bool ReadField(std::string_view text, std::size_t& pos, std::string& field, bool& ranToEnd) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    if (pos == text.size()) return false;

    std::size_t valueStart = pos;
    std::size_t valueEnd = std::string_view::npos;
    if (text[pos] == '"') {
        valueStart = pos + 1;
        valueEnd = text.find('"', valueStart);
        if (valueEnd == std::string_view::npos) {
            field.assign(text.substr(valueStart));
            pos = text.size();
            ranToEnd = true;
            return true;
        }
        pos = valueEnd + 1;  // what follows the closing quote up to the separator is dropped
    }
    const std::size_t separator = text.find_first_of(",\r\n", pos);
    if (valueEnd == std::string_view::npos) valueEnd = std::min(separator, text.size());
    field.assign(text.substr(valueStart, valueEnd - valueStart));
    if (separator == std::string_view::npos) {
        pos = text.size();
        ranToEnd = true;
        return true;
    }
    pos = separator + 1;
    if (text[separator] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
    ranToEnd = false;
    return true;
}

bool ParseFields(std::string_view content, std::string& port, std::string& baud,
                 bool& baudRanToEnd) {
    std::size_t pos = 0;
    std::string first;
    std::string second;
    bool ranToEnd = false;
    if (!ReadField(content, pos, first, ranToEnd)) return false;
    if (!ReadField(content, pos, second, baudRanToEnd)) return false;
    port = std::move(first);
    baud = std::move(second);
    return true;
}

}  // namespace

bool ParseSettingsFields(std::string_view content, std::string& port, std::string& baud) {
    bool baudRanToEnd = false;
    return ParseFields(content, port, baud, baudRanToEnd);
}

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)) {}

void SettingsFile::ResetAttributes() {
#ifdef _WIN32
    SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_ARCHIVE);
#else
    // The nearest thing to "archive only" here: the owner may read and write it again.
    struct stat info {};
    if (::stat(path_.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
    const mode_t wanted = info.st_mode | S_IRUSR | S_IWUSR;
    if (wanted != info.st_mode) ::chmod(path_.c_str(), wanted & 07777);
#endif
}

bool SettingsFile::Read(std::string& port, std::string& baud) {
    const QString name = QFile::decodeName(path_.c_str());
    // Only a plain file: a FIFO or a device behind the name would block or never end.
    if (!QFileInfo(name).isFile()) return false;
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) return false;
    QByteArray data = file.read(static_cast<qint64>(kSettingsReadLimit) + 1);
    file.close();
    const bool cutOff = static_cast<std::size_t>(data.size()) > kSettingsReadLimit;
    if (cutOff) data.truncate(static_cast<qsizetype>(kSettingsReadLimit));

    std::string newPort;
    std::string newBaud;
    bool baudRanToEnd = false;
    if (!ParseFields(std::string_view(data.constData(), static_cast<std::size_t>(data.size())),
                     newPort, newBaud, baudRanToEnd)) {
        return false;
    }
    if (cutOff && baudRanToEnd) return false;  // the baud text may go on past the limit
    port = std::move(newPort);
    baud = std::move(newBaud);
    return true;
}

bool SettingsFile::Write(const std::string& port, const std::string& baud) {
    QSaveFile file(QFile::decodeName(path_.c_str()));
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray line = QByteArray::fromStdString(port + "," + baud + "\r\n");
    if (file.write(line) != line.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace quorvel
