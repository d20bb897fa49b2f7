#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace quorvel::testing {

inline constexpr uid_t kUnprivilegedId = 65534;  // "nobody"

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

// The whole file, or "<missing>" when it cannot be read as a file.
inline std::string ReadBytes(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return "<missing>";
    if (!std::filesystem::is_regular_file(path, error)) return "<not a file>";
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

inline bool IsSymlink(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

inline ino_t InodeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Each test runs in its own empty working directory, as the program would in a fresh folder.
class InTemporaryDir : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        char old[PATH_MAX];
        ASSERT_NE(::getcwd(old, sizeof old), nullptr);
        oldDir_ = old;
        ASSERT_EQ(::chdir(dir_.path().toLocal8Bit().constData()), 0);
    }
    void TearDown() override {
        ::chmod(dir_.path().toLocal8Bit().constData(), 0700);  // a test may have locked it
        ASSERT_EQ(::chdir(oldDir_.c_str()), 0);
    }

    std::string Dir() const { return dir_.path().toStdString(); }

    // Runs `body` where permissions bite: here when not root, else in a child that has become
    // "nobody" and owns the working directory's contents. Returns what `body` returned.
    // Skips when root cannot give up its rights.
    std::string Unprivileged(const std::function<std::string()>& body, bool lockDir = false) {
        if (::geteuid() != 0) {
            if (lockDir) ::chmod(".", 0555);
            return body();
        }
        HandOver(".");
        if (lockDir) ::chmod(".", 0555);
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) return "<pipe failed>";
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(pipeFds[0]);
            ::alarm(20);  // never outlive a stuck test
            if (::setgid(kUnprivilegedId) != 0 || ::setuid(kUnprivilegedId) != 0) ::_exit(77);
            const std::string result = body();
            const ssize_t written = ::write(pipeFds[1], result.data(), result.size());
            ::_exit(written == static_cast<ssize_t>(result.size()) ? 0 : 1);
        }
        ::close(pipeFds[1]);
        std::string result;
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
            result.append(buffer, static_cast<size_t>(n));
        }
        ::close(pipeFds[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
            skipped_ = true;
            return "";
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
        return result;
    }
    bool skipped_ = false;

  private:
    // The working directory and everything in it now belong to the unprivileged user.
    static void HandOver(const std::string& dir) {
        ::lchown(dir.c_str(), kUnprivilegedId, kUnprivilegedId);
        DIR* d = ::opendir(dir.c_str());
        if (d == nullptr) return;
        while (dirent* entry = ::readdir(d)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            ::lchown((dir + "/" + name).c_str(), kUnprivilegedId, kUnprivilegedId);
        }
        ::closedir(d);
    }

    QTemporaryDir dir_;
    std::string oldDir_;
};

}  // namespace quorvel::testing
