// The platform functions on Linux and other POSIX systems.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

std::string default_images_directory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return std::string(home) + "/images/";
  return "./images/";
}

// ---- input files ------------------------------------------------------------

FileKind file_kind(const std::string& path) {
  struct stat info {};
  if (!usable(path) || stat(path.c_str(), &info) != 0) return FileKind::missing;
  return S_ISREG(info.st_mode) ? FileKind::regular : FileKind::other;
}

std::FILE* open_regular_file(const std::string& path, FileKind& kind) {
  kind = FileKind::missing;
  if (!usable(path)) return nullptr;
  // Without O_NONBLOCK, opening a FIFO waits for a writer, for ever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
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
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* f = fdopen(fd, "wb");
  if (f == nullptr) {
    const int error = errno;
    ::close(fd);
    ::unlink(path.c_str());
    errno = error;
  }
  return f;
}

bool replace_file(const std::string& from, const std::string& to) {
  return usable(from) && usable(to) && std::rename(from.c_str(), to.c_str()) == 0;
}

bool remove_file(const std::string& path) { return usable(path) && ::unlink(path.c_str()) == 0; }

std::size_t max_file_name_length(const std::string& folder) {
  const long longest = usable(folder) ? pathconf(folder.c_str(), _PC_NAME_MAX) : -1;
  return longest > 0 ? static_cast<std::size_t>(longest) : 255;
}

long process_number() { return static_cast<long>(getpid()); }

// ---- folder lock ------------------------------------------------------------

FolderLock::FolderLock(const std::string& folder) : handle_(-1) {
  const int fd = usable(folder) ? ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
  if (fd < 0) return;  // a folder that cannot be opened fails later, naming the file at fault
  while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
  }
  handle_ = fd;
}

FolderLock::~FolderLock() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));  // closing releases the lock
}

// ---- interrupts ---------------------------------------------------------------

namespace {

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

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
  for (TemporarySlot& slot : temporaries) {
    if (slot.used.load()) ::unlink(slot.path);
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
  unsigned char key = 0;
  ssize_t got = 0;
  do {
    got = read(STDIN_FILENO, &key, 1);
  } while (got < 0 && errno == EINTR);
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  terminal_changed.store(false);
}
