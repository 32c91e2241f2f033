// Runs a piece of a test where file modes bind as they do for an ordinary
// user: when the tests run as root (as CI does), in a forked child that has
// become the user "nobody". The child's failed expectations fail the test.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

template <typename F>
void asNobody(F body) {
    if (::geteuid() != 0) {
        body();
        return;
    }
    pid_t pid = fork();
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(3);
        body();
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the unprivileged part failed: " << status;
}

}  // namespace testing_support
