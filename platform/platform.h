// What differs between operating systems, in one place: paths, files, the
// folder lock, the console's key read, and the clean-up on interrupts. The
// rest of the code calls these functions and never the system directly.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// ---- compilers ---------------------------------------------------------------

// Marks a function taking printf's formats, so that compilers that can check
// them (GCC, Clang) do.
#if defined(__GNUC__)
#define PRINTF_LIKE(format_index, first_argument) __attribute__((format(printf, format_index, first_argument)))
#else
#define PRINTF_LIKE(format_index, first_argument)
#endif

// ---- paths ----------------------------------------------------------------

// The separator of the paths the tool builds and shows.
extern const char kPathSeparator;
// The separator of the folders of a list (PATH, PROJ_DATA).
extern const char kPathListSeparator;

// `path` from the root: relative paths are taken from the working directory.
std::string absolute_path(const std::string& path);

// The base directory of the folders when MESACROP_IMAGES does not name one,
// ending in a separator.
std::string default_images_directory();

// The value of an environment variable ("" when unset), in the encoding of
// paths.
std::string environment_value(const char* name);

// A name typed as an answer, in the encoding of paths: the bytes as they are
// on POSIX systems; UTF-8 on Windows, from the console's code page (or the
// system's, for answers piped from a file) unless they are UTF-8 already.
std::string typed_name(const std::string& typed);

// ---- input files ------------------------------------------------------------

// `unreadable`: something may stand there, but the system refuses to say or
// to open it (permissions, a path through a file...): only "no such file"
// is `missing`.
enum class FileKind { missing, regular, other, unreadable };

// What stands at `path`: nothing, a regular file, anything else (a folder, a
// FIFO, a device...), or what cannot be told (errno says why).
FileKind file_kind(const std::string& path);

// True when this user may read the file at `path`, told without opening
// it; false with errno.
bool can_read(const std::string& path);

// True when `path` is a folder (or a link to one).
bool is_folder(const std::string& path);

// Opens `path` for binary reading when it is a regular file. Never waits on a
// FIFO or a device. Null when it cannot be opened; `kind` then tells whether
// nothing stands there, something that is not a regular file, or a file the
// system would not open (errno says why).
std::FILE* open_regular_file(const std::string& path, FileKind& kind);

// Length of an open file in bytes; the read position is left where it was.
std::uint64_t file_length(std::FILE* f);

// What tells that a file was changed or replaced: its length, its time of
// last change and its identity on its device.
struct FileStamp {
  std::uint64_t length = 0;
  std::int64_t changed_ns = 0;
  std::uint64_t device = 0, identity = 0;
  bool operator==(const FileStamp&) const = default;
};
FileStamp file_stamp(std::FILE* f);
// The stamp of the file at `path`, without opening it (an empty stamp when
// nothing can be told).
FileStamp path_stamp(const std::string& path);

// Moves the read position of `f` to `offset` bytes from the start; false on
// failure.
bool seek_to(std::FILE* f, std::uint64_t offset);

// True when both paths name the same existing file (through links, another
// spelling or case on systems that ignore it).
bool same_file(const std::string& a, const std::string& b);

// ---- output files -----------------------------------------------------------

// Creates `path` for binary writing and reading, only if nothing stands there
// yet. Null with errno set (EEXIST when the name is taken). The file is only
// ever used through the stream returned, never opened again by its name.
std::FILE* create_new_file(const std::string& path);

// Writes what `f` holds in the system's buffers to the disk (fsync); false
// with errno.
bool flush_to_disk(std::FILE* f);
// Writes a folder's entries (names just renamed, added or removed) to the
// disk; false with errno. Does nothing where the system keeps them safe
// itself.
bool flush_folder(const std::string& folder);

// Makes `to` (which must not exist) a second name of the file `from`; false
// with errno (EEXIST when `to` is taken; other errors where the file system
// has no links).
bool link_file(const std::string& from, const std::string& to);

// Moves `from` onto `to`, replacing a file there in one step. False with errno.
bool replace_file(const std::string& from, const std::string& to);

// Removes a file; false with errno.
bool remove_file(const std::string& path);

// Creates the folder `path`, which only this user may enter, only if nothing
// stands there yet; false with errno (EEXIST when the name is taken).
bool create_private_folder(const std::string& path);
// Removes an empty folder; false with errno.
bool remove_folder(const std::string& path);

// The bytes of `folder`'s disk that this user may still fill; the largest
// number when the system does not say.
std::uint64_t free_space(const std::string& folder);

// What a leftover entry of the tool's own at `path` is, seen without
// following links: a folder or a regular file of this user's, or anything
// else (a link, another user's entry, something else), which is not taken.
enum class LeftoverKind { own_folder, own_file, other };
LeftoverKind leftover_kind(const std::string& path);

// Removes the regular files in the folder `path` (through the folder's own
// handle, so that no link leads elsewhere), then the folder. False when
// something else stays in it (named in `left`) or it cannot be removed.
bool remove_leftover_folder(const std::string& path, std::string& left);

// The longest file name (one path component) that `folder` takes.
std::size_t max_file_name_length(const std::string& folder);

// The folder of the running program, ending in a separator.
std::string executable_folder();

// The function `name` of the library at `path`, loaded (once) on the first
// call; null with `why` when either cannot be had.
void* library_function(const std::string& path, const char* name, std::string& why);

// A number that differs between processes running at once.
long process_number();
// True when the process of that number is running (or may be: unknown counts
// as running).
bool process_is_running(long number);

// The names of the entries of `folder` (ending in a separator), "." and ".."
// aside; empty when it cannot be read.
std::vector<std::string> folder_entries(const std::string& folder);

// ---- folder lock ------------------------------------------------------------

// An advisory lock on a folder, held from construction to destruction. Two
// runs that lock the same folder take turns; programs that do not lock are not
// held back. The constructor waits as long as another run holds the lock.
class FolderLock {
 public:
  // With `wait` false, the lock is only taken when no other run holds it.
  explicit FolderLock(const std::string& folder, bool wait = true);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  bool held() const;

 private:
  std::intptr_t handle_;
};

// ---- interrupts ---------------------------------------------------------------

// From now on, an interrupt (Ctrl-C, a request to end, a closed terminal, a
// console reader that went away, a timer or any other signal whose default
// is to end the process) removes every temporary file kept below, puts the
// terminal back as it was, and ends the process as that interrupt would have.
// A file-size limit no longer kills the process: the write fails instead.
void clean_up_on_interrupts();

// Keeps `path` among the files an interrupt removes; returns the slot to give
// to forget_temporary once the file is gone or in place. -1 when it cannot be
// kept (the file is then left on an interrupt).
int keep_temporary(const std::string& path);
void forget_temporary(int slot);

// Interrupts wait while an object of this kind lives (the few renames that put
// a result in place), and take effect when it goes.
class InterruptsDeferred {
 public:
  InterruptsDeferred();
  ~InterruptsDeferred();
  InterruptsDeferred(const InterruptsDeferred&) = delete;
  InterruptsDeferred& operator=(const InterruptsDeferred&) = delete;
};

// ---- console -----------------------------------------------------------------

// True when standard input is an interactive console.
bool console_is_interactive();
// True when standard error is one (progress lines are shown there).
bool errors_go_to_console();

// Sets the console up for the tool's text (on Windows, UTF-8 output, as
// paths are held).
void prepare_console();

// Waits for one key press, read without echo, and discards it. Returns at once
// when standard input is not an interactive console (answers piped from a
// file), and when input is already waiting there (answers typed or pasted
// ahead), so a run never hangs and never loses an answer. The console's mode
// is restored on every way out, interrupts included.
void wait_for_key();
