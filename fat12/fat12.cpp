// FAT12 floppy images: loading, FAT decoding, root directory lookup, reading
// and overwriting a file along its cluster chain, and saving the image.
#include "fat12/fat12.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "bitmap/bitmap.h"
#include "file/file.h"

namespace {

using file_ptr = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

// Volume layout (byte positions relative to the volume offset).
constexpr std::int64_t sector_bytes = 1024;
constexpr std::int64_t fat_start = 1024;
constexpr std::int64_t root_start = 5120;
constexpr std::int64_t root_end = 11264;
constexpr std::int64_t cluster_base = 9216;  // cluster n at 9216 + 1024 * n
constexpr std::int64_t slot_bytes = 32;

// ASCII letters compared without regard to case, over exactly `count` bytes.
bool equal_ignoring_case(const std::uint8_t* a, const char* b, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    int x = a[i];
    int y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x -= 'a' - 'A';
    if (y >= 'a' && y <= 'z') y -= 'a' - 'A';
    if (x != y) return false;
  }
  return true;
}

// Position of a cluster's 1024 bytes in image_data, or -1 when the cluster
// number is not a data cluster of this image or its bytes lie outside it.
std::int64_t locate_cluster(const disk_image& image, std::int32_t cluster) {
  if (cluster < 2 || cluster >= image.fat_count ||
      static_cast<std::size_t>(cluster) >= image.fat.size()) {
    return -1;
  }
  std::int64_t position = image.volume_offset + cluster_base + sector_bytes * cluster;
  if (position < 0 ||
      position + sector_bytes > static_cast<std::int64_t>(image.image_data.size())) {
    return -1;
  }
  return position;
}

// The lookup and size checks shared by reading and writing a file: 0 with
// the entry found, or -1 after the message.
int find_file(const disk_image& image, const std::string& name, std::int64_t length,
              bool ignore_case, dir_entry& entry) {
  std::array<char, 12> dos_name{};
  if (make_dos_filename(dos_name, name) < 0) {
    std::printf("illegal filename '%s'\n", name.c_str());
    return -1;
  }
  if (find_dir_entry(image, dos_name, ignore_case, entry) < 0) {
    std::printf("can't find '%s'\n", name.c_str());
    return -1;
  }
  if (entry.size < length) {
    std::printf("file size error '%s' %d < %d\n", name.c_str(), static_cast<int>(entry.size),
                static_cast<int>(length));
    return -1;
  }
  if (entry.size > length) {
    std::printf("file size mismatch '%s' %d != %d ... ignored\n", name.c_str(),
                static_cast<int>(entry.size), static_cast<int>(length));
  }
  return 0;
}

// Visits the clusters holding the first `length` bytes of the file in chain
// order, calling visit(cluster, image position, file position, byte count).
// At most ceil(length / 1024) clusters are visited, so a looping chain ends
// too.
template <typename Visit>
int walk_chain(const disk_image& image, const std::string& name, const dir_entry& entry,
               std::int64_t length, Visit visit) {
  std::int32_t cluster = entry.first_cluster;
  for (std::int64_t done = 0; done < length; done += sector_bytes) {
    std::int64_t position = locate_cluster(image, cluster);
    if (position < 0) {
      std::printf("fat error '%s'\n", name.c_str());
      return -1;
    }
    visit(cluster, static_cast<std::size_t>(position), static_cast<std::size_t>(done),
         static_cast<std::size_t>(std::min(length - done, sector_bytes)));
    cluster = image.fat[static_cast<std::size_t>(cluster)];
  }
  return 0;
}

// True for a directory slot that holds a file or folder in use: not free
// (0x00, 0xE5), no volume label (long-name slots included), and neither the
// "." nor the ".." entry of a folder, which name the folder itself and its
// parent. A deleted entry keeps a stale first cluster and size whose
// clusters may belong to a live file by now.
bool slot_in_use(const std::uint8_t* slot) {
  constexpr std::uint8_t volume_label = 0x08;
  if (slot[0] == 0x00 || slot[0] == 0xE5 || (slot[11] & volume_label) != 0) return false;
  return std::memcmp(slot, ".          ", 11) != 0 && std::memcmp(slot, "..         ", 11) != 0;
}

// Marks in `used` (one flag per FAT entry) the clusters held by the in-use
// entries of the root directory and of every folder reachable from it,
// other than the slot at `own_slot`: as many clusters along each chain as
// the entry's size needs, a folder's chain to its end, each as far as the
// chain stays valid. Each folder cluster is read once, so a folder met
// twice, or a folder chain that loops, ends its walk; so does a chain that
// leaves the volume.
void mark_other_chains(const disk_image& image, std::int64_t own_slot, std::vector<bool>& used) {
  constexpr std::uint8_t folder = 0x10;
  std::vector<std::int32_t> folders;  // first clusters of folders to read
  const auto mark_slot = [&](std::int64_t slot) {
    const std::uint8_t* p = image.image_data.data() + slot;
    if (slot == own_slot || !slot_in_use(p)) return;
    // No chain holds more distinct clusters than the FAT has entries.
    std::int64_t count = static_cast<std::int64_t>(used.size());
    if ((p[11] & folder) == 0) {
      count = std::min(count, (std::int64_t{read_le32(p + 28)} + sector_bytes - 1) / sector_bytes);
    } else {
      folders.push_back(read_le16(p + 26));
    }
    std::int32_t cluster = read_le16(p + 26);
    for (; count > 0 && locate_cluster(image, cluster) >= 0; --count) {
      used[static_cast<std::size_t>(cluster)] = true;
      cluster = image.fat[static_cast<std::size_t>(cluster)];
    }
  };

  const std::int64_t end = std::min<std::int64_t>(
      image.volume_offset + root_end, static_cast<std::int64_t>(image.image_data.size()));
  for (std::int64_t slot = image.volume_offset + root_start; slot >= 0 && slot + slot_bytes <= end;
       slot += slot_bytes) {
    mark_slot(slot);
  }
  std::vector<bool> read(image.fat.size(), false);  // folder clusters read
  while (!folders.empty()) {
    std::int32_t cluster = folders.back();
    folders.pop_back();
    for (std::int64_t position = locate_cluster(image, cluster);
         position >= 0 && !read[static_cast<std::size_t>(cluster)];
         position = locate_cluster(image, cluster)) {
      read[static_cast<std::size_t>(cluster)] = true;
      for (std::int64_t slot = position; slot < position + sector_bytes; slot += slot_bytes) {
        mark_slot(slot);
      }
      cluster = image.fat[static_cast<std::size_t>(cluster)];
    }
  }
}

// Whether an image file of `size` bytes can be held: the record counts bytes
// in 32 bits, and the system area (boot sector, both FATs, root directory)
// must be there. 0, or -1 after the message.
int check_image_size(std::int64_t size, const std::string& path, std::int32_t volume_offset) {
  if (size > std::numeric_limits<std::int32_t>::max()) {
    std::printf("memory exhaust!\n");
    return -1;
  }
  if (size < std::int64_t{volume_offset} + root_end) {
    std::printf("disk image too small '%s'\n", path.c_str());
    return -1;
  }
  return 0;
}

}  // namespace

int load_disk_image(disk_image& image, const std::string& path, std::int32_t volume_offset) {
  image = disk_image{};

  file_ptr file(open_input_file(path), &std::fclose);
  if (!file) {
    std::printf("open error '%s'\n", path.c_str());
    return -1;
  }
  if (std::fseek(file.get(), 0, SEEK_END) != 0) {
    std::printf("seek error '%s' (SEEK_END)\n", path.c_str());
    return -1;
  }
  long size = std::ftell(file.get());
  if (size < 0) {
    std::printf("seek error '%s' (SEEK_END)\n", path.c_str());
    return -1;
  }
  if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
    std::printf("seek error '%s' (SEEK_SET)\n", path.c_str());
    return -1;
  }
  // Refused by its length before anything is allocated for it.
  if (check_image_size(size, path, volume_offset) < 0) return -1;
  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    std::printf("memory exhaust!\n");
    return -1;
  }
  if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    std::printf("read error '%s'\n", path.c_str());
    return -1;
  }
  file.reset();
  return decode_disk_image(image, std::move(bytes), path, volume_offset);
}

int decode_disk_image(disk_image& image, std::vector<std::uint8_t> bytes, const std::string& path,
                      std::int32_t volume_offset) {
  image = disk_image{};
  if (check_image_size(static_cast<std::int64_t>(bytes.size()), path, volume_offset) < 0) {
    return -1;
  }
  image.volume_offset = volume_offset;
  image.image_size = static_cast<std::int32_t>(bytes.size());
  image.image_data = std::move(bytes);
  if (decode_fat(image.image_data, volume_offset, image.fat) < 0) {
    std::printf("can't get fat '%s' offset=%08X\n", path.c_str(),
                static_cast<unsigned>(volume_offset));
    free_disk_image(image);
    return -1;
  }
  image.fat_count = static_cast<std::int32_t>(image.fat.size());
  return 0;
}

int decode_fat(std::span<const std::uint8_t> image_data, std::int32_t volume_offset,
               std::vector<std::int32_t>& fat) {
  fat.clear();
  std::int64_t count =
      (static_cast<std::int64_t>(image_data.size()) - volume_offset) / sector_bytes;
  if (count < 0) {
    std::printf("memory exhaust!");
    return -1;
  }
  try {
    fat.assign(static_cast<std::size_t>(count), 0);
  } catch (const std::bad_alloc&) {
    std::printf("memory exhaust!");
    return -1;
  }
  // Bytes outside the image read as 0. With count derived from the image
  // length this never happens: the table needs 1.5 bytes per entry.
  auto byte_at = [&](std::int64_t position) -> std::uint32_t {
    if (position < 0 || position >= static_cast<std::int64_t>(image_data.size())) return 0;
    return image_data[static_cast<std::size_t>(position)];
  };
  std::int64_t group = static_cast<std::int64_t>(volume_offset) + fat_start;
  for (std::int64_t i = 0; i < count; i += 2, group += 3) {
    std::uint32_t v = byte_at(group) | byte_at(group + 1) << 8 | byte_at(group + 2) << 16;
    fat[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(v & 0xFFF);
    if (i + 1 < count) fat[static_cast<std::size_t>(i + 1)] = static_cast<std::int32_t>(v >> 12);
  }
  return 0;
}

int make_dos_filename(std::array<char, 12>& out, const std::string& name) {
  std::size_t n = 0;
  std::size_t i = 0;
  while (i < 8 && n < name.size() && name[n] != '.') out[i++] = name[n++];
  while (i < 8) out[i++] = ' ';
  if (n < name.size() && name[n] == '.') {
    ++n;
    while (i < 11 && n < name.size()) out[i++] = name[n++];
  }
  while (i < 11) out[i++] = ' ';
  out[11] = '\0';
  return n == name.size() ? 0 : -1;
}

int find_dir_entry(const disk_image& image, const std::array<char, 12>& dos_name, bool ignore_case,
                   dir_entry& entry) {
  const std::int64_t end = std::min<std::int64_t>(
      image.volume_offset + root_end, static_cast<std::int64_t>(image.image_data.size()));
  for (std::int64_t slot = image.volume_offset + root_start; slot >= 0 && slot + slot_bytes <= end;
       slot += slot_bytes) {
    const std::uint8_t* p = image.image_data.data() + slot;
    bool match = ignore_case ? equal_ignoring_case(p, dos_name.data(), 11)
                             : std::memcmp(p, dos_name.data(), 11) == 0;
    if (match) {
      entry.slot_offset = static_cast<std::int32_t>(slot);
      entry.first_cluster = read_le16(p + 26);
      entry.size = read_le32(p + 28);
      return 0;
    }
  }
  return -1;
}

int read_image_file(const disk_image& image, const std::string& name,
                    std::span<std::uint8_t> buffer, bool ignore_case) {
  dir_entry entry;
  const auto length = static_cast<std::int64_t>(buffer.size());
  if (find_file(image, name, length, ignore_case, entry) < 0) return -1;
  return walk_chain(image, name, entry, length,
                    [&](std::int32_t, std::size_t position, std::size_t offset, std::size_t count) {
                      std::memcpy(buffer.data() + offset, image.image_data.data() + position,
                                  count);
                    });
}

int write_image_file(disk_image& image, const std::string& name, std::span<const std::uint8_t> data,
                     bool ignore_case) {
  dir_entry entry;
  const auto length = static_cast<std::int64_t>(data.size());
  if (find_file(image, name, length, ignore_case, entry) < 0) return -1;
  // The whole chain is walked before anything is written: a cluster that
  // comes twice would take later bytes over earlier ones, and one that
  // belongs to another file would destroy that file.
  std::vector<bool> used(image.fat.size(), false);
  mark_other_chains(image, entry.slot_offset, used);
  bool shared = false;
  if (walk_chain(image, name, entry, length,
                 [&](std::int32_t cluster, std::size_t, std::size_t, std::size_t) {
                   shared = shared || used[static_cast<std::size_t>(cluster)];
                   used[static_cast<std::size_t>(cluster)] = true;
                 }) < 0) {
    return -1;
  }
  if (shared) {
    std::printf("fat error '%s'\n", name.c_str());
    return -1;
  }
  return walk_chain(image, name, entry, length,
                    [&](std::int32_t, std::size_t position, std::size_t offset, std::size_t count) {
                      std::memcpy(image.image_data.data() + position, data.data() + offset, count);
                    });
}

// Every output goes through the one safe save.
int save_disk_image(const disk_image& image, const std::string& path) {
  return replace_file(path, image.image_data);
}

void free_disk_image(disk_image& image) { image = disk_image{}; }
