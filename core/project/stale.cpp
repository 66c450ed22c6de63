#include "core/project/stale.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "core/base/file.h"
#include "core/base/oserror.h"
#include "core/project/retired_texts.h"
#include "core/project/templates.h"
#include "core/project/writer.h"
#include "core/request/tables.h"

namespace lantor {
namespace {

// The contents of the regular file `name` in `dir` when its size is that of
// one of `texts`; nothing for anything else (missing, unreadable, a symbolic
// link, a directory, a FIFO, a file of another size), since only an exact
// generated text is ever removed.
std::optional<std::string> read_if_candidate(int dir, const std::string& name,
                                             const std::vector<std::string>& texts) {
  // O_NONBLOCK: a FIFO without a writer must not hold the compile up.
  Result<FileDescriptor, int> fd = FileDescriptor::open_for_reading(dir, name, O_NOFOLLOW | O_NONBLOCK);
  if (!fd.ok()) return std::nullopt;
  struct stat st;
  if (::fstat(fd->get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      std::none_of(texts.begin(), texts.end(),
                   [&](const std::string& t) { return static_cast<off_t>(t.size()) == st.st_size; }))
    return std::nullopt;
  Result<ByteBuffer, int> bytes = read_whole_file(*fd);
  if (!bytes.ok()) return std::nullopt;
  return std::string(bytes->view());
}

}  // namespace

std::vector<GeneratedFile> target_specific_files() {
  GeneratedFile config{std::string(kBuildConfigPath), {}};
  config.texts.push_back(*build_config(Target{Target::Kind::Wasm, ""}));
  for (std::string_view triple : request::kMcuAllowlist) {
    config.texts.push_back(*build_config(Target{Target::Kind::NoStd, std::string(triple)}));
  }
  std::vector<GeneratedFile> files = {config};
  for (Target::Kind kind : {Target::Kind::Wasm, Target::Kind::Binary, Target::Kind::NoStd}) {
    std::string path(main_source_path(kind));
    auto same_path = [&](const GeneratedFile& f) { return f.path == path; };
    auto it = std::find_if(files.begin(), files.end(), same_path);
    if (it == files.end()) it = files.insert(files.end(), GeneratedFile{path, {}});
    it->texts.emplace_back(main_source(kind));
  }
  // The no_std source that earlier versions wrote: a project generated then
  // and switched to Binary now must not keep building it.
  for (GeneratedFile& file : files) {
    if (file.path == kLibSourcePath) file.texts.emplace_back(kRetiredNoStdLibSource);
  }
  return files;
}

Status<CompileError> remove_stale_files(ProjectDir& project,
                                        const std::map<std::string, std::string>& contents,
                                        const std::vector<GeneratedFile>& known) {
  if (!project.is_open()) return Ok{};
  for (const GeneratedFile& file : known) {
    if (contents.count(file.path) != 0) continue;  // about to be overwritten anyway
    DirAndName where = split_dir_and_name(file.path);
    Result<int, DirRefusal> dir = project.subdir(where.dir, false);
    if (!dir.ok()) continue;
    std::optional<std::string> on_disk = read_if_candidate(*dir, where.name, file.texts);
    if (!on_disk) continue;
    if (std::find(file.texts.begin(), file.texts.end(), *on_disk) == file.texts.end()) continue;
    if (::unlinkat(*dir, where.name.c_str(), 0) != 0 && errno != ENOENT) {
      return fail(CompileError{CompileError::Kind::Io, "removing " + join_path(project.path(), file.path) +
                                                           ": " + os_error_text(errno)});
    }
  }
  return Ok{};
}

Status<CompileError> remove_stale_generated(ProjectDir& project,
                                            const std::map<std::string, std::string>& contents) {
  return remove_stale_files(project, contents, target_specific_files());
}

}  // namespace lantor
