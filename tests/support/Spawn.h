#pragma once
// Runs a program as a child process with exactly the given environment and
// collects its standard output and standard error, within a time limit.

#include <chrono>
#include <string>
#include <vector>

namespace testsupport {

struct Ran {
    int status = -1;  // exit status; -1 when it did not exit by itself
    bool timedOut = false;
    std::string out, err;
};

// argv[0] is looked up in the test's PATH. When stderrFd is not -1 the child's
// standard error is that descriptor (a terminal, say) and err stays empty.
Ran Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
          std::chrono::seconds limit = std::chrono::seconds(60), int stderrFd = -1);

// PATH and LANG only: no display, no runtime folder.
std::vector<std::string> PlainEnv();

}  // namespace testsupport
