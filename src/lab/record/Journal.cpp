#include "lab/record/Journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

namespace quorvel::lab {
namespace {

std::string HeaderLine() { return std::string(kJournalHeader) + "\n"; }

}  // namespace

std::string UtcText(std::chrono::system_clock::time_point at, const char* format) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char text[128];
    return std::string(text, std::strftime(text, sizeof text, format, &tm));
}

std::string UtcNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    char millis[16];
    std::snprintf(
        millis, sizeof millis, ".%03dZ",
        static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000));
    return UtcText(now, "%Y-%m-%dT%H:%M:%S") + millis;
}

Journal::~Journal() {
    if (fd_ >= 0) ::close(fd_);
}

bool Journal::Open(const std::string& path, std::string& error) {
    path_ = path;
    struct stat st {};
    // A FIFO, pipe, socket or device is only written, never waited for: a FIFO without a
    // reader is refused rather than waited on, and a reader that lags keeps rows in memory.
    const bool stream =
        ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
    fd_ = stream ? ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)
                 : ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error = "cannot open the journal " + path + ": " +
                (errno == ENXIO && S_ISFIFO(st.st_mode) ? "no reader on the FIFO"
                                                        : std::strerror(errno));
        return false;
    }
    if (::fstat(fd_, &st) != 0) {
        error = "cannot open the journal " + path + ": " + std::strerror(errno);
        return false;
    }
    regular_ = S_ISREG(st.st_mode);
    if (!regular_) {
        pending_ = HeaderLine();
        rows_ = -1;
    } else if (Adopt() && st.st_size > 0) {
        // The longest older header and its line end.
        std::string head(JournalHeader(kJournalLayouts[1]).size() + 1, '\0');
        head.resize(std::max<ssize_t>(::pread(fd_, head.data(), head.size(), 0), 0));
        std::string older;
        for (std::size_t i = 1; i < kJournalLayouts.size(); ++i)
            if (head.starts_with(JournalHeader(kJournalLayouts[i]) + "\n"))
                older = JournalHeader(kJournalLayouts[i]);
        error = "the journal " + path +
                (!older.empty() ? " has the columns of an older quorvel-lab (" + older +
                                      "); not appended to, so that no file mixes two layouts: "
                                      "name a new journal"
                                : " does not begin with the header line " +
                                      std::string(kJournalHeader) + "; not appended to");
        return false;
    }
    Push();
    return true;
}

// What the file holds decides what goes before our rows: the header when it is empty or lacks
// it, and a line end after a row cut short by a kill (which stays as it is). Its rows are
// counted. True when the header had to be put first.
bool Journal::Adopt() {
    const std::string header = HeaderLine();
    std::string head(header.size(), '\0');
    const ssize_t got = ::pread(fd_, head.data(), head.size(), 0);
    head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    const bool hasHeader = head == header || head == kJournalHeader;
    long long lines = 0;
    char chunk[65536];
    char last = '\n';
    off_t at = 0;
    for (ssize_t n; (n = ::pread(fd_, chunk, sizeof chunk, at)) > 0; at += n) {
        lines += std::count(chunk, chunk + n, '\n');
        last = chunk[n - 1];
    }
    size_ = at;
    std::string before = last == '\n' ? "" : "\n";
    if (!hasHeader) before += header;
    pending_.insert(0, before);
    begun_ = 0;
    rows_ = (hasHeader ? lines - 1 : 0) - std::count(before.begin(), before.end(), '\n');
    return !hasHeader;
}

void Journal::Write(const Row& row) {
    if (fd_ < 0) return;
    pending_ += FormatRow(row) + "\n";
    Push();
}

bool Journal::Flush() {
    Push();
    return pending_.empty();
}

long long Journal::Unwritten() const { return std::count(pending_.begin(), pending_.end(), '\n'); }

void Journal::Push() {
    if (pending_.empty() || (regular_ && !Follow())) return;
    while (begun_ < pending_.size()) {
        const ssize_t n = ::write(fd_, pending_.data() + begun_, pending_.size() - begun_);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const std::string reason = n < 0 ? std::strerror(errno) : "nothing was written";
            UnwriteBegun();
            return Fail(reason);
        }
        begun_ += static_cast<std::size_t>(n);
        if (regular_) size_ = ::lseek(fd_, 0, SEEK_CUR);                // appended: the file's end
        const std::size_t done = pending_.rfind('\n', begun_ - 1) + 1;  // 0 when none is
        rows_ += std::count(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(done),
                            '\n');
        pending_.erase(0, done);
        begun_ -= done;
    }
    if (!lastFailure_.empty())
        std::fprintf(stderr, "quorvel-lab: the journal %s caught up: every kept row is written\n",
                     path_.c_str());
    lastFailure_.clear();
}

// A row a write failure cut (a full disk, the file size limit) is taken back out of a file
// whole again; it stays kept, to be written whole later. A pipe's reader has it already: the
// rest follows when the reader takes more.
void Journal::UnwriteBegun() {
    struct stat st {};
    if (!regular_ || begun_ == 0 || ::fstat(fd_, &st) != 0 ||
        ::ftruncate(fd_, st.st_size - static_cast<off_t>(begun_)) != 0)
        return;
    size_ = st.st_size - static_cast<off_t>(begun_);
    begun_ = 0;
}

// The journal is whatever file is at its path now. One truncated under the lab (logrotate's
// copytruncate) gets the header again; one moved away and made anew takes the rows from now
// on; one removed is made again with the removed file's contents, which the open descriptor
// still reaches.
bool Journal::Follow() {
    struct stat self {};
    struct stat there {};
    if (::fstat(fd_, &self) != 0) {
        Fail(std::strerror(errno));
        return false;
    }
    const bool removed = ::stat(path_.c_str(), &there) != 0;
    if (removed && errno != ENOENT) {
        Fail(std::strerror(errno));
        return false;
    }
    if (!removed && there.st_dev == self.st_dev && there.st_ino == self.st_ino) {
        if (self.st_size >= size_) return true;
        begun_ = 0;  // the cut took it
        if (Adopt())
            std::fprintf(stderr,
                         "quorvel-lab: the journal %s was truncated; header written again\n",
                         path_.c_str());
        return true;
    }
    if (!removed && !S_ISREG(there.st_mode)) {
        Fail("another kind of file took its place");
        return false;
    }
    const int fd =
        ::open(path_.c_str(),
               O_RDWR | O_APPEND | O_NOCTTY | O_CLOEXEC | (removed ? O_CREAT | O_EXCL : 0), 0666);
    if (fd < 0) {
        Fail(std::string(removed ? "it was removed and cannot be made again: "
                                 : "a new file took its place and cannot be opened: ") +
             std::strerror(errno));
        return false;
    }
    UnwriteBegun();
    std::string old;
    char chunk[65536];
    for (ssize_t n;
         removed && (n = ::pread(fd_, chunk, sizeof chunk, static_cast<off_t>(old.size()))) > 0;)
        old.append(chunk, static_cast<std::size_t>(n));
    old.resize(old.size() - std::min(old.size(), begun_));  // the rest is still to come
    begun_ = 0;
    ::close(fd_);
    fd_ = fd;
    if (removed) {
        if (old.empty()) old = HeaderLine();
        rows_ -= std::count(old.begin(), old.end(), '\n');
        pending_ = old + pending_;
        size_ = 0;
    } else {
        Adopt();
    }
    std::fprintf(stderr, "quorvel-lab: the journal %s was %s\n", path_.c_str(),
                 removed ? "removed; made again with its rows"
                         : "replaced by a new file; the rows go on there");
    return true;
}

void Journal::Fail(const std::string& reason) {
    if (reason != lastFailure_)
        std::fprintf(stderr,
                     "quorvel-lab: cannot write the journal %s: %s; %lld line%s kept, retried "
                     "with each new row\n",
                     path_.c_str(), reason.c_str(), Unwritten(), Unwritten() == 1 ? "" : "s");
    lastFailure_ = reason;
}

}  // namespace quorvel::lab
