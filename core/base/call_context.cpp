#include "core/base/call_context.h"

namespace lantor {

CallContext CallContext::capture() {
  CallContext context;
  // O_PATH: a handle to resolve names against needs no read permission on
  // the directory itself.
  Result<FileDescriptor, int> here = FileDescriptor::open_at(AT_FDCWD, ".", O_PATH | O_DIRECTORY);
  if (here.ok()) context.dir_ = std::move(here).value();
  context.env_ = Environment::snapshot();
  return context;
}

}  // namespace lantor
