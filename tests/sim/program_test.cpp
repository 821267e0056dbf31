// The weavepilot-loomsim program as a weaver or an end-to-end test starts it.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <csignal>

#include "tests/sim/simharness.h"

extern char** environ;

namespace wp::sim::test {
namespace {

class Program {
public:
    explicit Program(std::vector<std::string> args) {
        args.insert(args.begin(), LOOMSIM_PROGRAM);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        stdout_ = out[0];
    }
    ~Program() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdout_ >= 0) ::close(stdout_);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    std::string firstLine(Millis timeout = 5000ms) {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (line.empty() || line.back() != '\n') {
            const auto left =
                std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
            pollfd fd{stdout_, POLLIN, 0};
            if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) break;
            char c;
            if (::read(stdout_, &c, 1) != 1) break;
            line += c;
        }
        return line;
    }
    // Exit status, or -1 if it did not exit in time.
    int waitExit(Millis timeout = 5000ms) {
        int status = 0;
        const bool exited =
            waitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout);
        if (!exited) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
};

std::string readBytes(int fd, std::size_t count, Millis timeout = 2000ms) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < count) {
        const auto left =
            std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        pollfd pfd{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[64];
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - out.size()));
        if (n <= 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

bool pathExists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

TEST(Program, WeavesThroughItsLinkAndCleansUpAtExit) {
    TempPath link(".tty");
    TempPath picture(".png");
    TempPath record(".txt");
    Program program({"--link", link.str(), "--picture", picture.str(), "--record", record.str(),
                     "--weave-ms", "5", "--exit-after-picks", "1"});
    ASSERT_GT(program.pid(), 0);
    const std::string line = program.firstLine();
    ASSERT_EQ(line.rfind("device: /dev/", 0), 0u) << line;

    const int fd = ::open(link.str().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios raw{};
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
    const std::string pick = jx3Frame(13, 1, std::string(28, '\0')) + jx3Frame(14, 1);
    ASSERT_EQ(::write(fd, pick.data(), pick.size()), static_cast<ssize_t>(pick.size()));

    // Read only once the pick is woven: the last answer must not die with the line.
    EXPECT_TRUE(
        waitUntil([&] { return readFile(record.str()).find("pick 1:") != std::string::npos; }));
    EXPECT_EQ(hexOf(readBytes(fd, 9)), "08 00 08 08 00 08 0C 00 0C");
    EXPECT_EQ(program.waitExit(), 0);
    ::close(fd);
    EXPECT_FALSE(pathExists(link.str())) << "the link outlived the program";
    EXPECT_EQ(readFile(picture.str()).substr(1, 3), "PNG");
}

TEST(Program, StopsOnSigterm) {
    Program program({});
    ASSERT_GT(program.pid(), 0);
    ASSERT_EQ(program.firstLine().rfind("device: ", 0), 0u);
    kill(program.pid(), SIGTERM);
    EXPECT_EQ(program.waitExit(), 0);
}

TEST(Program, RefusesUnknownOptions) {
    Program program({"--no-such-option"});
    ASSERT_GT(program.pid(), 0);
    EXPECT_EQ(program.waitExit(), 2);
}

}  // namespace
}  // namespace wp::sim::test
