// Output files and folders written under a temporary name beside the final
// one and renamed into place only when complete. Temporary names are created
// exclusively (never through an existing name or link) and carry the writer's
// process id, so a later run can remove what a killed run left behind.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

#include "common/status.h"

namespace gf {

// The path without a trailing separator ("frames/" names the folder "frames").
std::filesystem::path without_trailing_separator(const std::string& text);

// Checks an output name before any work: `given` is the name as the user wrote it (the
// failure names it). A video may replace a regular file (or a link to one) but not a folder, FIFO,
// device, socket or mount point; a frames folder must be new or empty, not "." or "..",
// and neither a link nor a mount point (it is replaced by a rename).
Status check_file_target(const std::filesystem::path& final_path, const std::string& given);
Status check_folder_target(const std::filesystem::path& final_path, const std::string& given);

// Creates `.NAME.partial-PID-RANDOM` beside `final_path` with O_CREAT | O_EXCL | O_NOFOLLOW,
// mode 0666 less the umask, or the mode and group of the file it will replace. NAME is
// shortened when the whole would not fit in a file name. On success `temp` holds its name,
// `fd` the open descriptor, and `lock` a descriptor holding a lock that marks it as live
// for other runs' clean-up: close it only once the output is in place or removed.
Status create_temporary_file(const std::filesystem::path& final_path, std::filesystem::path& temp, int& fd, int& lock);
// The same for a folder (mkdir fails on any existing name, a link included).
Status create_temporary_folder(const std::filesystem::path& final_path, std::filesystem::path& temp, int& lock);

// The process id in a temporary name of ours (".NAME.partial-PID" or ".NAME.partial-PID-RANDOM"),
// or nothing for any other name.
std::optional<pid_t> temporary_name_owner(const std::string& file_name);

// Removes, in `folder`, the temporary outputs of our naming that belong to this user, whose
// process no longer exists (left by a killed run) and that no live run holds locked.
// Returns how many were removed.
int remove_stale_temporaries(const std::filesystem::path& folder);

// `message` with every mention of `temp` replaced by `final_path`: the user knows only their names.
std::string with_final_name(std::string message, const std::filesystem::path& temp,
                            const std::filesystem::path& final_path);

// Renames a finished temporary output to its final name (replacing a file or an empty folder).
Status move_into_place(const std::filesystem::path& temp, const std::filesystem::path& final_path);
// Renames a finished temporary file to `final_path` only if no such name exists, else to the
// first free one of NAME-1.EXT, NAME-2.EXT, ...: claimed atomically, so two runs never take
// the same name. `final_path` becomes the name taken.
Status claim_free_name(const std::filesystem::path& temp, std::filesystem::path& final_path);

// Temporary outputs to delete if the process must stop at once (a second Ctrl+C): set from
// normal code, used from a signal handler. Holds one file and one flat folder.
void register_abort_file(const std::filesystem::path& path);
void register_abort_folder(const std::filesystem::path& path);
void clear_abort_outputs();
// Deletes the registered outputs using only async-signal-safe calls.
void remove_abort_outputs_now();

}  // namespace gf
