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

// The contents of the regular file at `path` when its size is that of one
// of `texts`; nothing for anything else (missing, unreadable, a symbolic
// link, a directory, a file of another size), since only an exact generated
// text is ever removed.
std::optional<std::string> read_if_candidate(const std::string& path, const std::vector<std::string>& texts) {
  if (has_nul(path)) return std::nullopt;
  Result<FileDescriptor, int> fd = FileDescriptor::open_for_reading(path, O_NOFOLLOW);
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

Status<CompileError> remove_stale_files(std::string_view dir,
                                        const std::map<std::string, std::string>& contents,
                                        const std::vector<GeneratedFile>& known) {
  for (const GeneratedFile& file : known) {
    if (contents.count(file.path) != 0) continue;  // about to be overwritten anyway
    std::string full = join_path(dir, file.path);
    std::optional<std::string> on_disk = read_if_candidate(full, file.texts);
    if (!on_disk) continue;
    if (std::find(file.texts.begin(), file.texts.end(), *on_disk) == file.texts.end()) continue;
    if (::unlink(full.c_str()) != 0 && errno != ENOENT) {
      return fail(CompileError{CompileError::Kind::Io, "removing " + full + ": " + os_error_text(errno)});
    }
  }
  return Ok{};
}

Status<CompileError> remove_stale_generated(std::string_view dir,
                                            const std::map<std::string, std::string>& contents) {
  return remove_stale_files(dir, contents, target_specific_files());
}

}  // namespace lantor
