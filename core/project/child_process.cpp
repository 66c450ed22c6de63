#include "core/project/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "core/base/file.h"
#include "core/base/oserror.h"
#include "core/project/search_path.h"

namespace lantor {
namespace {

// close_range(2): older C libraries have no wrapper and older kernel headers
// no number for it; the number is the same on every Linux architecture.
#ifdef SYS_close_range
constexpr long kCloseRangeCall = SYS_close_range;
#else
constexpr long kCloseRangeCall = 436;
#endif
constexpr unsigned kCloseRangeCloexec = 1U << 2;

struct Pipe {
  FileDescriptor read, write;
};

// Moves `fd` above the standard descriptors, so that duplicating it onto one
// of them in the child always makes a fresh descriptor without close-on-exec
// (a host that closed its standard input would otherwise hand out 0 here).
Result<FileDescriptor, int> above_standard(FileDescriptor fd) {
  if (fd.get() > STDERR_FILENO) return fd;
  int moved = ::fcntl(fd.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (moved < 0) return fail(errno);
  return FileDescriptor(moved);
}

// Both ends close-on-exec, so no child inherits them except through an
// explicit dup2 onto a standard descriptor.
Result<Pipe, int> make_pipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return fail(errno);
  FileDescriptor read(fds[0]), write(fds[1]);
  LANTOR_ASSIGN_OR_RETURN(FileDescriptor r, above_standard(std::move(read)));
  LANTOR_ASSIGN_OR_RETURN(FileDescriptor w, above_standard(std::move(write)));
  return Pipe{std::move(r), std::move(w)};
}

// Everything the child needs, made before it starts: between vfork and exec
// it shares this process's memory and may only make system calls, never
// allocate.
struct ChildPlan {
  char* const* argv;
  char* const* envp;
  const std::vector<std::string>* candidates;
  int cwd_dir;
  int stdin_fd, stdout_fd, stderr_fd;
  // Where the child writes errno when it cannot start the program.
  int report_fd;
  pid_t parent;
  // One past the highest descriptor to close when close_range is missing.
  int fd_limit;
};

// The child's side: no return, no allocation, nothing but system calls.
[[noreturn]] void run_in_child(const ChildPlan& plan) noexcept {
  // Handlers of this process must not run in the child, which shares its
  // memory until exec (exec would reset them anyway); every signal is still
  // blocked here, as the parent left it. SIGPIPE, which Python ignores, gets
  // its default too.
  for (int sig = 1; sig < NSIG; ++sig) {
    struct sigaction action {};
    if (sig == SIGKILL || sig == SIGSTOP || ::sigaction(sig, nullptr, &action) != 0) continue;
    if (sig == SIGPIPE || (action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN)) {
      struct sigaction defaults {};
      defaults.sa_handler = SIG_DFL;
      ::sigaction(sig, &defaults, nullptr);
    }
  }
  // Killed with the thread that started it. Should that have happened
  // already, the request came too late to take effect: leave now.
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != plan.parent) ::_exit(127);

  int err = 0;
  if (::dup2(plan.stdin_fd, STDIN_FILENO) < 0 || ::dup2(plan.stdout_fd, STDOUT_FILENO) < 0 ||
      ::dup2(plan.stderr_fd, STDERR_FILENO) < 0 || ::fchdir(plan.cwd_dir) != 0) {
    err = errno;
  } else {
    // Descriptors the host process opened without close-on-exec (a Python
    // extension, an embedding application) must not reach the build either.
    // The report pipe is close-on-exec already.
    if (::syscall(kCloseRangeCall, 3U, ~0U, kCloseRangeCloexec) != 0) {
      for (int fd = 3; fd < plan.fd_limit; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // As the C library's search does: a candidate that is missing or may not
    // be run sends the search on; any other failure ends it.
    bool denied = false;
    for (const std::string& candidate : *plan.candidates) {
      ::execve(candidate.c_str(), plan.argv, plan.envp);
      err = errno;
      if (err == EACCES) {
        denied = true;
      } else if (err != ENOENT && err != ENOTDIR && err != ESTALE) {
        break;
      }
    }
    if (denied && (err == ENOENT || err == ENOTDIR || err == ESTALE)) err = EACCES;
  }
  while (::write(plan.report_fd, &err, sizeof err) < 0 && errno == EINTR) {}
  ::_exit(127);
}

// Starts the child. The calling thread blocks every signal until the child
// has called exec or exited, so no handler of this process runs in it.
pid_t start_child(const ChildPlan& plan) {
  sigset_t all, old;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &old);
  // vfork: the child borrows this process's memory until exec instead of
  // copying its page tables (a large host's cost more than the build's first
  // second) and runs no fork handlers of the libraries loaded; and unlike
  // posix_spawn it can ask for the death signal above. The parent is
  // suspended only until the exec.
  // NOLINTNEXTLINE(bugprone-unsafe-functions): posix_spawn has no parent-death signal
  pid_t pid = ::vfork();
  if (pid == 0) run_in_child(plan);
  int err = errno;
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  errno = err;
  return pid;
}

// Keeps the end of a growing byte stream within a bound, trimming in large
// steps so that the cost stays linear in what was read.
void keep_tail(std::string& buf, std::size_t keep) {
  if (buf.size() > 2 * keep + 65536) buf.erase(0, buf.size() - keep);
}

// Reads both pipes until each reports end of file. Reading them together
// means a child that fills one pipe while we wait on the other cannot stall.
void drain(int out_fd, int err_fd, std::string& err_bytes, std::size_t keep) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  char buf[65536];
  int open_count = 2;
  while (open_count > 0) {
    int r = ::poll(fds, 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      return;  // Cannot happen with valid descriptors; the caller still reaps the child.
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) {
        // End of file, or an error that ends this stream just the same.
        fds[i].fd = -1;
        --open_count;
        continue;
      }
      if (i == 1) {
        err_bytes.append(buf, static_cast<std::size_t>(n));
        keep_tail(err_bytes, keep);
      }
    }
  }
}

// Waits for `pid`, retrying after signals. Returns true for exit status 0.
bool reap(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The errno the child reported, or 0 once it has called exec: the report
// pipe then closes without a word.
int start_failure(int report_fd) {
  int err = 0;
  ssize_t n;
  do {
    n = ::read(report_fd, &err, sizeof err);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(sizeof err) ? err : 0;
}

int descriptor_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > 1048576)
    return 1048576;
  return static_cast<int>(limit.rlim_cur);
}

}  // namespace

Result<ChildOutcome> run_child(const std::string& program, const std::vector<std::string>& args, int cwd_dir,
                               const Environment& env, std::size_t stderr_keep) {
  if (has_nul(program)) return fail(std::string(kNulInPathText));
  for (const std::string& a : args) {
    if (has_nul(a)) return fail(std::string(kNulInPathText));
  }
  const std::vector<std::string> candidates = search_path_candidates(program, env);
  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  auto os_error = [](int err) { return fail(os_error_text(err)); };
  Result<FileDescriptor, int> null_in = FileDescriptor::open_at(AT_FDCWD, "/dev/null", O_RDONLY);
  if (!null_in.ok()) return os_error(null_in.error());
  null_in = above_standard(std::move(null_in).value());
  if (!null_in.ok()) return os_error(null_in.error());
  Result<Pipe, int> out = make_pipe();
  if (!out.ok()) return os_error(out.error());
  Result<Pipe, int> err = make_pipe();
  if (!err.ok()) return os_error(err.error());
  Result<Pipe, int> report = make_pipe();
  if (!report.ok()) return os_error(report.error());

  const ChildPlan plan{argv.data(),    env.entries(),     &candidates,      cwd_dir,
                       null_in->get(), out->write.get(),  err->write.get(), report->write.get(),
                       ::getpid(),     descriptor_limit()};
  pid_t pid = start_child(plan);
  if (pid < 0) return os_error(errno);

  // Only the child held the write ends; closing ours lets the reads see end
  // of file once the child (and anything it started) is done.
  out->write.reset();
  err->write.reset();
  report->write.reset();
  null_in->reset();
  if (int failed = start_failure(report->read.get()); failed != 0) {
    reap(pid);
    return os_error(failed);
  }

  ChildOutcome outcome;
  drain(out->read.get(), err->read.get(), outcome.stderr_bytes, stderr_keep);
  outcome.success = reap(pid);
  return outcome;
}

}  // namespace lantor
