// Runs a piece of a test where file modes bind as they do for an ordinary
// user: when the tests run as root (as CI does), in a forked child that has
// become the user "nobody". The child's failed expectations fail the test.
#pragma once

#include <grp.h>
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
    constexpr int kNoIdentity = 3;
    pid_t pid = fork();
    if (pid == 0) {
        // Root's own groups go too, or they would still grant access.
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0 ||
            ::geteuid() != 65534) {
            _exit(kNoIdentity);
        }
        body();
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    ASSERT_GT(pid, 0) << "cannot fork";
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == kNoIdentity)
        << "cannot become the user nobody: the unprivileged part did not run";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the unprivileged part failed: " << status;
}

}  // namespace testing_support
