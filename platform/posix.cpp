// The platform functions on Linux and other POSIX systems.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <termios.h>
#include <unistd.h>

#include "platform.h"

namespace {

// A path the C library would cut short at a NUL byte is never handed to it.
bool usable(const std::string& path) {
  if (path.find('\0') == std::string::npos) return true;
  errno = EINVAL;
  return false;
}

}  // namespace

// ---- paths ----------------------------------------------------------------

const char kPathSeparator = '/';
const char kPathListSeparator = ':';

std::string absolute_path(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char here[4096];
  if (getcwd(here, sizeof here) == nullptr) return path;
  const std::string folder = here;
  return folder + (folder.back() == '/' ? "" : "/") + path;
}

std::string default_images_directory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return std::string(home) + "/images/";
  return "./images/";
}

std::string environment_value(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string typed_name(const std::string& typed) { return typed; }

// ---- input files ------------------------------------------------------------

namespace {

// Only "no such file" means that nothing stands there.
FileKind failed_kind() { return errno == ENOENT ? FileKind::missing : FileKind::unreadable; }

}  // namespace

FileKind file_kind(const std::string& path) {
  struct stat info {};
  if (!usable(path)) return FileKind::unreadable;
  if (stat(path.c_str(), &info) != 0) return failed_kind();
  return S_ISREG(info.st_mode) ? FileKind::regular : FileKind::other;
}

bool can_read(const std::string& path) { return usable(path) && access(path.c_str(), R_OK) == 0; }

bool is_folder(const std::string& path) {
  struct stat info {};
  return usable(path) && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::FILE* open_regular_file(const std::string& path, FileKind& kind) {
  kind = FileKind::unreadable;
  if (!usable(path)) return nullptr;
  // Without O_NONBLOCK, opening a FIFO waits for a writer, for ever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    kind = failed_kind();
    return nullptr;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    kind = FileKind::other;
    ::close(fd);
    return nullptr;
  }
  kind = FileKind::regular;
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* f = fdopen(fd, "rb");
  if (f == nullptr) ::close(fd);
  return f;
}

std::uint64_t file_length(std::FILE* f) {
  struct stat info {};
  if (fstat(fileno(f), &info) != 0 || info.st_size < 0) return 0;
  return static_cast<std::uint64_t>(info.st_size);
}

FileStamp file_stamp(std::FILE* f) {
  struct stat info {};
  FileStamp stamp;
  if (fstat(fileno(f), &info) != 0) return stamp;
  stamp.length = static_cast<std::uint64_t>(info.st_size);
  stamp.changed_ns = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  stamp.device = static_cast<std::uint64_t>(info.st_dev);
  stamp.identity = static_cast<std::uint64_t>(info.st_ino);
  return stamp;
}

FileStamp path_stamp(const std::string& path) {
  struct stat info {};
  FileStamp stamp;
  if (!usable(path) || stat(path.c_str(), &info) != 0) return stamp;
  stamp.length = static_cast<std::uint64_t>(info.st_size);
  stamp.changed_ns = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  stamp.device = static_cast<std::uint64_t>(info.st_dev);
  stamp.identity = static_cast<std::uint64_t>(info.st_ino);
  return stamp;
}

bool seek_to(std::FILE* f, std::uint64_t offset) {
  return offset <= static_cast<std::uint64_t>(INT64_MAX) && fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool same_file(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  if (a == b) return true;
  struct stat sa {}, sb {};
  return usable(a) && usable(b) && stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// ---- output files -----------------------------------------------------------

std::FILE* create_new_file(const std::string& path) {
  if (!usable(path)) return nullptr;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* f = fdopen(fd, "w+b");
  if (f == nullptr) {
    const int error = errno;
    ::close(fd);
    ::unlink(path.c_str());
    errno = error;
  }
  return f;
}

bool flush_to_disk(std::FILE* f) { return std::fflush(f) == 0 && fsync(fileno(f)) == 0; }

bool flush_folder(const std::string& folder) {
  const int fd = usable(folder) ? ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
  if (fd < 0) return false;
  const bool flushed = fsync(fd) == 0;
  const int error = errno;
  ::close(fd);
  errno = error;
  return flushed;
}

bool link_file(const std::string& from, const std::string& to) {
  return usable(from) && usable(to) && ::link(from.c_str(), to.c_str()) == 0;
}

bool replace_file(const std::string& from, const std::string& to) {
  return usable(from) && usable(to) && std::rename(from.c_str(), to.c_str()) == 0;
}

bool remove_file(const std::string& path) { return usable(path) && ::unlink(path.c_str()) == 0; }

bool create_private_folder(const std::string& path) { return usable(path) && ::mkdir(path.c_str(), 0700) == 0; }

bool remove_folder(const std::string& path) { return usable(path) && ::rmdir(path.c_str()) == 0; }

std::uint64_t free_space(const std::string& folder) {
  struct statvfs info {};
  if (!usable(folder) || statvfs(folder.empty() ? "." : folder.c_str(), &info) != 0) return UINT64_MAX;
  return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

LeftoverKind leftover_kind(const std::string& path) {
  struct stat info {};
  if (!usable(path) || lstat(path.c_str(), &info) != 0 || info.st_uid != geteuid()) return LeftoverKind::other;
  if (S_ISDIR(info.st_mode)) return LeftoverKind::own_folder;
  return S_ISREG(info.st_mode) ? LeftoverKind::own_file : LeftoverKind::other;
}

bool remove_leftover_folder(const std::string& path, std::string& left) {
  const int fd = usable(path) ? ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
  if (fd < 0) return false;
  const int listed = dup(fd);
  DIR* dir = listed >= 0 ? fdopendir(listed) : nullptr;
  if (dir == nullptr) {
    if (listed >= 0) ::close(listed);
    ::close(fd);
    return false;
  }
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    if (fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode)) {
      unlinkat(fd, name.c_str(), 0);
    } else if (left.empty()) {
      left = name;
    }
  }
  closedir(dir);
  ::close(fd);
  return left.empty() && ::rmdir(path.c_str()) == 0;
}

std::size_t max_file_name_length(const std::string& folder) {
  const long longest = usable(folder) ? pathconf(folder.c_str(), _PC_NAME_MAX) : -1;
  return longest > 0 ? static_cast<std::size_t>(longest) : 255;
}

long process_number() { return static_cast<long>(getpid()); }

std::string executable_folder() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "./";
  const std::string program(path, static_cast<std::size_t>(length));
  return program.substr(0, program.rfind('/') + 1);
}

void* library_function(const std::string& path, const char* name, std::string& why) {
  void* library = usable(path) ? dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
  if (library == nullptr) {
    const char* error = dlerror();
    why = error != nullptr ? error : path + ": cannot be loaded";
    return nullptr;
  }
  void* function = dlsym(library, name);
  if (function == nullptr) why = path + " has no " + name;
  return function;
}

bool process_is_running(long number) {
  if (number <= 0) return true;
  return kill(static_cast<pid_t>(number), 0) == 0 || errno != ESRCH;
}

std::vector<std::string> folder_entries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = usable(folder) ? opendir(folder.empty() ? "." : folder.c_str()) : nullptr;
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

// ---- folder lock ------------------------------------------------------------

FolderLock::FolderLock(const std::string& folder, bool wait) : handle_(-1) {
  const int fd = usable(folder) ? ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
  if (fd < 0) return;  // a folder that cannot be opened fails later, naming the file at fault
  int locked = 0;
  while ((locked = flock(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  if (locked != 0) {
    ::close(fd);
    return;
  }
  handle_ = fd;
}

bool FolderLock::held() const { return handle_ >= 0; }

FolderLock::~FolderLock() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));  // closing releases the lock
}

// ---- interrupts ---------------------------------------------------------------

namespace {

// Every signal whose default action ends the process and that comes from
// outside (faults of the process itself keep their default).
constexpr int kInterrupts[] = {
    SIGINT,  SIGTERM, SIGHUP,    SIGPIPE, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF,
#ifdef SIGIO
    SIGIO,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

// The registry is read by the signal handler: fixed slots, each published by
// an atomic flag once its path is written.
constexpr int kSlots = 32;
constexpr std::size_t kLongestPath = 4096;
struct TemporarySlot {
  std::atomic<bool> used{false};
  char path[kLongestPath];
};
TemporarySlot temporaries[kSlots];

std::atomic<bool> terminal_changed{false};
termios terminal_before{};

void on_interrupt(int signal_number) {
  // The files first, then the private folders some of them were in.
  for (TemporarySlot& slot : temporaries) {
    if (slot.used.load()) ::unlink(slot.path);
  }
  for (TemporarySlot& slot : temporaries) {
    if (slot.used.load()) ::rmdir(slot.path);
  }
  if (terminal_changed.load()) tcsetattr(STDIN_FILENO, TCSANOW, &terminal_before);
  // End as the interrupt itself would have ended the process.
  std::signal(signal_number, SIG_DFL);
  sigset_t just_this;
  sigemptyset(&just_this);
  sigaddset(&just_this, signal_number);
  pthread_sigmask(SIG_UNBLOCK, &just_this, nullptr);
  raise(signal_number);
  _exit(128 + signal_number);
}

sigset_t interrupt_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kInterrupts) sigaddset(&set, s);
  return set;
}

}  // namespace

void clean_up_on_interrupts() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigfillset(&action.sa_mask);  // one clean-up at a time
  for (int s : kInterrupts) sigaction(s, &action, nullptr);
  // Beyond a file-size limit, writes fail with EFBIG and the run says so.
  std::signal(SIGXFSZ, SIG_IGN);
}

int keep_temporary(const std::string& path) {
  if (path.size() >= kLongestPath || !usable(path)) return -1;
  for (int k = 0; k < kSlots; ++k) {
    TemporarySlot& slot = temporaries[k];
    if (slot.used.load()) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.used.store(true);
    return k;
  }
  return -1;
}

void forget_temporary(int slot) {
  if (slot >= 0 && slot < kSlots) temporaries[slot].used.store(false);
}

InterruptsDeferred::InterruptsDeferred() {
  const sigset_t set = interrupt_set();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

InterruptsDeferred::~InterruptsDeferred() {
  const sigset_t set = interrupt_set();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);  // an interrupt that came meanwhile acts now
}

// ---- console -----------------------------------------------------------------

bool console_is_interactive() { return isatty(STDIN_FILENO) != 0; }

bool errors_go_to_console() { return isatty(STDERR_FILENO) != 0; }

void prepare_console() {}

void wait_for_key() {
  if (!console_is_interactive()) return;
  termios saved{};
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
  terminal_before = saved;
  terminal_changed.store(true);
  termios raw = saved;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  // Out of line mode, what was typed ahead is there to be seen: it is the
  // next answers, not a key press.
  pollfd typed{STDIN_FILENO, POLLIN, 0};
  const bool typed_ahead = poll(&typed, 1, 0) > 0 && (typed.revents & POLLIN) != 0;
  unsigned char key = 0;
  ssize_t got = 0;
  while (!typed_ahead && (got = read(STDIN_FILENO, &key, 1)) < 0 && errno == EINTR) {
  }
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  terminal_changed.store(false);
}
