// The library's only door to the operating system: files, directories,
// error texts, time, sleeping and the few synchronisation primitives the
// extension object needs. env_posix.cc and env_windows.cc implement it; no
// other code includes an OS header.
//
// OS failures are reported as the system's own error code (errno on POSIX,
// GetLastError() on Windows); ErrorText() turns a code into the system's text.
#ifndef ULO_PLATFORM_ENV_H_
#define ULO_PLATFORM_ENV_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace ulo::platform {

#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
// Text streams write a line end as CR LF, as the C runtime's text mode does.
constexpr bool kTextModeWritesCrLf = true;
#else
constexpr char kPathSeparator = '/';
constexpr bool kTextModeWritesCrLf = false;
#endif

// Whether `c` separates the parts of a path given to the system: the
// separator, and on Windows also '/', which every Win32 file call takes as one.
constexpr bool IsPathSeparator(char c) {
  return c == kPathSeparator || (kPathSeparator == '\\' && c == '/');
}

// Attribute word of a directory entry, as FindFirstFileA reports it. On POSIX
// a directory reads as exactly kAttributeDirectory and anything else as
// kAttributeNormal, and a symbolic link as what it leads to (kAttributeNormal
// when it leads nowhere) with kAttributeReparsePoint added, the bit Windows
// marks its links with. On Windows the word is the system's own: a directory
// may carry further bits (read-only, hidden, archive, not content-indexed, a
// reparse point...), so test a directory with IsDirectory(), not with ==.
constexpr uint32_t kAttributeReadOnly = 0x1;
constexpr uint32_t kAttributeHidden = 0x2;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeNormal = 0x80;
constexpr uint32_t kAttributeReparsePoint = 0x400;

// Whether an attribute word is a directory's, whatever other bits it carries.
constexpr bool IsDirectory(uint32_t attributes) {
  return (attributes & kAttributeDirectory) != 0;
}

// Whether an attribute word is a link's (a symbolic link, on Windows also a
// junction): removing it must not reach what it leads to.
constexpr bool IsLink(uint32_t attributes) {
  return (attributes & kAttributeReparsePoint) != 0;
}

// Joins `dir` and `name` with one separator, as the "%s\\%s" path pattern does
// (an empty `dir` gives the separator followed by `name`).
std::string JoinPath(std::string_view dir, std::string_view name);

// A file opened for sequential reading of raw bytes.
class SequentialFile {
 public:
  virtual ~SequentialFile() = default;
  // Reads up to `n` bytes. Returns the number read, 0 at the end of the file,
  // or -1 on a read error (then `*error` holds the code).
  virtual int64_t Read(char* buffer, size_t n, int* error) = 0;
};

// A file opened for writing raw bytes; closes itself when destroyed.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // Writes all `n` bytes or reports failure with the code in `*error`.
  virtual bool Write(const char* data, size_t n, int* error) = 0;
  // Closes the file. False when the close itself failed (data not stored).
  virtual bool Close(int* error) = 0;
};

struct DirectoryEntry {
  std::string name;     // the entry's own name, without its directory
  uint32_t attributes;  // see kAttributeDirectory and IsDirectory()
};

// Enumerates one directory, "." and ".." included where the system lists them.
class DirectoryIterator {
 public:
  virtual ~DirectoryIterator() = default;
  // Fills `*entry` with the next entry. False when the listing is over: then
  // ErrorCode() is 0 if it simply ran out of entries, else the system's code.
  virtual bool Next(DirectoryEntry* entry) = 0;
  virtual int ErrorCode() const = 0;
};

struct LocalTime {
  int year;    // calendar year, e.g. 2026
  int month;   // 1 to 12
  int day;     // 1 to 31
  int hour;    // 0 to 23
  int minute;  // 0 to 59
  int second;  // 0 to 60
};

// Recursive mutual-exclusion lock of the platform (a critical section on
// Windows). Not copyable.
class RecursiveLock {
 public:
  RecursiveLock();
  ~RecursiveLock();
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;
  void Lock();
  void Unlock();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl;
};

// An exclusive lock on a lock file, shared with other processes (flock on
// POSIX, LockFileEx on Windows). Destroying it releases the lock and removes
// the lock file; on Windows the system also removes it when the process
// dies, on POSIX the next holder does. Lock files stay empty: a file of that
// name with bytes in it is somebody's own, locked as it is and never removed.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

class ScopedLock {
 public:
  explicit ScopedLock(RecursiveLock& lock) : lock(lock) { lock.Lock(); }
  ~ScopedLock() { lock.Unlock(); }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

 private:
  RecursiveLock& lock;
};

// Atomically stores `value` in `*target` and returns the value it held.
int32_t AtomicExchange(volatile int32_t* target, int32_t value);
int32_t AtomicLoad(const volatile int32_t* target);
void AtomicStore(volatile int32_t* target, int32_t value);

// Whether two names are equal without regard to letter case, in the system's
// multibyte code page: a double-byte character (lead byte 0x81 or above)
// is one unit whose trail byte is never taken for a letter.
bool MultiByteEqualNoCase(std::string_view a, std::string_view b);

// File-system and process services. Every operation of the library goes
// through Env::Current(), so a test can put a wrapper in front of the real
// system (see EnvWrapper) to inject failures or to skip real waiting.
class Env {
 public:
  virtual ~Env() = default;

  // The real operating system.
  static Env* Default();
  // The environment in use: Default() unless a test has installed another.
  static Env* Current();

  // Opens `path` for reading; null on failure with the code in `*error`.
  virtual std::unique_ptr<SequentialFile> OpenForRead(const std::string& path, int* error) = 0;
  // Opens `path` for writing: created or emptied, or with `append` created or
  // extended at its end. Null on failure with the code in `*error`.
  virtual std::unique_ptr<WritableFile> OpenForWrite(const std::string& path, bool append,
                                                     int* error) = 0;
  // Starts listing the entries of directory `path`; null when the listing
  // cannot start (for example the directory does not exist).
  virtual std::unique_ptr<DirectoryIterator> OpenDirectory(const std::string& path, int* error) = 0;
  // The attribute word of `path` itself, a link marked as one (see
  // kAttributeDirectory). False when it cannot be found.
  virtual bool GetAttributes(const std::string& path, uint32_t* attributes, int* error) = 0;
  virtual bool CreateDir(const std::string& path, int* error) = 0;
  // Removes an empty directory, or a link that reads as a directory as a
  // link (as RemoveDirectoryA does), never what it leads to.
  virtual bool RemoveDir(const std::string& path, int* error) = 0;
  virtual bool RemoveFile(const std::string& path, int* error) = 0;
  // Copies `from` to `to` byte for byte, replacing an existing `to`.
  virtual bool CopyFileOver(const std::string& from, const std::string& to, int* error) = 0;
  // Whether `path` exists (access with mode 0).
  virtual bool Exists(const std::string& path) = 0;
  // Whether the two paths name one existing file (same device and file
  // number), whatever their spelling. False when either does not exist.
  virtual bool SameFile(const std::string& a, const std::string& b) = 0;
  // The system's text for an error code, as the system gives it (on Windows
  // FormatMessageA's text, which usually ends with its own CR LF).
  virtual std::string ErrorText(int code) = 0;
  virtual LocalTime Now() = 0;
  virtual void SleepMilliseconds(int milliseconds) = 0;
  // Takes the exclusive lock on the lock file `path`, creating the file when
  // missing. With `wait` it blocks until the lock is free; without, it
  // returns null with `*error` 0 while another holds it. Null with the
  // system's code when the file cannot be created or locked.
  virtual std::unique_ptr<FileLock> LockFile(const std::string& path, bool wait, int* error) = 0;
};

// Forwards every call to another Env; tests derive from it and override the
// calls they want to change.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target(target) {}

  std::unique_ptr<SequentialFile> OpenForRead(const std::string& path, int* error) override {
    return target->OpenForRead(path, error);
  }
  std::unique_ptr<WritableFile> OpenForWrite(const std::string& path, bool append,
                                             int* error) override {
    return target->OpenForWrite(path, append, error);
  }
  std::unique_ptr<DirectoryIterator> OpenDirectory(const std::string& path, int* error) override {
    return target->OpenDirectory(path, error);
  }
  bool GetAttributes(const std::string& path, uint32_t* attributes, int* error) override {
    return target->GetAttributes(path, attributes, error);
  }
  bool CreateDir(const std::string& path, int* error) override {
    return target->CreateDir(path, error);
  }
  bool RemoveDir(const std::string& path, int* error) override {
    return target->RemoveDir(path, error);
  }
  bool RemoveFile(const std::string& path, int* error) override {
    return target->RemoveFile(path, error);
  }
  bool CopyFileOver(const std::string& from, const std::string& to, int* error) override {
    return target->CopyFileOver(from, to, error);
  }
  bool Exists(const std::string& path) override { return target->Exists(path); }
  bool SameFile(const std::string& a, const std::string& b) override {
    return target->SameFile(a, b);
  }
  std::string ErrorText(int code) override { return target->ErrorText(code); }
  LocalTime Now() override { return target->Now(); }
  void SleepMilliseconds(int milliseconds) override { target->SleepMilliseconds(milliseconds); }
  std::unique_ptr<FileLock> LockFile(const std::string& path, bool wait, int* error) override {
    return target->LockFile(path, wait, error);
  }

 protected:
  Env* target;
};

// Installs `env` as Env::Current() for the lifetime of this object (tests
// only; not for use while library operations run on other threads).
class ScopedEnvOverride {
 public:
  explicit ScopedEnvOverride(Env* env);
  ~ScopedEnvOverride();
  ScopedEnvOverride(const ScopedEnvOverride&) = delete;
  ScopedEnvOverride& operator=(const ScopedEnvOverride&) = delete;

 private:
  Env* previous;
};

}  // namespace ulo::platform

#endif  // ULO_PLATFORM_ENV_H_
