// The platform functions on Windows. Paths are held as UTF-8, whatever the
// code page of the console they were typed in, and turned into the wide
// strings of the system's calls.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <conio.h>
#include <cstdlib>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <string>

#include "platform.h"

namespace {

// A path the C library would cut short at a NUL byte is never handed to it.
bool usable(const std::string& path) {
  if (path.find('\0') == std::string::npos) return true;
  errno = EINVAL;
  return false;
}

std::wstring wide_of(const std::string& bytes, UINT code_page, DWORD flags = 0) {
  if (bytes.empty()) return {};
  const int length = MultiByteToWideChar(code_page, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(code_page, flags, bytes.data(), static_cast<int>(bytes.size()), wide.data(), length);
  return wide;
}

std::wstring widen(const std::string& path) { return wide_of(path, CP_UTF8); }

std::string narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), length, nullptr, nullptr);
  return bytes;
}

bool is_utf8(const std::string& bytes) {
  return bytes.empty() || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                              static_cast<int>(bytes.size()), nullptr, 0) > 0;
}

// errno for the system's last error, for the tool's messages.
void set_errno_from_system() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      errno = ENOENT;
      break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      errno = EEXIST;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      errno = EACCES;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      errno = ENOSPC;
      break;
    case ERROR_FILENAME_EXCED_RANGE:
      errno = ENAMETOOLONG;
      break;
    default:
      errno = EIO;
  }
}

// A C stream on a handle of the system; the stream owns the handle.
std::FILE* stream_of(HANDLE handle, int flags, const char* mode) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* f = _fdopen(fd, mode);
  if (f == nullptr) _close(fd);
  return f;
}

}  // namespace

// ---- paths ----------------------------------------------------------------

const char kPathSeparator = '\\';
const char kPathListSeparator = ';';

std::string default_images_directory() { return "c:\\images\\"; }

std::string absolute_path(const std::string& path) {
  std::wstring full(32768, L'\0');
  const DWORD length = GetFullPathNameW(widen(path).c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return path;
  full.resize(length);
  return narrow(full);
}

std::string environment_value(const char* name) {
  const wchar_t* value = _wgetenv(widen(name).c_str());
  return value == nullptr ? std::string() : narrow(value);
}

std::string typed_name(const std::string& typed) {
  if (is_utf8(typed)) return typed;
  // Typed in the console's code page (850 for "données" in a western
  // Windows), or written in the system's ANSI code page in a file of answers.
  return narrow(wide_of(typed, console_is_interactive() ? GetConsoleCP() : CP_ACP));
}

// ---- input files ------------------------------------------------------------

namespace {

// Only "no such file" (or no such folder on the way) means that nothing
// stands there.
FileKind failed_kind() {
  const DWORD error = GetLastError();
  set_errno_from_system();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileKind::missing : FileKind::unreadable;
}

}  // namespace

FileKind file_kind(const std::string& path) {
  if (!usable(path)) return FileKind::unreadable;
  const DWORD attributes = GetFileAttributesW(widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return failed_kind();
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0 ? FileKind::other : FileKind::regular;
}

bool can_read(const std::string& path) { return usable(path) && _waccess(widen(path).c_str(), 4) == 0; }

bool is_folder(const std::string& path) {
  if (!usable(path)) return false;
  const DWORD attributes = GetFileAttributesW(widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::FILE* open_regular_file(const std::string& path, FileKind& kind) {
  kind = file_kind(path);
  if (kind != FileKind::regular) return nullptr;
  HANDLE handle = CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    kind = failed_kind();
    return nullptr;
  }
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    kind = FileKind::other;
    CloseHandle(handle);
    return nullptr;
  }
  return stream_of(handle, _O_RDONLY, "rb");
}

std::uint64_t file_length(std::FILE* f) {
  const long long length = _filelengthi64(_fileno(f));
  return length < 0 ? 0 : static_cast<std::uint64_t>(length);
}

FileStamp file_stamp(std::FILE* f) {
  FileStamp stamp;
  BY_HANDLE_FILE_INFORMATION info;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
  if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info)) return stamp;
  stamp.length = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  stamp.changed_ns = static_cast<std::int64_t>(
      ((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime) * 100);
  stamp.device = info.dwVolumeSerialNumber;
  stamp.identity = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return stamp;
}

FileStamp path_stamp(const std::string& path) {
  FileKind kind = FileKind::missing;
  std::FILE* f = open_regular_file(path, kind);
  if (f == nullptr) return FileStamp{};
  const FileStamp stamp = file_stamp(f);
  std::fclose(f);
  return stamp;
}

bool seek_to(std::FILE* f, std::uint64_t offset) {
  return offset <= static_cast<std::uint64_t>(INT64_MAX) && _fseeki64(f, static_cast<long long>(offset), SEEK_SET) == 0;
}

bool same_file(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  if (a == b) return true;
  BY_HANDLE_FILE_INFORMATION info[2];
  const std::string* paths[2] = {&a, &b};
  for (int k = 0; k < 2; ++k) {
    HANDLE handle = CreateFileW(widen(*paths[k]).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const BOOL known = GetFileInformationByHandle(handle, &info[k]);
    CloseHandle(handle);
    if (!known) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

// ---- output files -----------------------------------------------------------

std::FILE* create_new_file(const std::string& path) {
  if (!usable(path)) return nullptr;
  HANDLE handle = CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    set_errno_from_system();
    return nullptr;
  }
  return stream_of(handle, 0, "w+b");
}

bool flush_to_disk(std::FILE* f) {
  if (std::fflush(f) != 0) return false;
  if (FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f))))) return true;
  set_errno_from_system();
  return false;
}

// NTFS keeps its folders' entries in its journal.
bool flush_folder(const std::string&) { return true; }

bool link_file(const std::string& from, const std::string& to) {
  if (!usable(from) || !usable(to)) return false;
  if (CreateHardLinkW(widen(to).c_str(), widen(from).c_str(), nullptr)) return true;
  set_errno_from_system();
  return false;
}

bool replace_file(const std::string& from, const std::string& to) {
  if (!usable(from) || !usable(to)) return false;
  if (MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  set_errno_from_system();
  return false;
}

bool create_private_folder(const std::string& path) {
  if (usable(path) && CreateDirectoryW(widen(path).c_str(), nullptr)) return true;
  set_errno_from_system();
  return false;
}

bool remove_folder(const std::string& path) {
  if (usable(path) && RemoveDirectoryW(widen(path).c_str())) return true;
  set_errno_from_system();
  return false;
}

bool remove_file(const std::string& path) {
  if (usable(path) && DeleteFileW(widen(path).c_str())) return true;
  set_errno_from_system();
  return false;
}

std::uint64_t free_space(const std::string& folder) {
  ULARGE_INTEGER available{};
  if (!usable(folder) || !GetDiskFreeSpaceExW(widen(folder.empty() ? "." : folder).c_str(), &available, nullptr, nullptr)) {
    return UINT64_MAX;
  }
  return available.QuadPart;
}

// Windows: a junction or a link (a reparse point) is never taken; the
// owner is not compared (folders of other users are not writable here).
LeftoverKind leftover_kind(const std::string& path) {
  const DWORD attributes = usable(path) ? GetFileAttributesW(widen(path).c_str()) : INVALID_FILE_ATTRIBUTES;
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return LeftoverKind::other;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? LeftoverKind::own_folder : LeftoverKind::own_file;
}

bool remove_leftover_folder(const std::string& path, std::string& left) {
  for (const std::string& name : folder_entries(path + "\\")) {
    const std::string entry = path + "\\" + name;
    if (leftover_kind(entry) == LeftoverKind::own_file) {
      remove_file(entry);
    } else if (left.empty()) {
      left = name;
    }
  }
  return left.empty() && remove_folder(path);
}

std::size_t max_file_name_length(const std::string& folder) {
  wchar_t root[MAX_PATH];
  DWORD longest = 0;
  if (usable(folder) && GetVolumePathNameW(widen(folder).c_str(), root, MAX_PATH) &&
      GetVolumeInformationW(root, nullptr, 0, nullptr, &longest, nullptr, nullptr, 0) && longest > 0) {
    return longest;
  }
  return 255;
}

long process_number() { return static_cast<long>(GetCurrentProcessId()); }

std::string executable_folder() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  const std::string program = narrow(path);
  return program.substr(0, program.find_last_of("\\/") + 1);
}

void* library_function(const std::string& path, const char* name, std::string& why) {
  HMODULE library = usable(path) ? LoadLibraryW(widen(path).c_str()) : nullptr;
  if (library == nullptr) {
    why = path + ": cannot be loaded";
    return nullptr;
  }
  void* function = reinterpret_cast<void*>(GetProcAddress(library, name));
  if (function == nullptr) why = path + " has no " + name;
  return function;
}

bool process_is_running(long number) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(number));
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  const BOOL known = GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return !known || code == STILL_ACTIVE;
}

std::vector<std::string> folder_entries(const std::string& folder) {
  std::vector<std::string> names;
  if (!usable(folder)) return names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(widen(folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = narrow(found.cFileName);
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

// ---- folder lock ------------------------------------------------------------

// A folder cannot be locked itself: runs take turns on a named mutex of the
// session, named after the folder's full path.
FolderLock::FolderLock(const std::string& folder, bool wait) : handle_(0) {
  wchar_t full[32768];
  const std::wstring wide = widen(folder);
  DWORD length = GetFullPathNameW(wide.c_str(), 32768, full, nullptr);
  if (length == 0 || length >= 32768) return;
  std::wstring key(full, length);
  while (!key.empty() && (key.back() == L'\\' || key.back() == L'/')) key.pop_back();
  CharLowerBuffW(key.data(), static_cast<DWORD>(key.size()));
  std::uint64_t hash = 1469598103934665603ull;  // FNV-1a: a mutex name may hold no backslash
  for (const wchar_t c : key) hash = (hash ^ static_cast<std::uint64_t>(c)) * 1099511628211ull;
  wchar_t name[64];
  std::swprintf(name, 64, L"Local\\mesacrop-folder-%016llx", static_cast<unsigned long long>(hash));
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
  if (mutex == nullptr) return;
  const DWORD waited = WaitForSingleObject(mutex, wait ? INFINITE : 0);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    CloseHandle(mutex);
    return;
  }
  handle_ = reinterpret_cast<std::intptr_t>(mutex);
}

bool FolderLock::held() const { return handle_ != 0; }

FolderLock::~FolderLock() {
  if (handle_ == 0) return;
  HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

// ---- interrupts ---------------------------------------------------------------

namespace {

constexpr int kSlots = 32;
constexpr std::size_t kLongestPath = 32768;
struct TemporarySlot {
  std::atomic<bool> used{false};
  wchar_t path[kLongestPath];
};
TemporarySlot temporaries[kSlots];
std::atomic<int> deferred{0};

// Runs on a thread of its own: waits while a result set is being put in
// place, removes the temporary files and ends the process as Ctrl-C does.
BOOL WINAPI on_interrupt(DWORD) {
  while (deferred.load() > 0) Sleep(1);
  for (TemporarySlot& slot : temporaries) {
    if (slot.used.load()) DeleteFileW(slot.path);
  }
  for (TemporarySlot& slot : temporaries) {
    if (slot.used.load()) RemoveDirectoryW(slot.path);
  }
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace

void clean_up_on_interrupts() { SetConsoleCtrlHandler(on_interrupt, TRUE); }

int keep_temporary(const std::string& path) {
  const std::wstring wide = widen(path);
  if (wide.size() >= kLongestPath || !usable(path)) return -1;
  for (int k = 0; k < kSlots; ++k) {
    TemporarySlot& slot = temporaries[k];
    if (slot.used.load()) continue;
    wide.copy(slot.path, wide.size());
    slot.path[wide.size()] = L'\0';
    slot.used.store(true);
    return k;
  }
  return -1;
}

void forget_temporary(int slot) {
  if (slot >= 0 && slot < kSlots) temporaries[slot].used.store(false);
}

InterruptsDeferred::InterruptsDeferred() { deferred.fetch_add(1); }

InterruptsDeferred::~InterruptsDeferred() { deferred.fetch_sub(1); }

// ---- console -----------------------------------------------------------------

bool console_is_interactive() { return _isatty(_fileno(stdin)) != 0; }

bool errors_go_to_console() { return _isatty(_fileno(stderr)) != 0; }

void prepare_console() {
  // Paths are UTF-8: a console shows them as such.
  if (_isatty(_fileno(stdout))) SetConsoleOutputCP(CP_UTF8);
}

void wait_for_key() {
  // _getch reads one key without echo and leaves the console's mode as it
  // was; keys typed ahead are the next answers.
  if (console_is_interactive() && !_kbhit()) (void)_getch();
}
