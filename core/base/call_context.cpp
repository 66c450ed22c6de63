#include "core/base/call_context.h"

#include <sys/stat.h>

#include <mutex>

namespace lantor {
namespace {

// The handle of the working directory the last capture found. A capture that
// finds the working directory to be the same directory (same device and
// inode, which cannot have been reused for another directory while the kept
// handle holds it open) shares it: a stat costs a fraction of opening and
// closing a handle, a cost that would fall on every command. The handle stays open until a capture elsewhere
// replaces it.
struct KeptDir {
  std::mutex mutex;
  std::shared_ptr<const FileDescriptor> handle;
  dev_t dev = 0;
  ino_t ino = 0;
};

std::shared_ptr<const FileDescriptor> working_dir_handle() {
  static KeptDir kept;
  struct stat here;
  // The working directory itself, without a lookup of ".".
  if (::fstatat(AT_FDCWD, "", &here, AT_EMPTY_PATH) != 0) return nullptr;
  std::lock_guard<std::mutex> guard(kept.mutex);
  if (kept.handle && kept.dev == here.st_dev && kept.ino == here.st_ino) return kept.handle;
  // O_PATH: a handle to resolve names against needs no read permission on
  // the directory itself.
  Result<FileDescriptor, int> opened = FileDescriptor::open_at(AT_FDCWD, ".", O_PATH | O_DIRECTORY);
  struct stat st;
  if (!opened.ok() || ::fstat(opened->get(), &st) != 0) return nullptr;
  kept.handle = std::make_shared<const FileDescriptor>(std::move(opened).value());
  kept.dev = st.st_dev;
  kept.ino = st.st_ino;
  return kept.handle;
}

}  // namespace

CallContext CallContext::capture() {
  CallContext context;
  context.dir_ = working_dir_handle();
  context.env_ = Environment::snapshot();
  return context;
}

}  // namespace lantor
