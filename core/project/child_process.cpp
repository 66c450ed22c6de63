#include "core/project/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

#include "core/base/oserror.h"

extern char** environ;

namespace lantor {
namespace {

// Owns one file descriptor.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  ~Fd() { reset(); }
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

struct Pipe {
  Fd read, write;
};

// Both ends close-on-exec, so no child inherits them except through an
// explicit dup2 onto a standard descriptor.
Result<Pipe> make_pipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return fail(os_error_text(errno));
  Pipe p;
  p.read = Fd(fds[0]);
  p.write = Fd(fds[1]);
  return p;
}

// Frees the spawn attributes and file actions however the spawn ends.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
  }
};

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

}  // namespace

Result<ChildOutcome> run_child(const std::string& program, const std::vector<std::string>& args,
                               const std::string& cwd, std::size_t stderr_keep) {
  if (has_nul(program) || has_nul(cwd)) return fail(std::string(kNulInPathText));
  for (const std::string& a : args) {
    if (has_nul(a)) return fail(std::string(kNulInPathText));
  }

  Fd null_in(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (null_in.get() < 0) return fail(os_error_text(errno));
  Result<Pipe> out = make_pipe();
  if (!out.ok()) return fail(std::move(out).error());
  Result<Pipe> err = make_pipe();
  if (!err.ok()) return fail(std::move(err).error());

  SpawnSetup setup;
  posix_spawn_file_actions_adddup2(&setup.actions, null_in.get(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&setup.actions, out->write.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&setup.actions, err->write.get(), STDERR_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // Descriptors the host process opened without close-on-exec (a Python
  // extension, an embedding application) must not reach the build either.
  posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
#endif
  if (int rc = posix_spawn_file_actions_addchdir_np(&setup.actions, cwd.c_str()); rc != 0) {
    return fail(os_error_text(rc));
  }
  // The child starts with default handling of SIGPIPE and no blocked signals,
  // whatever the host (Python ignores SIGPIPE) has set for itself.
  sigset_t defaults, empty;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigemptyset(&empty);
  posix_spawnattr_setsigdefault(&setup.attr, &defaults);
  posix_spawnattr_setsigmask(&setup.attr, &empty);
  posix_spawnattr_setflags(&setup.attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  pid_t pid = 0;
  int rc = posix_spawnp(&pid, program.c_str(), &setup.actions, &setup.attr, argv.data(), environ);
  if (rc != 0) return fail(os_error_text(rc));

  // Only the child holds the write ends now; closing ours lets the reads
  // see end of file once the child (and anything it started) is done.
  out->write.reset();
  err->write.reset();
  null_in.reset();

  ChildOutcome outcome;
  drain(out->read.get(), err->read.get(), outcome.stderr_bytes, stderr_keep);
  outcome.success = reap(pid);
  return outcome;
}

}  // namespace lantor
