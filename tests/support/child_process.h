// A test's body run in a child process: for what must not touch the test's
// own process (resource limits, namespaces, kills) or must run beside it.
// The child ends with _exit, so nothing of the parent's test runs twice; an
// exception that escapes the body ends it with status 2.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <functional>

namespace testing_support {

class ChildProcess {
 public:
  explicit ChildProcess(const std::function<int()>& body) {
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ != 0) return;
    int status;
    try {
      status = body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      status = 2;
    }
    std::fflush(nullptr);
    _exit(status);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() { Wait(); }

  pid_t pid() const { return pid_; }
  // The exit status, or -1 when a signal ended the child.
  int Wait() {
    if (pid_ > 0) {
      int status = 0;
      rusage usage{};
      wait4(pid_, &status, 0, &usage);
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      cpu_seconds_ = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
      pid_ = 0;
    }
    return status_;
  }
  // Processor time the child used, once it ended.
  double cpu_seconds() const { return cpu_seconds_; }

 private:
  pid_t pid_ = 0;
  int status_ = -1;
  double cpu_seconds_ = 0;
};

inline int RunInChild(const std::function<int()>& body) {
  return ChildProcess(body).Wait();
}

}  // namespace testing_support
