// replace_file against every kind of target: the new bytes land in the file
// the user means, every other file keeps its bytes, and no new file is left
// behind.
#include "file/file.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <set>
#include <thread>
#include <tuple>

#include "testing/testing.h"

#ifndef _WIN32
#include <csignal>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

const bytes old_bytes = {'o', 'l', 'd'};
const bytes new_bytes = pattern_bytes(5000, 9);

#ifndef _WIN32

// The owner of the files made by make_entries: another user's where the
// tests may give files away.
const uid_t file_owner = ::geteuid() == 0 ? 65534 : ::geteuid();

// Makes the entries of a case: "name" a file of old bytes with permission
// bits 0640, "name/" a folder, "name=other" a hard link, "name->target" a
// symbolic link.
void make_entries(const fs::path& dir, const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    const auto arrow = entry.find("->");
    const auto equals = entry.find('=');
    if (arrow != std::string::npos) {
      fs::create_symlink(entry.substr(arrow + 2), dir / entry.substr(0, arrow));
    } else if (equals != std::string::npos) {
      fs::create_hard_link(dir / entry.substr(equals + 1), dir / entry.substr(0, equals));
    } else if (entry.ends_with('/')) {
      fs::create_directory(dir / entry);
    } else {
      write_file(dir / entry, old_bytes);
      ASSERT_EQ(::chmod((dir / entry).c_str(), 0640), 0);
      ASSERT_EQ(::chown((dir / entry).c_str(), file_owner, static_cast<gid_t>(-1)), 0);
    }
  }
}

TEST(file_replace, every_kind_of_target) {
  const mode_t umask_before = ::umask(022);
  const std::string long_name = std::string(251, 'n') + ".bin";  // 255 characters
  std::vector<std::string> chain;  // l0 -> l1 -> ... -> l39 -> made.bin
  for (int i = 0; i < 40; ++i) {
    chain.push_back("l" + std::to_string(i) + "->" + (i < 39 ? "l" + std::to_string(i + 1) : "made.bin"));
  }
  const struct {
    const char* what; std::vector<std::string> entries; std::string target;
    std::set<std::string> holders; const char* error;
    // target: relative to the folder; "" is the empty name
    // holders: files that must hold the new bytes
    // error: the message's first word, or none
  } cases[] = {
      {"missing file", {}, "new.bin", {"new.bin"}, nullptr},
      {"plain file", {"old.bin"}, "old.bin", {"old.bin"}, nullptr},
      {"chain of two, each relative to its own folder",
       {"sub/", "file.bin", "sub/inner->../file.bin", "outer->sub/inner"}, "outer",
       {"file.bin"}, nullptr},
      {"dangling link", {"link->made.bin"}, "link", {"made.bin"}, nullptr},
      {"dangling chain of 40 links, the most the system follows", chain, "l0", {"made.bin"}, nullptr},
      {"hard link", {"a.bin", "b.bin=a.bin"}, "a.bin", {"a.bin", "b.bin"}, nullptr},
      {"new 255-character name", {}, long_name, {long_name}, nullptr},
      {"255-character name replaced", {long_name}, long_name, {long_name}, nullptr},
      {"empty name", {"old.bin"}, "", {}, "open"}, {"folder", {"sub/"}, "sub", {}, "open"},
      {"link to a folder", {"sub/", "link->sub"}, "link", {}, "open"},
      {"missing folder", {}, "no/such.bin", {}, "open"},
      {"file used as a folder", {"old.bin"}, "old.bin/x", {}, "open"},
  };
  // Each save gives every signal back the handler it had, an ignored
  // hang-up (a run under nohup) included.
  const auto handlers = [] {
    std::vector<void (*)(int)> all;
    for (int s = 1; s < NSIG; ++s) {
      struct sigaction action {};
      ::sigaction(s, nullptr, &action);
      all.push_back(action.sa_handler);
    }
    return all;
  };
  const auto hang_up = std::signal(SIGHUP, SIG_IGN);
  const auto handlers_before = handlers();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    temp_dir dir;
    make_entries(dir.path, c.entries);
    const std::set<std::string> before = names_in(dir.path);
    const std::string target = c.target.empty() ? "" : (dir / c.target).string();
    const auto [result, output] = result_and_output([&] { return replace_file(target, new_bytes); });
    EXPECT_EQ(result, c.error ? -1 : 0);
    EXPECT_EQ(output, c.error ? std::string(c.error) + " error '" + target + "'\n" : "");
    EXPECT_EQ(handlers(), handlers_before);
    std::set<std::string> after = before;
    after.insert(c.holders.begin(), c.holders.end());
    EXPECT_EQ(names_in(dir.path), after);  // no new file left behind
    // A link replaced by a file would show up here as a file of new bytes.
    // A replaced file keeps its permission bits and owner.
    for (const std::string& name : after) {
      struct stat status {};
      if (fs::is_regular_file(fs::symlink_status(dir / name)) && before.count(name) > 0) {
        EXPECT_EQ(read_file(dir / name), c.holders.count(name) ? new_bytes : old_bytes) << name;
        ASSERT_EQ(::stat((dir / name).c_str(), &status), 0);
        EXPECT_EQ(std::pair(status.st_mode & 07777, status.st_uid), std::pair(0640u, file_owner));
      } else if (fs::is_regular_file(dir / name)) {
        // A made file gets 0666 less the umask (022), as a file opened "wb".
        EXPECT_EQ(read_file(dir / name), new_bytes) << name;
        ASSERT_EQ(::stat((dir / name).c_str(), &status), 0);
        if (before.count(name) == 0) {
          EXPECT_EQ(status.st_mode & 07777, 0644u) << name;
        }
      }
    }
  }
  std::signal(SIGHUP, hang_up);
  ::umask(umask_before);
}

TEST(file_replace, fifo_is_written_through) {
  temp_dir dir;
  const fs::path fifo = dir / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  bytes received;
  std::thread reader([&] { received = read_file(fifo); });
  EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(replace_file(fifo.string(), new_bytes), 0); }), "");
  reader.join();
  EXPECT_EQ(std::tuple(received, fs::is_fifo(fifo), names_in(dir.path)),
            std::tuple(new_bytes, true, std::set<std::string>{"pipe"}));
}

// Runs `body` in a child process and returns its exit status (-1 when it
// ended otherwise, by a signal for example).
template <typename Body>
int in_child(Body body) {
  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child == 0) ::_exit(body());
  int raw = 0;
  ::waitpid(child, &raw, 0);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Saves by an ordinary user (uid 65534, in the extra group 4242) over files
// that others use too: whoever could use a file before still can. A file
// that no new file can stand in for is written in place (its inode kept).
TEST(file_replace, everyone_keeps_their_access) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make other users' files and act as one";
  constexpr uid_t saver = 65534, other = 1234;
  constexpr gid_t shared = 4242;
  constexpr int cannot_drop_privileges = 77, cannot_mount = 78;
  // An access ACL (version 2; tag, permissions, id): the owner, user 1234
  // and the mask read-write, the group read, others nothing.
  const bytes acl = {2, 0, 0, 0, 1, 0, 6, 0, 0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 6, 0, 0xD2, 4, 0, 0,
                     4, 0, 4, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0, 6, 0, 0xFF, 0xFF, 0xFF, 0xFF,
                     0x20, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  const struct {
    const char* what; uid_t owner; fs::perms folder; bool attributes, mounted, in_place;
  } cases[] = {
      {"group-writable file of another user", other, fs::perms::all, false, false, true},
      {"the same in a sticky folder (the rename would be refused)", other, fs::perms(01777), false, false, true},
      {"own file in a folder where no new file can be made", saver, fs::perms(0555), false, false, true},
      {"own file with a user attribute and an ACL entry", saver, fs::perms::all, true, false, false},
      {"own file with another mounted over it (the rename is refused)", saver, fs::perms::all, false, true, true},
  };
  // The values of the two extended attributes a case may set.
  const auto attributes = [](const fs::path& file) {
    std::vector<std::string> values;
    for (const char* name : {"user.origin", "system.posix_acl_access"}) {
      std::array<char, 256> value{};
      const ssize_t length = ::getxattr(file.c_str(), name, value.data(), value.size());
      values.emplace_back(value.data(), static_cast<std::size_t>(std::max<ssize_t>(length, 0)));
    }
    return values;
  };
  std::string skipped;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    temp_dir dir;
    const fs::path folder = dir / "shared", target = folder / "image.xdf", mounted = dir / "mounted.xdf";
    fs::create_directory(folder);
    for (const fs::path& file : {target, mounted}) {
      write_file(file, old_bytes);
      ASSERT_EQ(::chown(file.c_str(), c.owner, shared), 0);
      ASSERT_EQ(::chmod(file.c_str(), 0664), 0);
    }
    fs::permissions(folder, c.folder);
    if (c.attributes && (::setxattr(target.c_str(), "user.origin", "scan", 4, 0) != 0 ||
                         ::setxattr(target.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)) {
      skipped += std::string(c.what) + ": no extended attributes in the temporary folder; ";
      continue;
    }
    const fs::path holder = c.mounted ? mounted : target;  // the file that gets the new bytes
    struct stat before {};
    ASSERT_EQ(::stat(holder.c_str(), &before), 0);
    const auto attributes_before = attributes(holder);
    const int status = in_child([&] {
      if (c.mounted && (::unshare(CLONE_NEWNS) != 0 ||
                        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                        ::mount(mounted.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0)) {
        return cannot_mount;
      }
      if (::setgroups(1, &shared) != 0 || ::setgid(saver) != 0 || ::setuid(saver) != 0) {
        return cannot_drop_privileges;
      }
      return replace_file(target.string(), new_bytes) == 0 ? 0 : 1;
    });
    if (status == cannot_mount || status == cannot_drop_privileges) {
      skipped += std::string(c.what) + (status == cannot_mount ? ": cannot mount here; " : ": cannot drop privileges; ");
      continue;
    }
    EXPECT_EQ(status, 0);
    struct stat after {};
    ASSERT_EQ(::stat(holder.c_str(), &after), 0);
    EXPECT_EQ(std::pair(read_file(holder), attributes(holder)), std::pair(new_bytes, attributes_before));
    EXPECT_EQ(std::tuple(after.st_uid, after.st_gid, after.st_mode, after.st_ino == before.st_ino),
              std::tuple(before.st_uid, before.st_gid, before.st_mode, c.in_place));
    EXPECT_EQ(read_file(target), c.mounted ? old_bytes : new_bytes);  // the one mounted over keeps its bytes
    EXPECT_EQ(names_in(folder), std::set<std::string>{"image.xdf"});
  }
  if (!skipped.empty()) GTEST_SKIP() << skipped;
}

// A signal that ends the run during a save (Ctrl-C, Ctrl-\\, a CPU time
// limit, a real-time signal...) takes the new file with it.
TEST(file_replace, ending_signal_leaves_no_new_file) {
  // A signal the program handles itself (a fuzzer's timer) is left to its
  // handler, and the save goes on.
  static void (*const own_handler)(int) = [](int) {};
  const std::pair<int, void (*)(int)> cases[] = {
      {SIGINT, SIG_DFL}, {SIGQUIT, SIG_DFL}, {SIGUSR1, SIG_DFL}, {SIGXCPU, SIG_DFL}, {SIGRTMIN + 3, SIG_DFL},
      {SIGALRM, own_handler}};
  for (const auto& [signal, handler] : cases) {
    SCOPED_TRACE(signal);
    temp_dir dir;
    const fs::path target = dir / "image.xdf";
    write_file(target, old_bytes);
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
      std::signal(signal, handler);  // SIG_DFL as in a program started from a terminal
      const rlimit no_core{0, 0};
      ::setrlimit(RLIMIT_CORE, &no_core);
      ::_exit(replace_file(target.string(), bytes(std::size_t{64} << 20, 1)) + 10);
    }
    // The signal once the new file is there.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int raw = 0;
    while (names_in(dir.path).size() == 1 && ::waitpid(child, &raw, WNOHANG) == 0 &&
           std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ::kill(child, signal);
    ::waitpid(child, &raw, 0);
    const bool handled = handler != SIG_DFL;
    EXPECT_TRUE(handled ? WIFEXITED(raw) && WEXITSTATUS(raw) == 10 : WIFSIGNALED(raw) && WTERMSIG(raw) == signal)
        << "the save ended first";
    EXPECT_EQ(std::pair(names_in(dir.path), read_file(target).size()),
              std::pair(std::set<std::string>{"image.xdf"}, handled ? std::size_t{64} << 20 : old_bytes.size()));
  }
}

#endif  // _WIN32

}  // namespace
