// Windows implementation of the environment layer, on the Win32 calls the
// library has always used. Files are raw bytes here: the text layer above
// writes CR LF itself (kTextModeWritesCrLf) and reads CR LF as LF.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <new>
#include <string>

#include "platform/env.h"

namespace ulo::platform {
namespace {

static_assert(sizeof(LONG) == sizeof(int32_t), "Interlocked calls work on 32-bit LONG");
static_assert(kAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY &&
                  kAttributeReadOnly == FILE_ATTRIBUTE_READONLY &&
                  kAttributeHidden == FILE_ATTRIBUTE_HIDDEN &&
                  kAttributeNormal == FILE_ATTRIBUTE_NORMAL &&
                  kAttributeReparsePoint == FILE_ATTRIBUTE_REPARSE_POINT,
              "attribute words are the system's own");

// ReadFile and WriteFile take a 32-bit count: larger requests go in pieces.
constexpr size_t kMaxTransfer = size_t{1} << 30;

int LastError() {
  return static_cast<int>(::GetLastError());
}

bool Check(BOOL result, int* error) {
  if (result) return true;
  *error = LastError();
  return false;
}

class WindowsSequentialFile final : public SequentialFile {
 public:
  explicit WindowsSequentialFile(HANDLE handle) : handle(handle) {}
  ~WindowsSequentialFile() override { ::CloseHandle(handle); }
  WindowsSequentialFile(const WindowsSequentialFile&) = delete;
  WindowsSequentialFile& operator=(const WindowsSequentialFile&) = delete;

  int64_t Read(char* buffer, size_t n, int* error) override {
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(n < kMaxTransfer ? n : kMaxTransfer);
    if (!::ReadFile(handle, buffer, want, &got, nullptr)) {
      // A pipe whose writer has gone simply ends.
      if (::GetLastError() == ERROR_BROKEN_PIPE) return 0;
      *error = LastError();
      return -1;
    }
    return got;
  }

 private:
  HANDLE handle;
};

class WindowsWritableFile final : public WritableFile {
 public:
  explicit WindowsWritableFile(HANDLE handle) : handle(handle) {}
  ~WindowsWritableFile() override {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
  WindowsWritableFile(const WindowsWritableFile&) = delete;
  WindowsWritableFile& operator=(const WindowsWritableFile&) = delete;

  bool Write(const char* data, size_t n, int* error) override {
    if (handle == INVALID_HANDLE_VALUE) {
      *error = ERROR_INVALID_HANDLE;
      return false;
    }
    while (n > 0) {
      DWORD want = static_cast<DWORD>(n < kMaxTransfer ? n : kMaxTransfer);
      DWORD written = 0;
      if (!::WriteFile(handle, data, want, &written, nullptr)) {
        *error = LastError();
        return false;
      }
      if (written == 0) {
        *error = ERROR_WRITE_FAULT;
        return false;
      }
      data += written;
      n -= written;
    }
    return true;
  }

  bool Close(int* error) override {
    if (handle == INVALID_HANDLE_VALUE) return true;
    BOOL closed = ::CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
    return Check(closed, error);
  }

 private:
  HANDLE handle;
};

class WindowsDirectoryIterator final : public DirectoryIterator {
 public:
  // `first` is the entry FindFirstFileA returned with `find`; a null handle
  // (INVALID_HANDLE_VALUE) stands for a directory without entries.
  WindowsDirectoryIterator(HANDLE find, const WIN32_FIND_DATAA& first)
      : find(find), current(first), pending(find != INVALID_HANDLE_VALUE) {}
  ~WindowsDirectoryIterator() override {
    if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
  }
  WindowsDirectoryIterator(const WindowsDirectoryIterator&) = delete;
  WindowsDirectoryIterator& operator=(const WindowsDirectoryIterator&) = delete;

  bool Next(DirectoryEntry* entry) override {
    if (!pending) {
      if (find == INVALID_HANDLE_VALUE) return false;
      if (!::FindNextFileA(find, &current)) {
        DWORD code = ::GetLastError();
        errorCode = code == ERROR_NO_MORE_FILES ? 0 : static_cast<int>(code);
        ::FindClose(find);
        find = INVALID_HANDLE_VALUE;
        return false;
      }
    }
    pending = false;
    entry->name = current.cFileName;
    entry->attributes = current.dwFileAttributes;
    return true;
  }

  int ErrorCode() const override { return errorCode; }

 private:
  HANDLE find;
  WIN32_FIND_DATAA current;
  bool pending;
  int errorCode = 0;
};

// Volume and file index of an open handle.
bool SameFileIndex(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

class WindowsFileLock final : public FileLock {
 public:
  explicit WindowsFileLock(HANDLE handle) : handle(handle) {}
  // Opened to be deleted on close (unless somebody's own file with bytes):
  // the file goes with the last handle on it, also when the process dies.
  ~WindowsFileLock() override {
    OVERLAPPED whole = {};
    ::UnlockFileEx(handle, 0, 1, 0, &whole);
    ::CloseHandle(handle);
  }
  WindowsFileLock(const WindowsFileLock&) = delete;
  WindowsFileLock& operator=(const WindowsFileLock&) = delete;

 private:
  HANDLE handle;
};

class WindowsEnv final : public Env {
 public:
  std::unique_ptr<SequentialFile> OpenForRead(const std::string& path, int* error) override {
    // Shared as the C runtime's streams share: others may read and write.
    HANDLE handle =
        ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      *error = LastError();
      return nullptr;
    }
    return std::make_unique<WindowsSequentialFile>(handle);
  }

  std::unique_ptr<WritableFile> OpenForWrite(const std::string& path, bool append,
                                             int* error) override {
    // Append-only access makes every write land at the end of the file, as a
    // stream opened with "a" does, even when another writer extends it.
    DWORD access = append ? FILE_APPEND_DATA : GENERIC_WRITE;
    HANDLE handle =
        ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      *error = LastError();
      return nullptr;
    }
    return std::make_unique<WindowsWritableFile>(handle);
  }

  std::unique_ptr<DirectoryIterator> OpenDirectory(const std::string& path, int* error) override {
    if (path.empty()) {
      *error = ERROR_PATH_NOT_FOUND;
      return nullptr;
    }
    std::string pattern = path;
    if (!IsPathSeparator(pattern.back())) pattern.push_back('\\');
    pattern += "*.*";
    WIN32_FIND_DATAA first;
    HANDLE find = ::FindFirstFileA(pattern.c_str(), &first);
    if (find == INVALID_HANDLE_VALUE) {
      DWORD code = ::GetLastError();
      // Only a directory without even "." and ".." (a drive's root) has
      // nothing to match; anything else that fails is a real failure.
      DWORD attributes = ::GetFileAttributesA(path.c_str());
      if (code == ERROR_FILE_NOT_FOUND && attributes != INVALID_FILE_ATTRIBUTES &&
          IsDirectory(attributes)) {
        return std::make_unique<WindowsDirectoryIterator>(INVALID_HANDLE_VALUE, first);
      }
      *error = static_cast<int>(code);
      return nullptr;
    }
    return std::make_unique<WindowsDirectoryIterator>(find, first);
  }

  bool GetAttributes(const std::string& path, uint32_t* attributes, int* error) override {
    // GetFileAttributesA rather than FindFirstFileA on the path: a name with
    // '*' or '?' must not report some other entry that matches it.
    DWORD found = ::GetFileAttributesA(path.c_str());
    if (found == INVALID_FILE_ATTRIBUTES) {
      *error = LastError();
      return false;
    }
    *attributes = found;
    return true;
  }

  bool CreateDir(const std::string& path, int* error) override {
    return Check(::CreateDirectoryA(path.c_str(), nullptr), error);
  }

  bool RemoveDir(const std::string& path, int* error) override {
    return Check(::RemoveDirectoryA(path.c_str()), error);
  }

  bool RemoveFile(const std::string& path, int* error) override {
    return Check(::DeleteFileA(path.c_str()), error);
  }

  bool CopyFileOver(const std::string& from, const std::string& to, int* error) override {
    return Check(::CopyFileA(from.c_str(), to.c_str(), FALSE), error);
  }

  bool Exists(const std::string& path) override {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  bool SameFile(const std::string& a, const std::string& b) override {
    BY_HANDLE_FILE_INFORMATION infoA, infoB;
    if (!Identify(a, &infoA) || !Identify(b, &infoB)) return false;
    return SameFileIndex(infoA, infoB);
  }

  std::string ErrorText(int code) override {
    char* text = nullptr;
    DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
      char fallback[48];
      std::snprintf(fallback, sizeof fallback, "Unknown error %d", code);
      return fallback;
    }
    // The system's text as it comes, its own CR LF at the end included.
    std::string result(text, length);
    ::LocalFree(text);
    return result;
  }

  LocalTime Now() override {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
  }

  void SleepMilliseconds(int milliseconds) override {
    ::Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0);
  }

  std::unique_ptr<FileLock> LockFile(const std::string& path, bool wait, int* error) override {
    // A file whose last holder has let go but that is still open elsewhere
    // waits for deletion and cannot be opened for a short while.
    constexpr int kPendingRetries = 1000;
    int pending = 0;
    for (;;) {
      // Lock files stay empty: one with bytes is somebody's own file, locked
      // as it is and left in place.
      HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      LARGE_INTEGER size;
      if (handle != INVALID_HANDLE_VALUE &&
          !(::GetFileSizeEx(handle, &size) && size.QuadPart > 0)) {
        ::CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
      }
      if (handle == INVALID_HANDLE_VALUE) {
        handle =
            ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
      }
      if (handle == INVALID_HANDLE_VALUE) {
        DWORD code = ::GetLastError();
        if (code == ERROR_ACCESS_DENIED && ++pending < kPendingRetries) {
          if (!wait) {
            *error = 0;
            return nullptr;
          }
          ::Sleep(10);
          continue;
        }
        *error = static_cast<int>(code);
        return nullptr;
      }
      OVERLAPPED whole = {};
      DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
      if (!::LockFileEx(handle, flags, 0, 1, 0, &whole)) {
        DWORD code = ::GetLastError();
        ::CloseHandle(handle);
        *error = code == ERROR_LOCK_VIOLATION ? 0 : static_cast<int>(code);
        return nullptr;
      }
      // Where the system takes a deleted name away at once, the name may
      // lead to a newer file than the one locked: the lock is ours only if
      // it leads to this one.
      BY_HANDLE_FILE_INFORMATION held, named;
      if (::GetFileInformationByHandle(handle, &held) && Identify(path, &named) &&
          SameFileIndex(held, named)) {
        return std::make_unique<WindowsFileLock>(handle);
      }
      ::CloseHandle(handle);
      ::Sleep(1);
    }
  }

 private:
  // Volume and file index of `path`, a file or a directory.
  static bool Identify(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE handle =
        ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BOOL ok = ::GetFileInformationByHandle(handle, info);
    ::CloseHandle(handle);
    return ok != FALSE;
  }
};

}  // namespace

Env* Env::Default() {
  // Never destroyed, so usable until the very end of the process; kept in
  // static storage rather than on the heap, so that a host that unloads the
  // library is left no block that nothing points to.
  alignas(WindowsEnv) static unsigned char storage[sizeof(WindowsEnv)];
  static WindowsEnv* env = new (storage) WindowsEnv;
  return env;
}

struct RecursiveLock::Impl {
  Impl() { ::InitializeCriticalSection(&section); }
  ~Impl() { ::DeleteCriticalSection(&section); }
  CRITICAL_SECTION section;
};

RecursiveLock::RecursiveLock() : impl(std::make_unique<Impl>()) {}
RecursiveLock::~RecursiveLock() = default;
void RecursiveLock::Lock() {
  ::EnterCriticalSection(&impl->section);
}
void RecursiveLock::Unlock() {
  ::LeaveCriticalSection(&impl->section);
}

bool MultiByteEqualNoCase(std::string_view a, std::string_view b) {
  // Lead bytes are those of the system's ANSI code page (none in a
  // single-byte code page). Only ASCII letters fold: command names are ASCII,
  // and folding other bytes could only make a foreign name match one (the
  // Turkish dotted capital I lowers to an ASCII 'i').
  auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
  size_t i = 0;
  while (i < a.size() && i < b.size()) {
    auto x = static_cast<unsigned char>(a[i]);
    auto y = static_cast<unsigned char>(b[i]);
    if (x >= 0x80 && ::IsDBCSLeadByteEx(CP_ACP, x) && i + 1 < a.size()) {
      // A double-byte character: both bytes must match exactly.
      if (x != y || i + 1 >= b.size() || a[i + 1] != b[i + 1]) return false;
      i += 2;
      continue;
    }
    if (lower(x) != lower(y)) return false;
    ++i;
  }
  return i == a.size() && i == b.size();
}

int32_t AtomicExchange(volatile int32_t* target, int32_t value) {
  return ::InterlockedExchange(reinterpret_cast<volatile LONG*>(target), value);
}

int32_t AtomicLoad(const volatile int32_t* target) {
  int32_t value = *target;
  ::MemoryBarrier();
  return value;
}

void AtomicStore(volatile int32_t* target, int32_t value) {
  ::InterlockedExchange(reinterpret_cast<volatile LONG*>(target), value);
}

}  // namespace ulo::platform
