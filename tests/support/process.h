// Runs a program as a child process and collects its exit status, stdout and stderr.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace ravelkin::test {

struct ProcessResult {
  int exitCode = -1;  // 128 + signal when killed by a signal
  std::string out, err;
};

// Runs argv in folder cwd (empty: the current one). While it runs, `during` (if given) is called
// about every 20 ms with the child's pid until it returns false.
inline ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& cwd = "",
                                const std::function<bool(pid_t)>& during = {}) {
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  posix_spawn_file_actions_addclose(&actions, outPipe[0]);
  posix_spawn_file_actions_addclose(&actions, errPipe[0]);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);

  ProcessResult result;
  bool watching = static_cast<bool>(during);
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  int open = 2;
  char buf[4096];
  while (open > 0) {
    if (poll(fds, 2, 20) == 0 && watching) watching = during(pid);
    for (pollfd& p : fds) {
      if (p.fd < 0 || !(p.revents & (POLLIN | POLLHUP))) continue;
      const ssize_t n = read(p.fd, buf, sizeof buf);
      if (n <= 0) {
        close(p.fd);
        p.fd = -1;
        --open;
      } else {
        (p.fd == outPipe[0] ? result.out : result.err).append(buf, static_cast<size_t>(n));
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace ravelkin::test
