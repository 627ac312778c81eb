// Disk image files: reading one whole, finding a logical sector's bytes,
// reporting a sector that cannot be used, and saving the file back.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>

#include "disk/disk.h"
#include "file/file.h"

namespace {

using file_ptr = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

// The length of a file too long for ftell's long (2 GiB on Windows), from
// the file system; -1 when it does not know it.
std::int64_t measure_long_file(const std::string& path) {
  try {
    std::error_code error;
    const std::uintmax_t length = std::filesystem::file_size(path, error);
    if (!error) {
      return static_cast<std::int64_t>(
          std::min<std::uintmax_t>(length, std::numeric_limits<std::int64_t>::max()));
    }
  } catch (const std::bad_alloc&) {
  }
  return -1;
}

}  // namespace

int read_disk_file(std::vector<std::uint8_t>& bytes, const std::string& path) {
  bytes.clear();
  file_ptr file(open_input_file(path), &std::fclose);
  if (!file) {
    std::printf("open error '%s'\n", path.c_str());
    return -1;
  }
  if (std::fseek(file.get(), 0, SEEK_END) != 0) {
    std::printf("seek error '%s' (SEEK_END)\n", path.c_str());
    return -1;
  }
  std::int64_t size = std::ftell(file.get());
  if (size < 0) size = measure_long_file(path);
  if (size < 0) {
    std::printf("seek error '%s' (SEEK_END)\n", path.c_str());
    return -1;
  }
  if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
    std::printf("seek error '%s' (SEEK_SET)\n", path.c_str());
    return -1;
  }
  // Refused by its length before anything is allocated for it.
  if (size > std::numeric_limits<std::int32_t>::max()) {
    std::printf("memory exhaust!\n");
    return -1;
  }
  if (size > disk_file_limit) {
    std::printf("disk image too large '%s'\n", path.c_str());
    return -1;
  }
  try {
    bytes.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    std::printf("memory exhaust!\n");
    return -1;
  }
  if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    bytes.clear();
    std::printf("read error '%s'\n", path.c_str());
    return -1;
  }
  return 0;
}

int load_disk_container(disk_container& disk, const std::string& path, disk_family family) {
  disk = disk_container{};
  std::vector<std::uint8_t> bytes;
  if (read_disk_file(bytes, path) < 0) return -1;
  return open_disk_container(disk, std::move(bytes), path, family);
}

const std::uint8_t* find_sector(const disk_container& disk, std::int32_t n) {
  if (n < 0 || static_cast<std::size_t>(n) >= disk.sectors.size()) return nullptr;
  const sector_place& place = disk.sectors[static_cast<std::size_t>(n)];
  if (place.state != sector_state::present) return nullptr;
  return (disk.decoded ? disk.decoded_bytes : disk.file_bytes).data() + place.offset;
}

std::uint8_t* find_writable_sector(disk_container& disk, std::int32_t n) {
  if (disk.decoded || find_sector(disk, n) == nullptr) return nullptr;
  return disk.file_bytes.data() + disk.sectors[static_cast<std::size_t>(n)].offset;
}

void print_sector_fault(const disk_container& disk, std::int32_t n) {
  const bool held = n >= 0 && static_cast<std::size_t>(n) < disk.sectors.size();
  const sector_state state =
      held ? disk.sectors[static_cast<std::size_t>(n)].state : sector_state::absent;
  if (state == sector_state::present) return;
  const char* why = state == sector_state::wrong_size   ? "wrong size"
                    : state == sector_state::unreadable ? "unreadable"
                    : state == sector_state::duplicate  ? "duplicate"
                                                        : "absent";
  // 2HD records count from 1, DOS 3.3 sectors from 0.
  const bool hd = disk.family != disk_family::apple2;
  const int per_track = hd ? 8 : apple_track_sectors;
  std::printf("sector error '%s' track %d sector %d: %s\n", disk.path.c_str(), n / per_track,
              n % per_track + (hd ? 1 : 0), why);
}

int save_disk_container(const disk_container& disk, const std::string& path) {
  return replace_file(path, disk.file_bytes);
}

const char* name_container(container_kind kind) {
  switch (kind) {
    case container_kind::fdi:
      return "FDI";
    case container_kind::hdm:
      return "HDM";
    case container_kind::xdf:
      return "XDF";
    case container_kind::d88:
      return "D88";
    case container_kind::nfd:
      return "NFD";
    case container_kind::dim:
      return "DIM";
    case container_kind::dsk:
      return "DSK";
    case container_kind::image_2mg:
      return "2MG";
    case container_kind::nib:
      return "NIB";
    case container_kind::woz:
      return "WOZ";
  }
  return "disk";
}
