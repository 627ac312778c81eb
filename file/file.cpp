// Whole-file saves through a new file renamed over the target (see file.h).
#include "file/file.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <new>
#include <random>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/xattr.h>
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

// The signals whose default action ends the run and that a program can
// catch (the real-time signals follow, where there are any). Each removes
// the new file of a save in progress before the run ends.
// clang-format off
constexpr int ending_signals[] = {
    SIGINT, SIGILL, SIGABRT, SIGFPE, SIGSEGV, SIGTERM,
#ifndef _WIN32
    SIGHUP, SIGQUIT, SIGTRAP, SIGBUS, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU, SIGVTALRM, SIGPROF,
    SIGSYS,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#if defined(SIGIO)
    SIGIO,
#elif defined(SIGPOLL)
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGBREAK
    SIGBREAK,  // Ctrl-Break on Windows
#endif
};
// clang-format on

// Calls `each` with every signal a save handles: the table, then the
// real-time signals.
template <typename Each>
void for_each_ending_signal(Each each) {
  for (int signal : ending_signals) each(signal);
#if defined(SIGRTMIN) && defined(SIGRTMAX)
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) each(signal);
#endif
}

// The new file of the save in progress, for the signal handler.
std::atomic<const native_char*> pending_path{nullptr};
std::atomic<int> pending_fd{-1};

// Removes the pending new file (closed first: an open file cannot be
// removed everywhere), then ends the run as the signal would have.
void remove_pending_and_reraise(int signal) {
  const int fd = pending_fd.exchange(-1);
  if (fd >= 0) close_native(fd);
  const native_char* path = pending_path.exchange(nullptr);
  if (path != nullptr) unlink_native(path);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// For its lifetime: every ending signal still at its default action removes
// the pending new file, and (POSIX) write-ending signals are ignored. A run
// told to ignore a signal goes on ignoring it, and a handler the program
// already has (a fuzzer's timer, a sanitizer's) stays in charge of its
// signal; every handler is given back as it was.
class save_signals {
 public:
#ifdef _WIN32
  save_signals() {
    for_each_ending_signal([this](int signal) {
      const auto previous = std::signal(signal, remove_pending_and_reraise);
      previous_[static_cast<std::size_t>(signal)] = previous;
      if (previous != SIG_DFL && previous != SIG_ERR) std::signal(signal, previous);
    });
  }
  ~save_signals() {
    for_each_ending_signal([this](int signal) {
      const auto previous = previous_[static_cast<std::size_t>(signal)];
      if (previous != SIG_ERR) std::signal(signal, previous);
    });
  }
#else
  save_signals() {
    for_each_ending_signal([this](int signal) {
      struct sigaction current {};
      if (::sigaction(signal, nullptr, &current) != 0) return;
      if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) return;
      struct sigaction action {};
      action.sa_handler = remove_pending_and_reraise;
      sigemptyset(&action.sa_mask);
      install(signal, action);
    });
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (int signal : write_signals) install(signal, ignore);
  }
  ~save_signals() {
    for (std::size_t signal = 0; signal < changed_.size(); ++signal) {
      if (changed_[signal]) ::sigaction(static_cast<int>(signal), &previous_[signal], nullptr);
    }
  }
#endif
  save_signals(const save_signals&) = delete;
  save_signals& operator=(const save_signals&) = delete;

 private:
#ifdef _WIN32
  std::array<void (*)(int), NSIG> previous_{};
#else
  // Sets the action of `signal`, keeping the one it replaces.
  void install(int signal, const struct sigaction& action) {
    const auto index = static_cast<std::size_t>(signal);
    if (index < changed_.size() && ::sigaction(signal, &action, &previous_[index]) == 0) {
      changed_[index] = true;
    }
  }
  std::array<struct sigaction, NSIG> previous_{};
  std::array<bool, NSIG> changed_{};
#endif
};

// Holds back the ending signals while a new file is created and registered,
// so that none can come between the two; releases them when it goes
// (POSIX; Windows has no such mask).
class signals_held {
 public:
#ifdef _WIN32
  signals_held() {}
  ~signals_held() {}
#else
  signals_held() {
    sigset_t held;
    sigemptyset(&held);
    for_each_ending_signal([&held](int signal) { sigaddset(&held, signal); });
    sigprocmask(SIG_BLOCK, &held, &previous_);
  }
  ~signals_held() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_{};
#endif
  signals_held(const signals_held&) = delete;
  signals_held& operator=(const signals_held&) = delete;
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

// Gives the new file the owner and the group of the target, each where it
// differs. False when either cannot be given: only a privileged process may
// give a file away, and only to a group its user belongs to.
bool copy_owner(int fd, const struct stat& original) {
  struct stat made {};
  if (::fstat(fd, &made) != 0) return false;
  if (made.st_uid != original.st_uid &&
      ::fchown(fd, original.st_uid, static_cast<gid_t>(-1)) != 0) {
    return false;
  }
  return made.st_gid == original.st_gid ||
         ::fchown(fd, static_cast<uid_t>(-1), original.st_gid) == 0;
}

// Gives the new file the permission bits of the target. File systems
// without permission bits (FAT) give every file the same bits and refuse to
// change them: only differing bits are copied.
bool copy_mode(int fd, const struct stat& original) {
  struct stat made {};
  return ::fstat(fd, &made) == 0 && ((made.st_mode & 07777) == (original.st_mode & 07777) ||
                                     ::fchmod(fd, original.st_mode & 07777) == 0);
}
#endif

#ifdef __linux__
// Fills `text` by `get(buffer, size)`, a call of the listxattr / getxattr
// kind that answers the size needed when given no buffer. False when the
// call fails (errno tells why).
template <typename Get>
bool read_attribute_text(Get get, std::string& text) {
  // The value may grow between the two calls: ask again then.
  for (int attempt = 0; attempt < 8; ++attempt) {
    const ssize_t size = get(nullptr, 0);
    if (size < 0) return false;
    text.assign(static_cast<std::size_t>(size), '\0');
    const ssize_t got = get(text.data(), text.size());
    if (got >= 0) {
      text.resize(static_cast<std::size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;
  }
  return false;
}

// The extended attribute names of a file, from a listxattr-kind call: each
// name ends in a NUL. None on a file system without extended attributes.
template <typename List>
bool attribute_names(List list, std::vector<std::string>& names) {
  std::string text;
  if (!read_attribute_text(list, text)) return errno == ENOTSUP;
  names.clear();
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\0', start), text.size());
    names.emplace_back(text, start, end - start);
    start = end + 1;
  }
  return true;
}

// Gives the new file exactly the extended attributes of the target: the
// user's own (setfattr), the ACLs (system.posix_acl_*) and any other the
// user may read and set. False when that cannot be done.
bool copy_extended_attributes(const fs::path& target, int fd) {
  std::vector<std::string> wanted;
  std::vector<std::string> present;
  if (!attribute_names([&](char* buffer, std::size_t size) {
        return ::listxattr(target.c_str(), buffer, size);
      }, wanted) ||
      !attribute_names([&](char* buffer, std::size_t size) {
        return ::flistxattr(fd, buffer, size);
      }, present)) {
    return false;
  }
  // A folder's default ACL gives a new file an ACL the target may lack.
  for (const std::string& name : present) {
    if (std::find(wanted.begin(), wanted.end(), name) == wanted.end() &&
        ::fremovexattr(fd, name.c_str()) != 0) {
      return false;
    }
  }
  for (const std::string& name : wanted) {
    std::string value;
    std::string made;
    if (!read_attribute_text([&](char* buffer, std::size_t size) {
          return ::getxattr(target.c_str(), name.c_str(), buffer, size);
        }, value)) {
      return false;
    }
    // Attributes the system gives every new file alike (a security label)
    // may be beyond the user's power to set: equal ones are left alone.
    if (read_attribute_text([&](char* buffer, std::size_t size) {
          return ::fgetxattr(fd, name.c_str(), buffer, size);
        }, made) && made == value) {
      continue;
    }
    if (::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0) return false;
  }
  return true;
}
#elif !defined(_WIN32)
// Extended attributes are copied on Linux only.
bool copy_extended_attributes(const fs::path&, int) { return true; }
#endif

// The new file of a save: created exclusively beside the target under a
// fresh name and registered for the signal handler; closed and removed
// again unless it was renamed over the target.
class new_file {
 public:
  new_file() = default;
  ~new_file() { discard(); }
  new_file(const new_file&) = delete;
  new_file& operator=(const new_file&) = delete;

  // Creates the file in `folder`. 0, or the errno of the failed creation.
  int create(const fs::path& folder, int mode) {
    for (int attempt = 0;; ++attempt) {
      path_ = new_file_name(folder);
      const signals_held held;
      fd_ = open_native(path_, write_only | create_new, mode);
      if (fd_ >= 0) {
        pending_path = path_.c_str();
        pending_fd = fd_;
        return 0;
      }
      const int error = errno;
      if (error != EEXIST || attempt >= 100) {
        path_.clear();
        return error;
      }
    }
  }
  int fd() const { return fd_; }
  const fs::path& path() const { return path_; }
  // Closes the file; false when the close fails.
  bool close() {
    pending_fd = -1;
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || close_native(fd) == 0;
  }
  // The file is now the target: nothing is left to remove.
  void keep() {
    pending_path = nullptr;
    path_.clear();
  }
  // Closes and removes the file, if there is one.
  void discard() {
    close();
    if (path_.empty()) return;
    pending_path = nullptr;
    unlink_native(path_.c_str());
    path_.clear();
  }

 private:
  fs::path path_;
  int fd_ = -1;
};

#ifndef _WIN32
// True for the errors of a rename refused although the target is writable:
// a sticky folder and a target owned by someone else (EPERM, EACCES), a
// file mounted over the target (EBUSY) or from another file system (EXDEV).
bool rename_refused(const std::error_code& error) {
  return error == std::errc::operation_not_permitted || error == std::errc::permission_denied ||
         error == std::errc::device_or_resource_busy || error == std::errc::cross_device_link;
}
#endif

// Writes `data` to a new file beside `target` and renames it over `target`.
// An existing target that no new file can stand in for (a folder that
// refuses new files; an owner, group or attributes the new file cannot
// get; a rename refused) is written in place.
int write_beside(const fs::path& target, bool existing, const std::string& path,
                 std::span<const std::uint8_t> data) {
#ifndef _WIN32
  struct stat original {};
  if (existing && ::stat(target.c_str(), &original) != 0) return fail("open", path);
#endif
  const fs::path folder = target.parent_path();
  new_file file;
  if (const int error = file.create(folder, existing ? private_mode : new_file_mode); error != 0) {
    if (existing && (error == EACCES || error == EPERM)) {
      return write_in_place(target, true, path, data);
    }
    return fail("open", path);
  }
#ifndef _WIN32
  if (existing && (!copy_owner(file.fd(), original) ||
                   !copy_extended_attributes(target, file.fd()))) {
    file.discard();
    return write_in_place(target, true, path, data);
  }
#endif
  bool written = write_all(file.fd(), data);
#ifndef _WIN32
  written = written && (!existing || copy_mode(file.fd(), original));
#endif
  written = written && flush_native(file.fd()) == 0;
  written = file.close() && written;
  std::error_code error;
#ifdef _WIN32
  if (written && existing) {
    const fs::perms bits = fs::status(target, error).permissions();
    if (!error) fs::permissions(file.path(), bits, error);
    written = !error;
  }
#endif
  if (!written) return fail("write", path);
  fs::rename(file.path(), target, error);
  if (error) {
    file.discard();
#ifndef _WIN32
    if (existing && rename_refused(error)) return write_in_place(target, true, path, data);
#endif
    return fail("write", path);
  }
  file.keep();
#ifndef _WIN32
  flush_folder(folder);
#endif
  return 0;
}

// replace_file without the guard against a failed allocation.
int replace_file_unguarded(const std::string& path, std::span<const std::uint8_t> data) {
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
  try {
    return replace_file_unguarded(path, data);
  } catch (const std::bad_alloc&) {
    // The paths and attribute lists are all it allocates; the new file, if
    // any, is gone by now.
    return fail("write", path);
  }
}

std::FILE* open_input_file(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
#ifndef _WIN32
  // Windows opens no folder as a file; POSIX systems may.
  struct stat status {};
  if (file != nullptr && ::fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
#endif
  return file;
}

std::optional<std::uint64_t> block_device_number(const std::string& path) {
#ifdef _WIN32
  (void)path;
  return std::nullopt;
#else
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || !S_ISBLK(status.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(status.st_rdev);
#endif
}
