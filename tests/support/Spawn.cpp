#include "tests/support/Spawn.h"

#include "shell/UniqueFd.h"

#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {
namespace {

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> p;
    for (auto& t : texts) p.push_back(t.data());
    p.push_back(nullptr);
    return p;
}

}  // namespace

Ran Spawn(const std::vector<std::string>& argvIn, const std::vector<std::string>& envIn,
          std::chrono::seconds limit, int stderrFd) {
    Ran r;
    shell::UniqueFd out, outWrite, err, errWrite;
    if (!shell::MakePipe(out, outWrite) || !shell::MakePipe(err, errWrite)) return r;
    std::vector<std::string> argvText = argvIn, envText = envIn;
    std::vector<char*> argv = Pointers(argvText), env = Pointers(envText);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, outWrite.get(), 1);
    posix_spawn_file_actions_adddup2(&fa, stderrFd >= 0 ? stderrFd : errWrite.get(), 2);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&fa);
    outWrite.reset();
    errWrite.reset();
    if (rc != 0) {
        r.err = "could not start " + argvText[0];
        return r;
    }

    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            r.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        pollfd p[2] = {{outOpen ? out.get() : -1, POLLIN, 0}, {errOpen ? err.get() : -1, POLLIN, 0}};
        if (::poll(p, 2, static_cast<int>(left.count())) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buf[4096];
            const ssize_t n = ::read(p[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
            } else {
                (i == 0 ? outOpen : errOpen) = false;
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!r.timedOut && WIFEXITED(status)) r.status = WEXITSTATUS(status);
    return r;
}

std::vector<std::string> PlainEnv() { return {"PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin", "LANG=C.UTF-8"}; }

}  // namespace testsupport
