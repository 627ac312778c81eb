// FAT12 volumes: loading through the disk library, FAT decoding, root
// directory lookup, reading and overwriting a file along its cluster chain,
// and saving the image file.
#include "fat12/fat12.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "bitmap/bitmap.h"

namespace {

// Volume layout (byte positions in the volume, sectors of 1024 bytes).
constexpr std::int64_t sector_bytes = 1024;
constexpr std::int32_t fat_sectors[] = {1, 2};
constexpr std::int64_t fat_start = 1024;
constexpr std::int32_t root_first_sector = 5;
constexpr std::int32_t root_sectors = 6;
constexpr std::int32_t system_sectors = 11;  // boot sector, two FATs, root directory
constexpr std::int32_t cluster_sector_base = 9;  // cluster n in sector n + 9
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

// Whether the cluster number names a data cluster of this volume, one
// whose sector the volume has (the container may still lack it).
bool is_data_cluster(const disk_image& image, std::int32_t cluster) {
  return cluster >= 2 && cluster < image.fat_count &&
         static_cast<std::size_t>(cluster) < image.fat.size() &&
         static_cast<std::size_t>(cluster) + cluster_sector_base < image.container.sectors.size();
}

// The 1024 bytes of a cluster, or null when the cluster number is not a
// data cluster of this volume or the container lacks its sector.
const std::uint8_t* find_cluster(const disk_image& image, std::int32_t cluster) {
  if (!is_data_cluster(image, cluster)) return nullptr;
  return find_sector(image.container, cluster + cluster_sector_base);
}

// Calls visit(slot bytes, volume position) for each of the 192 root
// directory slots in order, skipping those of a missing sector; stops when
// visit returns true.
template <typename Visit>
void visit_root_slots(const disk_image& image, Visit visit) {
  for (std::int32_t n = root_first_sector; n < root_first_sector + root_sectors; ++n) {
    const std::uint8_t* sector = find_sector(image.container, n);
    if (sector == nullptr) continue;
    for (std::int64_t at = 0; at < sector_bytes; at += slot_bytes) {
      if (visit(sector + at, n * sector_bytes + at)) return;
    }
  }
}

// The lookup and size checks shared by reading and writing a file: 0 with
// the entry found, or -1 after the message (when the name is not found,
// after the lines of the root directory sectors that could not be searched).
int find_file(const disk_image& image, const std::string& name, std::int64_t length,
              bool ignore_case, dir_entry& entry) {
  std::array<char, 12> dos_name{};
  if (make_dos_filename(dos_name, name) < 0) {
    std::printf("illegal filename '%s'\n", name.c_str());
    return -1;
  }
  if (find_dir_entry(image, dos_name, ignore_case, entry) < 0) {
    for (std::int32_t n = root_first_sector; n < root_first_sector + root_sectors; ++n) {
      if (n < image.fat_count && find_sector(image.container, n) == nullptr) {
        print_sector_fault(image.container, n);
      }
    }
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
// order, calling visit(cluster, its bytes, file position, byte count) with
// the bytes `find` gives for its sector. At most ceil(length / 1024)
// clusters are visited, so a looping chain ends too. A cluster number
// outside the volume prints "fat error '%s'\n", a sector `find` gives no
// bytes for the container's line for it.
template <typename Find, typename Visit>
int walk_chain(const disk_image& image, const std::string& name, const dir_entry& entry,
               std::int64_t length, Find find, Visit visit) {
  std::int32_t cluster = entry.first_cluster;
  for (std::int64_t done = 0; done < length; done += sector_bytes) {
    if (!is_data_cluster(image, cluster)) {
      std::printf("fat error '%s'\n", name.c_str());
      return -1;
    }
    const auto bytes = find(cluster + cluster_sector_base);
    if (bytes == nullptr) {
      print_sector_fault(image.container, cluster + cluster_sector_base);
      return -1;
    }
    visit(cluster, bytes, static_cast<std::size_t>(done),
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
// chain stays within the volume. Each folder cluster is read once, so a
// folder met twice, or a folder chain that loops, ends its walk; so does a
// chain that leaves the volume, and a folder cluster the container lacks.
void mark_other_chains(const disk_image& image, std::int64_t own_slot, std::vector<bool>& used) {
  constexpr std::uint8_t folder = 0x10;
  std::vector<std::int32_t> folders;  // first clusters of folders to read
  const auto mark_slot = [&](const std::uint8_t* p, std::int64_t slot) {
    if (slot == own_slot || !slot_in_use(p)) return;
    // No chain holds more distinct clusters than the FAT has entries.
    std::int64_t count = static_cast<std::int64_t>(used.size());
    if ((p[11] & folder) == 0) {
      count = std::min(count, (std::int64_t{read_le32(p + 28)} + sector_bytes - 1) / sector_bytes);
    } else {
      folders.push_back(read_le16(p + 26));
    }
    std::int32_t cluster = read_le16(p + 26);
    for (; count > 0 && is_data_cluster(image, cluster); --count) {
      used[static_cast<std::size_t>(cluster)] = true;
      cluster = image.fat[static_cast<std::size_t>(cluster)];
    }
  };

  visit_root_slots(image, [&](const std::uint8_t* p, std::int64_t slot) {
    mark_slot(p, slot);
    return false;
  });
  std::vector<bool> read(image.fat.size(), false);  // folder clusters read
  while (!folders.empty()) {
    std::int32_t cluster = folders.back();
    folders.pop_back();
    for (const std::uint8_t* data = find_cluster(image, cluster);
         data != nullptr && !read[static_cast<std::size_t>(cluster)];
         data = find_cluster(image, cluster)) {
      read[static_cast<std::size_t>(cluster)] = true;
      const std::int64_t position = (cluster + cluster_sector_base) * sector_bytes;
      for (std::int64_t at = 0; at < sector_bytes; at += slot_bytes) {
        mark_slot(data + at, position + at);
      }
      cluster = image.fat[static_cast<std::size_t>(cluster)];
    }
  }
}

// Whether the file's FDI view holds no `name` in its root directory: then a
// PC-98 file of the HDM's length is the bare volume.
bool lacks_file(const disk_image& image, const std::string& name) {
  std::array<char, 12> dos_name{};
  dir_entry entry;
  return make_dos_filename(dos_name, name) == 0 &&
         find_dir_entry(image, dos_name, true, entry) < 0;
}

// Decodes the FAT of the container's volume into the record. 0, or -1 after
// the message.
int decode_volume(disk_image& image, const std::string& path) {
  image.fat.clear();
  image.fat_count = 0;
  if (image.container.sectors.size() < system_sectors) {
    std::printf("disk image too small '%s'\n", path.c_str());
    return -1;
  }
  for (std::int32_t n : fat_sectors) {
    if (find_sector(image.container, n) == nullptr) {
      print_sector_fault(image.container, n);
      return -1;
    }
  }
  if (decode_fat(image.container, image.fat) < 0) {
    std::printf("can't get fat '%s' offset=%08X\n", path.c_str(),
                static_cast<unsigned>(image.container.data_offset));
    return -1;
  }
  image.fat_count = static_cast<std::int32_t>(image.fat.size());
  return 0;
}

}  // namespace

int load_disk_image(disk_image& image, const std::string& path, disk_family family) {
  image = disk_image{};
  std::vector<std::uint8_t> bytes;
  if (read_disk_file(bytes, path) < 0) return -1;
  return decode_disk_image(image, std::move(bytes), path, family);
}

int decode_disk_image(disk_image& image, std::vector<std::uint8_t> bytes, const std::string& path,
                      disk_family family) {
  image = disk_image{};
  if (open_disk_container(image.container, std::move(bytes), path, family) < 0 ||
      decode_volume(image, path) < 0) {
    free_disk_image(image);
    return -1;
  }
  return 0;
}

int decode_fat(const disk_container& container, std::vector<std::int32_t>& fat) {
  fat.clear();
  const std::size_t count = container.sectors.size();
  try {
    fat.assign(count, 0);
  } catch (const std::bad_alloc&) {
    std::printf("memory exhaust!");
    return -1;
  }
  // The volume bytes the table is read from, sector by sector: 1.5 bytes an
  // entry from byte 1024 on, as far as the volume goes.
  const std::size_t needed = (count + 1) / 2 * 3;
  std::vector<std::uint8_t> table;
  try {
    table.assign(needed, 0);
  } catch (const std::bad_alloc&) {
    std::printf("memory exhaust!");
    return -1;
  }
  for (std::size_t done = 0; done < needed; done += sector_bytes) {
    const auto n = static_cast<std::int32_t>((fat_start + static_cast<std::int64_t>(done)) / sector_bytes);
    if (const std::uint8_t* sector = find_sector(container, n)) {
      std::memcpy(table.data() + done, sector, std::min<std::size_t>(sector_bytes, needed - done));
    }
  }
  for (std::size_t i = 0, group = 0; i < count; i += 2, group += 3) {
    const std::uint32_t v = table[group] | std::uint32_t{table[group + 1]} << 8 |
                            std::uint32_t{table[group + 2]} << 16;
    fat[i] = static_cast<std::int32_t>(v & 0xFFF);
    if (i + 1 < count) fat[i + 1] = static_cast<std::int32_t>(v >> 12);
  }
  return 0;
}

int load_shape_file(disk_image& image, const std::string& path, disk_family family,
                    const std::string& name, std::span<std::uint8_t> buffer) {
  if (load_disk_image(image, path, family) < 0) {
    std::printf("read disk image error %s\n", path.c_str());
    return -1;
  }
  if (image.container.kind == container_kind::fdi &&
      image.container.file_bytes.size() == hdm_file_bytes && lacks_file(image, name)) {
    map_plain_volume(image.container, container_kind::hdm);
    if (decode_volume(image, path) < 0) {
      std::printf("read disk image error %s\n", path.c_str());
      return -1;
    }
  }
  if (read_image_file(image, name, buffer, true) < 0) {
    std::printf("read disk image error %s/%s\n", path.c_str(), name.c_str());
    return -1;
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
  bool found = false;
  visit_root_slots(image, [&](const std::uint8_t* p, std::int64_t slot) {
    found = ignore_case ? equal_ignoring_case(p, dos_name.data(), 11)
                        : std::memcmp(p, dos_name.data(), 11) == 0;
    if (found) {
      entry.slot_offset = static_cast<std::int32_t>(slot);
      entry.first_cluster = read_le16(p + 26);
      entry.size = read_le32(p + 28);
    }
    return found;
  });
  return found ? 0 : -1;
}

int read_image_file(const disk_image& image, const std::string& name,
                    std::span<std::uint8_t> buffer, bool ignore_case) {
  dir_entry entry;
  const auto length = static_cast<std::int64_t>(buffer.size());
  if (find_file(image, name, length, ignore_case, entry) < 0) return -1;
  return walk_chain(
      image, name, entry, length, [&](std::int32_t n) { return find_sector(image.container, n); },
      [&](std::int32_t, const std::uint8_t* bytes, std::size_t offset, std::size_t count) {
        std::memcpy(buffer.data() + offset, bytes, count);
      });
}

int write_image_file(disk_image& image, const std::string& name, std::span<const std::uint8_t> data,
                     bool ignore_case) {
  dir_entry entry;
  const auto length = static_cast<std::int64_t>(data.size());
  if (find_file(image, name, length, ignore_case, entry) < 0) return -1;
  // The whole chain is walked before anything is written: a cluster that
  // comes twice would take later bytes over earlier ones, one that belongs
  // to another file would destroy that file, and one the container lacks
  // cannot be written at all.
  const auto writable = [&](std::int32_t n) { return find_writable_sector(image.container, n); };
  std::vector<bool> used(image.fat.size(), false);
  mark_other_chains(image, entry.slot_offset, used);
  bool shared = false;
  if (walk_chain(image, name, entry, length, writable,
                 [&](std::int32_t cluster, std::uint8_t*, std::size_t, std::size_t) {
                   shared = shared || used[static_cast<std::size_t>(cluster)];
                   used[static_cast<std::size_t>(cluster)] = true;
                 }) < 0) {
    return -1;
  }
  if (shared) {
    std::printf("fat error '%s'\n", name.c_str());
    return -1;
  }
  return walk_chain(
      image, name, entry, length, writable,
      [&](std::int32_t, std::uint8_t* bytes, std::size_t offset, std::size_t count) {
        std::memcpy(bytes, data.data() + offset, count);
      });
}

// Every output goes through the one safe save.
int save_disk_image(const disk_image& image, const std::string& path) {
  if (image.container.write_protected) {
    std::printf("write protected image '%s' ... ignored\n", image.container.path.c_str());
  }
  return save_disk_container(image.container, path);
}

void free_disk_image(disk_image& image) { image = disk_image{}; }
