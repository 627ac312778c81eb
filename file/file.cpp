// Whole-file saves through a new file renamed over the target (see file.h).
#include "file/file.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// The calls the standard library lacks: descriptors opened with exclusive
// creation, flushing to stable storage, removal from a signal handler.
#ifdef _WIN32
using native_char = wchar_t;
constexpr int write_only = _O_WRONLY | _O_BINARY;
constexpr int create_new = _O_CREAT | _O_EXCL;
constexpr int truncate_existing = _O_TRUNC;
constexpr int new_file_mode = _S_IREAD | _S_IWRITE;
constexpr int private_mode = _S_IREAD | _S_IWRITE;
constexpr std::array<int, 2> interrupt_signals = {SIGINT, SIGTERM};
int open_native(const fs::path& path, int flags, int mode) {
  return _wopen(path.c_str(), flags, mode);
}
int write_native(int fd, const std::uint8_t* data, std::size_t count) {
  return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(count, 1u << 30)));
}
int flush_native(int fd) { return _commit(fd); }
int close_native(int fd) { return _close(fd); }
void unlink_native(const native_char* path) { _wunlink(path); }
#else
using native_char = char;
constexpr int write_only = O_WRONLY | O_CLOEXEC;
constexpr int create_new = O_CREAT | O_EXCL;
constexpr int truncate_existing = O_TRUNC;
constexpr int new_file_mode = 0666;  // less the umask, as a file made by "wb"
constexpr int private_mode = 0600;   // until the target's own bits are copied
constexpr std::array<int, 3> interrupt_signals = {SIGINT, SIGTERM, SIGHUP};
// A file size limit or a closed pipe would end the run in the middle of a
// write; ignored, they make the write fail and the failure is reported.
constexpr std::array<int, 2> write_signals = {SIGXFSZ, SIGPIPE};
int open_native(const fs::path& path, int flags, int mode) {
  return ::open(path.c_str(), flags, mode);
}
int write_native(int fd, const std::uint8_t* data, std::size_t count) {
  return static_cast<int>(::write(fd, data, std::min<std::size_t>(count, 1u << 30)));
}
int flush_native(int fd) { return ::fsync(fd); }
int close_native(int fd) { return ::close(fd); }
void unlink_native(const native_char* path) { ::unlink(path); }
#endif

using signal_handler = void (*)(int);

// The new file of the save in progress, for the interrupt handler.
std::atomic<const native_char*> pending_path{nullptr};
std::atomic<int> pending_fd{-1};

// Removes the pending new file (closed first: an open file cannot be
// removed everywhere), then ends the run as the interrupt would have.
void remove_pending_and_reraise(int signal) {
  const int fd = pending_fd.exchange(-1);
  if (fd >= 0) close_native(fd);
  const native_char* path = pending_path.exchange(nullptr);
  if (path != nullptr) unlink_native(path);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// For its lifetime: interrupts remove the pending new file, and (POSIX)
// write-ending signals are ignored. A run told to ignore an interrupt
// goes on ignoring it.
class save_signals {
 public:
  save_signals() {
    for (std::size_t i = 0; i < interrupt_signals.size(); ++i) {
      interrupts_[i] = std::signal(interrupt_signals[i], remove_pending_and_reraise);
      if (interrupts_[i] == SIG_IGN) std::signal(interrupt_signals[i], SIG_IGN);
    }
#ifndef _WIN32
    for (std::size_t i = 0; i < write_signals.size(); ++i) {
      writes_[i] = std::signal(write_signals[i], SIG_IGN);
    }
#endif
  }
  ~save_signals() {
    for (std::size_t i = 0; i < interrupt_signals.size(); ++i) {
      if (interrupts_[i] != SIG_ERR) std::signal(interrupt_signals[i], interrupts_[i]);
    }
#ifndef _WIN32
    for (std::size_t i = 0; i < write_signals.size(); ++i) {
      if (writes_[i] != SIG_ERR) std::signal(write_signals[i], writes_[i]);
    }
#endif
  }
  save_signals(const save_signals&) = delete;
  save_signals& operator=(const save_signals&) = delete;

 private:
  std::array<signal_handler, interrupt_signals.size()> interrupts_{};
#ifndef _WIN32
  std::array<signal_handler, write_signals.size()> writes_{};
#endif
};

// Holds back the interrupts while a new file is created and registered, so
// that none can come between the two; releases them when it goes (POSIX;
// Windows has no such mask).
class interrupts_held {
 public:
#ifdef _WIN32
  interrupts_held() {}
  ~interrupts_held() {}
#else
  interrupts_held() {
    sigset_t interrupts;
    sigemptyset(&interrupts);
    for (int signal : interrupt_signals) sigaddset(&interrupts, signal);
    sigprocmask(SIG_BLOCK, &interrupts, &previous_);
  }
  ~interrupts_held() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_{};
#endif
  interrupts_held(const interrupts_held&) = delete;
  interrupts_held& operator=(const interrupts_held&) = delete;
};

// Prints "<what> error '<path>'\n" and returns -1.
int fail(const char* what, const std::string& path) {
  std::printf("%s error '%s'\n", what, path.c_str());
  return -1;
}

// Writes all of `data`; false when a write fails or makes no progress.
bool write_all(int fd, std::span<const std::uint8_t> data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const int n = write_native(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Writes into the existing file itself, truncated first as by "wb". Only a
// regular file is flushed to stable storage: devices and pipes refuse it.
int write_in_place(const fs::path& file, bool regular, const std::string& path,
                   std::span<const std::uint8_t> data) {
  const int fd = open_native(file, write_only | truncate_existing, 0);
  if (fd < 0) return fail("open", path);
  bool written = write_all(fd, data);
  if (written && regular) written = flush_native(fd) == 0;
  written = close_native(fd) == 0 && written;
  return written ? 0 : fail("write", path);
}

// A name for a new file in `folder`: short, so it fits wherever the
// target's name fits, and different on every call.
fs::path new_file_name(const fs::path& folder) {
  static std::atomic<unsigned> calls{0};
  static std::minstd_rand generator(
      std::random_device{}() ^
      static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
  const unsigned value = static_cast<unsigned>(generator()) ^ (calls++ << 20);
  std::array<char, 32> name{};
  std::snprintf(name.data(), name.size(), ".shapetools-%08x.tmp", value);
  return folder / name.data();
}

#ifndef _WIN32
// Makes the folder's new entry durable. Some file systems cannot flush a
// folder; the file itself is already on stable storage by then.
void flush_folder(const fs::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  if (::fsync(fd) != 0) {
    // Nothing more can be done; the rename itself has succeeded.
  }
  ::close(fd);
}
#endif

// Writes `data` to a new file beside `target` and renames it over `target`.
// An existing target in a folder that refuses new files is written in place.
int write_beside(const fs::path& target, bool existing, const std::string& path,
                 std::span<const std::uint8_t> data) {
#ifndef _WIN32
  struct stat original {};
  if (existing && ::stat(target.c_str(), &original) != 0) return fail("open", path);
#endif
  const fs::path folder = target.parent_path();
  fs::path temporary;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temporary = new_file_name(folder);
    int open_error = 0;
    {
      const interrupts_held held;
      fd = open_native(temporary, write_only | create_new, existing ? private_mode : new_file_mode);
      open_error = errno;
      if (fd >= 0) {
        pending_path = temporary.c_str();
        pending_fd = fd;
        break;
      }
    }
    if (open_error == EEXIST && attempt < 100) continue;
    if (existing && (open_error == EACCES || open_error == EPERM)) {
      return write_in_place(target, true, path, data);
    }
    return fail("open", path);
  }

  bool written = write_all(fd, data) && flush_native(fd) == 0;
#ifndef _WIN32
  if (existing) {
    if (::fchown(fd, original.st_uid, original.st_gid) != 0) {
      // Only a privileged process may give a file away; it stays ours.
    }
    // File systems without permission bits (FAT) give every file the same
    // bits and refuse to change them: only differing bits are copied.
    struct stat made {};
    written = written && ::fstat(fd, &made) == 0 &&
              ((made.st_mode & 07777) == (original.st_mode & 07777) ||
               ::fchmod(fd, original.st_mode & 07777) == 0);
  }
#endif
  pending_fd = -1;
  written = close_native(fd) == 0 && written;
  std::error_code error;
#ifdef _WIN32
  if (written && existing) {
    const fs::perms bits = fs::status(target, error).permissions();
    if (!error) fs::permissions(temporary, bits, error);
    written = !error;
  }
#endif
  if (written) {
    fs::rename(temporary, target, error);
    written = !error;
  }
  if (!written) {
    fs::remove(temporary, error);
    pending_path = nullptr;
    return fail("write", path);
  }
  pending_path = nullptr;
#ifndef _WIN32
  flush_folder(folder);
#endif
  return 0;
}

}  // namespace

fs::path link_target(const fs::path& path) {
  fs::path target = path;
  std::error_code error;
  // The system refuses longer chains than this as loops.
  for (int hops = 0; hops < 40; ++hops) {
    if (!fs::is_symlink(fs::symlink_status(target, error))) break;
    const fs::path link = fs::read_symlink(target, error);
    if (error) break;
    target = link.is_absolute() ? link : target.parent_path() / link;
  }
  return target;
}

int replace_file(const std::string& path, std::span<const std::uint8_t> data) {
  if (path.empty()) return fail("open", path);
  const save_signals signals;
  const fs::path given(path);
  std::error_code error;
  const fs::file_status status = fs::status(given, error);
  if (status.type() == fs::file_type::not_found) {
    return write_beside(link_target(given), false, path, data);
  }
  if (error || fs::is_directory(status)) return fail("open", path);
  if (!fs::is_regular_file(status)) return write_in_place(given, false, path, data);

  // The system's own resolution of every link, in the folders too; a link
  // that names no path (a descriptor of another process) is written through.
  const fs::path real = fs::canonical(given, error);
  if (error) return write_in_place(given, true, path, data);
  // A file the user may not write is not replaced either.
  const int probe = open_native(real, write_only, 0);
  if (probe < 0) return fail("open", path);
  close_native(probe);
  // Every name of a hard-linked file must see the new bytes.
  if (fs::hard_link_count(real, error) != 1) return write_in_place(real, true, path, data);
  return write_beside(real, true, path, data);
}
