// Compiles into one project directory take turns: each holds an advisory
// lock on the directory for its write and build. The waiting is observed in
// /proc/locks, never timed.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <functional>
#include <thread>

#include "core/project/templates.h"
#include "core/project/write_and_build.h"
#include "test_build_helpers.h"

namespace lantor {
namespace {

namespace fs = std::filesystem;
using testing::StandinCargo;
using testing::TempDir;

ProjectPlan binary_plan() {
  ProjectPlan plan;
  plan.target = {Target::Kind::Binary, ""};
  plan.opt_level = OptLevel::Debug;
  plan.crate_name = "demo";
  plan.contents = {{"Cargo.toml", "[package]\n"},
                   {"src/main.rs", std::string(main_source(Target::Kind::Binary))}};
  return plan;
}

// True once some descriptor waits for a flock on the file `path`.
bool someone_waits_for(const fs::path& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  const std::string inode = ":" + std::to_string(st.st_ino) + " ";
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    if (line.find("-> FLOCK") != std::string::npos && line.find(inode) != std::string::npos) return true;
  }
  return false;
}

// Polls `done` until it holds, for a bounded number of rounds.
bool eventually(const std::function<bool()>& done) {
  for (int round = 0; round < 6000; ++round) {
    if (done()) return true;
    ::usleep(10000);
  }
  return false;
}

// A descriptor holding the lock on `dir` as another compile would.
class HeldLock {
 public:
  explicit HeldLock(const fs::path& dir) : fd_(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    EXPECT_EQ(::flock(fd_, LOCK_EX), 0);
  }
  ~HeldLock() { ::close(fd_); }
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;
  void release() const { ::flock(fd_, LOCK_UN); }
  bool free_again() const { return ::flock(fd_, LOCK_EX | LOCK_NB) == 0; }

 private:
  int fd_;
};

void no_op(int) {}

struct InterruptCase {
  bool stop;          // what the context answers after the signal
  const char* error;  // the expected error after the project path, or "" for a build
};

TEST(ProjectLock, ASecondCompileWaitsAndAnInterruptedWaitEndsWhenAsked) {
  struct sigaction action {
  }, old_action{};
  action.sa_handler = no_op;  // no SA_RESTART: the wait sees EINTR
  ::sigaction(SIGUSR1, &action, &old_action);
  const InterruptCase cases[] = {
      {false, ""},
      {true, ": Interrupted system call (os error 4)"},
  };
  for (const InterruptCase& c : cases) {
    StandinCargo cargo("record.sh");
    TempDir out;
    fs::path dir = out.path() / "demo";
    fs::create_directories(dir);
    HeldLock other(dir);

    std::atomic<int> asked{0};
    struct Check {
      std::atomic<int>* asked;
      bool stop;
    } check{&asked, c.stop};
    CallContext context;
    context.on_interrupt(
        [](void* arg) {
          auto* check = static_cast<Check*>(arg);
          check->asked->fetch_add(1);
          return check->stop;
        },
        &check);
    std::optional<Result<std::string, CompileError>> built;
    std::thread compile([&] { built = write_and_build(binary_plan(), out.str(), context); });

    ASSERT_TRUE(eventually([&] { return someone_waits_for(dir); })) << c.stop;
    EXPECT_FALSE(fs::exists(dir / "Cargo.toml")) << "written while another compile held the project";
    ::pthread_kill(compile.native_handle(), SIGUSR1);
    ASSERT_TRUE(eventually([&] { return asked.load() > 0; }));
    if (!c.stop) {
      EXPECT_TRUE(eventually([&] { return someone_waits_for(dir); }));
    }
    other.release();
    compile.join();

    ASSERT_TRUE(built.has_value());
    if (*c.error == '\0') {
      ASSERT_TRUE(built->ok()) << built->error().text();
      EXPECT_TRUE(fs::exists(dir / "standin_args.txt"));
    } else {
      ASSERT_FALSE(built->ok());
      EXPECT_EQ(built->error().text(), "io: locking " + dir.string() + c.error);
      EXPECT_FALSE(fs::exists(dir / "Cargo.toml"));
    }
    // Released by the time the compile returned.
    EXPECT_TRUE(other.free_again());
  }
  ::sigaction(SIGUSR1, &old_action, nullptr);
}

}  // namespace
}  // namespace lantor
