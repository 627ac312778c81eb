// Builds FAT12 volumes in memory for the tests (see fat12_builder.h).
//
// Boot sector fields written (little-endian):
//   0 EB 3C 90 jump, 3 OEM name, 11 bytes/sector, 13 sectors/cluster,
//   14 reserved sectors, 16 FAT copies, 17 root entries, 19 total sectors,
//   21 media byte, 22 sectors/FAT, 24 sectors/track, 26 heads,
//   510 55 AA signature.
#include "testing/fat12_builder.h"

#include <algorithm>
#include <stdexcept>

namespace {

constexpr int fat_offsets[2] = {1024, 3072};
constexpr int fat_bytes = 2048;
constexpr int root_offset = 5120;
constexpr int cluster_base = 9216;
constexpr std::uint8_t media = 0xFE;

void put16(bytes& data, std::size_t at, unsigned value) {
  data.at(at) = static_cast<std::uint8_t>(value);
  data.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

void put32(bytes& data, std::size_t at, std::uint32_t value) {
  put16(data, at, value & 0xFFFF);
  put16(data, at + 2, value >> 16);
}

}  // namespace

fat12_volume::fat12_volume(int sectors) {
  // Lay out the whole system area, then cut the volume to the asked size,
  // so short volumes (for refusal tests) are the head of a normal one.
  data.assign(static_cast<std::size_t>(std::max(sectors, 11)) * sector_bytes, 0);
  const std::uint8_t boot[] = {0xEB, 0x3C, 0x90, 'S', 'Y', 'N', 'T', 'H', 'F', 'A', 'T'};
  std::copy(std::begin(boot), std::end(boot), data.begin());
  put16(data, 11, sector_bytes);
  data[13] = 1;        // sectors per cluster
  put16(data, 14, 1);  // reserved sectors (the boot sector)
  data[16] = 2;        // FAT copies
  put16(data, 17, root_slots);
  put16(data, 19, static_cast<unsigned>(std::max(sectors, 0)));
  data[21] = media;
  put16(data, 22, 2);  // sectors per FAT
  put16(data, 24, 8);  // sectors per track
  put16(data, 26, 2);  // heads
  data[510] = 0x55;
  data[511] = 0xAA;
  set_fat(0, 0xF00 | media);
  set_fat(1, 0xFFF);
  data.resize(static_cast<std::size_t>(std::max(sectors, 0)) * sector_bytes);
}

void fat12_volume::set_fat(int cluster, int value) {
  if (cluster < 0 || cluster * 3 / 2 + 1 >= fat_bytes) throw std::out_of_range("FAT entry");
  for (int base : fat_offsets) {
    std::size_t at = static_cast<std::size_t>(base + cluster * 3 / 2);
    if (cluster % 2 == 0) {
      data.at(at) = static_cast<std::uint8_t>(value);
      data.at(at + 1) = static_cast<std::uint8_t>((data.at(at + 1) & 0xF0) | ((value >> 8) & 0x0F));
    } else {
      data.at(at) = static_cast<std::uint8_t>((data.at(at) & 0x0F) | ((value << 4) & 0xF0));
      data.at(at + 1) = static_cast<std::uint8_t>(value >> 4);
    }
  }
}

int fat12_volume::add_file(const std::string& dos_name, const bytes& contents,
                           const std::vector<int>& clusters, std::int64_t size) {
  if (dos_name.size() != 11) throw std::invalid_argument("directory name must be 11 characters");
  if (contents.size() > clusters.size() * sector_bytes) {
    throw std::invalid_argument("too few clusters for the contents");
  }
  int slot = 0;
  while (slot < root_slots && data.at(slot_offset(slot)) != 0) ++slot;
  if (slot == root_slots) throw std::length_error("root directory full");

  std::size_t at = slot_offset(slot);
  std::copy(dos_name.begin(), dos_name.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
  data[at + 11] = 0x20;  // archive attribute
  put16(data, at + 26, clusters.empty() ? 0 : static_cast<unsigned>(clusters.front()));
  put32(data, at + 28,
        static_cast<std::uint32_t>(size < 0 ? static_cast<std::int64_t>(contents.size()) : size));

  for (std::size_t i = 0; i < clusters.size(); ++i) {
    set_fat(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : 0xFFF);
    std::size_t from = i * sector_bytes;
    if (from < contents.size()) {
      std::size_t count = std::min<std::size_t>(sector_bytes, contents.size() - from);
      std::size_t to = cluster_offset(clusters[i]);
      if (to + sector_bytes > data.size()) throw std::out_of_range("cluster beyond the volume");
      std::copy_n(contents.begin() + static_cast<std::ptrdiff_t>(from), count,
                  data.begin() + static_cast<std::ptrdiff_t>(to));
    }
  }
  return slot;
}

std::size_t fat12_volume::add_folder(const std::string& dos_name, int cluster,
                                     const std::vector<folder_entry>& entries, int parent) {
  if (dos_name.size() != 11) throw std::invalid_argument("directory name must be 11 characters");
  std::vector<folder_entry> all = {{".          ", {}, 0, 0x10}, {"..         ", {}, 0, 0x10}};
  all.insert(all.end(), entries.begin(), entries.end());
  if (all.size() * 32 > sector_bytes) throw std::length_error("folder full");
  const std::size_t first = cluster_offset(cluster);
  if (first + sector_bytes > data.size()) throw std::out_of_range("cluster beyond the volume");
  std::fill_n(data.begin() + static_cast<std::ptrdiff_t>(first), sector_bytes, 0);
  set_fat(cluster, 0xFFF);
  all[0].clusters = {cluster};
  if (parent != 0) all[1].clusters = {parent};
  for (std::size_t i = 0; i < all.size(); ++i) {
    const folder_entry& entry = all[i];
    if (entry.dos_name.size() != 11) throw std::invalid_argument("directory name must be 11 characters");
    const std::size_t at = first + 32 * i;
    std::copy(entry.dos_name.begin(), entry.dos_name.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
    data[at + 11] = entry.attributes;
    put16(data, at + 26, entry.clusters.empty() ? 0 : static_cast<unsigned>(entry.clusters.front()));
    put32(data, at + 28, entry.size);
    for (std::size_t k = 0; i >= 2 && k < entry.clusters.size(); ++k) {
      set_fat(entry.clusters[k], k + 1 < entry.clusters.size() ? entry.clusters[k + 1] : 0xFFF);
    }
  }
  // The folder's own entry, in the first free slot of its parent.
  std::size_t slot = parent == 0 ? slot_offset(0) : cluster_offset(parent);
  const std::size_t end = parent == 0 ? slot_offset(root_slots) : slot + sector_bytes;
  while (slot < end && data.at(slot) != 0) slot += 32;
  if (slot == end) throw std::length_error("parent folder full");
  std::copy(dos_name.begin(), dos_name.end(), data.begin() + static_cast<std::ptrdiff_t>(slot));
  data[slot + 11] = 0x10;
  put16(data, slot + 26, static_cast<unsigned>(cluster));
  put32(data, slot + 28, 0);
  return first + 64;
}

int fat12_volume::add_file_contiguous(const std::string& dos_name, const bytes& contents,
                                      int first_cluster, std::int64_t size) {
  std::vector<int> clusters(static_cast<std::size_t>(clusters_for(contents.size())));
  for (std::size_t i = 0; i < clusters.size(); ++i) {
    clusters[i] = first_cluster + static_cast<int>(i);
  }
  return add_file(dos_name, contents, clusters, size);
}

fat12_volume fat12_volume::with_file(const std::string& dos_name, const bytes& contents) {
  fat12_volume volume;
  volume.add_file_contiguous(dos_name, contents, 2);
  return volume;
}

int fat12_volume::clusters_for(std::size_t length) {
  return static_cast<int>((length + sector_bytes - 1) / sector_bytes);
}

bytes fat12_volume::as_fdi() const {
  // FDI header: u32 fields at 0 (reserved), 4 (drive type, 0x90 = 2HD),
  // 8 (header size), 12 (volume size), 16 (bytes/sector), 20 (sectors/track),
  // 24 (heads), 28 (cylinders); the rest is zero.
  bytes image(fdi_header_bytes, 0);
  put32(image, 4, 0x90);
  put32(image, 8, fdi_header_bytes);
  put32(image, 12, static_cast<std::uint32_t>(data.size()));
  put32(image, 16, sector_bytes);
  put32(image, 20, 8);
  put32(image, 24, 2);
  put32(image, 28, static_cast<std::uint32_t>(data.size() / (sector_bytes * 16)));
  image.insert(image.end(), data.begin(), data.end());
  return image;
}

bytes fat12_volume::as_xdf() const { return data; }

std::size_t fat12_volume::slot_offset(int slot) {
  return static_cast<std::size_t>(root_offset + 32 * slot);
}

std::size_t fat12_volume::cluster_offset(int cluster) {
  return static_cast<std::size_t>(cluster_base + sector_bytes * cluster);
}
