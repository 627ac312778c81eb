// Apple II DOS 3.3 disk images: loading through the disk library with given
// or detected sector order, the catalog walk, the T/S list chains and
// reading a file by name.
#include <algorithm>
#include <bitset>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "apple2/apple2.h"
#include "bitmap/bitmap.h"

namespace {

constexpr int first_catalog_sector = 15;
constexpr int last_catalog_track = 49;
constexpr std::size_t catalog_entry_start = 11;
constexpr std::size_t catalog_entry_bytes = 35;
constexpr std::size_t ts_pair_start = 12;

// Logical sectors that a track/sector pair can name: 256 tracks of 16.
constexpr int addressable_sectors = 256 * 16;
using sector_set = std::bitset<addressable_sectors>;

// The logical number of sector (track, sector), or -1 when the sector
// number has no place in a track.
int sector_number(int track, int sector) {
  return sector < 0 || sector > 15 || track < 0 ? -1 : track * 16 + sector;
}

// The 256 bytes of sector (track, sector) in the order in use, or null when
// the sector number has no place in a track or the image does not hold the
// sector wholly. A sector the container holds but cannot read prints its
// line first.
const std::uint8_t* find_apple_sector(const apple_disk& disk, int track, int sector) {
  const int n = sector_number(track, sector);
  if (n < 0) return nullptr;
  const std::uint8_t* bytes = find_sector(disk.container, n);
  const std::vector<sector_place>& places = disk.container.sectors;
  if (bytes == nullptr && static_cast<std::size_t>(n) < places.size() &&
      places[static_cast<std::size_t>(n)].state != sector_state::absent) {
    print_sector_fault(disk.container, n);
  }
  return bytes;
}

// Copies track 17, sector 0, which lies at the same place in both orders.
// Nothing reads it afterwards: a VTOC the image cannot give stays zero.
void read_vtoc(apple_disk& disk) {
  const std::uint8_t* p = find_sector(disk.container, apple_catalog_track * 16);
  if (p == nullptr) return;
  apple_vtoc& v = disk.vtoc;
  v.unused0 = p[0];
  v.first_catalog_track = p[1];
  v.first_catalog_sector = p[2];
  v.dos_release = p[3];
  std::copy_n(p + 4, v.unused4.size(), v.unused4.begin());
  v.volume_number = p[6];
  std::copy_n(p + 7, v.unused7.size(), v.unused7.begin());
  v.ts_pairs_per_sector = p[39];
  std::copy_n(p + 40, v.unused40.size(), v.unused40.begin());
  v.last_track_allocated = p[48];
  v.allocation_direction = p[49];
  std::copy_n(p + 50, v.unused50.size(), v.unused50.begin());
  v.tracks_per_disk = p[52];
  v.sectors_per_track = p[53];
  v.bytes_per_sector = read_le16(p + 54);
  const std::uint8_t* cursor = p + 56;
  for (std::uint32_t& map : v.free_sector_maps) map = read_le32(cursor, &cursor);
}

void parse_catalog_sector(const std::uint8_t* p, catalog_sector& node) {
  node.first_byte = p[0];
  node.next_track = p[1];
  node.next_sector = p[2];
  std::copy_n(p + 3, node.reserved.size(), node.reserved.begin());
  for (std::size_t k = 0; k < apple_catalog_entries; ++k) {
    const std::uint8_t* e = p + catalog_entry_start + catalog_entry_bytes * k;
    file_entry& entry = node.entries[k];
    entry.ts_list_track = e[0];
    entry.ts_list_sector = e[1];
    entry.file_type = e[2];
    std::copy_n(e + 3, entry.name.size(), entry.name.begin());
    entry.sector_count = read_le16(e + 33);
  }
}

// Walks the catalog chain from track 17, sector 15 in the order in use into
// `chain`. 0, or -1 (no message) with `chain` emptied when the chain comes
// back to a sector it already holds or names a sector it cannot hold.
int walk_catalog(const apple_disk& disk, std::vector<catalog_sector>& chain) {
  chain.clear();
  sector_set walked;
  int track = apple_catalog_track;
  int sector = first_catalog_sector;
  for (;;) {
    const int n = sector_number(track, sector);
    const std::uint8_t* bytes = n < 0 ? nullptr : find_apple_sector(disk, track, sector);
    if (track < 1 || track > last_catalog_track || bytes == nullptr ||
        walked.test(static_cast<std::size_t>(n))) {
      chain.clear();
      return -1;
    }
    walked.set(static_cast<std::size_t>(n));
    catalog_sector& node = chain.emplace_back();
    parse_catalog_sector(bytes, node);
    if (node.next_track == 0) return 0;
    track = node.next_track;
    sector = node.next_sector;
  }
}

// Puts the container's sectors in DSK order `sector_order` (1 or 2) and
// the record's map with them.
void use_order(apple_disk& disk, int sector_order) {
  map_apple_order(disk.container, sector_order);
  disk.sector_map = sector_order == 2 ? &prodos_sector_map : &dos_sector_map;
}

// Reads the VTOC and the catalog in the given order, or settles the order.
// An allocation failure propagates as std::bad_alloc.
int read_catalog(apple_disk& disk, int sector_order) {
  if (disk.track_count <= apple_catalog_track) {
    std::printf("disk image size error\n");
    return -1;
  }
  read_vtoc(disk);
  const disk_container& container = disk.container;
  if (container.decoded) {
    // Nibble tracks decode into DOS 3.3 order whatever was asked.
    disk.sector_order = 1;
    disk.sector_map = &dos_sector_map;
    return walk_catalog(disk, disk.catalog);
  }
  if (sector_order != 1 && sector_order != 2 && container.kind == container_kind::image_2mg) {
    sector_order = disk.sector_order = container.sector_order;
  }
  if (sector_order == 1 || sector_order == 2) {
    use_order(disk, sector_order);
    return walk_catalog(disk, disk.catalog);
  }
  // Sectors 0 and 15 lie at the same place in both orders, so the wrong
  // order can still give a chain: it ends early wherever the wrong map
  // lands on the last catalog sector, or fails. The longer chain is taken;
  // on a tie DOS 3.3 order.
  std::vector<catalog_sector> prodos_chain;
  use_order(disk, 1);
  const bool dos_walked = walk_catalog(disk, disk.catalog) == 0;
  use_order(disk, 2);
  const bool prodos_walked = walk_catalog(disk, prodos_chain) == 0;
  if (prodos_walked && (!dos_walked || prodos_chain.size() > disk.catalog.size())) {
    disk.catalog = std::move(prodos_chain);
    disk.sector_order = 2;
    return 0;
  }
  use_order(disk, 1);
  if (!dos_walked) return -1;
  disk.sector_order = 1;
  return 0;
}

void parse_ts_list(const std::uint8_t* p, ts_list& node) {
  node.first_byte = p[0];
  node.next_track = p[1];
  node.next_sector = p[2];
  node.bytes3_4 = {p[3], p[4]};
  node.sector_offset = read_le16(p + 5);
  std::copy_n(p + 7, node.reserved.size(), node.reserved.begin());
  for (std::size_t k = 0; k < apple_ts_pairs; ++k) {
    node.pairs[k] = {p[ts_pair_start + 2 * k], p[ts_pair_start + 2 * k + 1]};
  }
}

// Follows the entry's chain of T/S list sectors, parsing into disk.ts_lists
// each one not stored there yet (`stored` gives the place in ts_lists of
// each logical sector stored, else -1). A list sector outside the image (a
// sector number above 15 included) or a link back to a list of the same
// chain fails the chain; a counted pair naming no sector of the image only
// warns.
int read_ts_list(apple_disk& disk, file_entry& entry, std::vector<int>& stored) {
  int track = entry.ts_list_track;
  int sector = entry.ts_list_sector;
  if (track == 0xFF) return 0;
  int remaining = entry.sector_count;
  sector_set walked;
  int first = -1;
  int previous = -1;
  for (;;) {
    const int n = sector_number(track, sector);
    const std::uint8_t* bytes = n < 0 ? nullptr : find_apple_sector(disk, track, sector);
    if (bytes == nullptr || walked.test(static_cast<std::size_t>(n))) {
      std::printf("illegal track/sector (%02X/%02X)\n", track, sector);
      return -1;
    }
    const auto place = static_cast<std::size_t>(n);
    walked.set(place);
    if (stored[place] < 0) {
      parse_ts_list(bytes, disk.ts_lists.emplace_back());
      stored[place] = static_cast<int>(disk.ts_lists.size()) - 1;
    }
    const int index = stored[place];
    (previous < 0 ? first : disk.ts_lists[static_cast<std::size_t>(previous)].next) = index;
    previous = index;
    const ts_list& node = disk.ts_lists[static_cast<std::size_t>(index)];
    for (int k = 0; k < apple_ts_pairs && remaining > 0; ++k) {
      --remaining;
      const apple_ts_pair& pair = node.pairs[static_cast<std::size_t>(k)];
      if (find_apple_sector(disk, pair.track, pair.sector) == nullptr) {
        std::printf("illegal track/sector list[%02X:%02X] (%02X/%02X)\n", node.sector_offset, k,
                    pair.track, pair.sector);
      }
    }
    if (node.next_track == 0) {
      entry.first_ts_list = first;
      return 0;
    }
    track = node.next_track;
    sector = node.next_sector;
  }
}

// Reads the T/S list chain of every entry with a nonzero sector count. A
// chain that cannot be read costs only its entry; running out of memory
// ends the reading and keeps the chains already read.
void read_all_ts_lists(apple_disk& disk, const std::string& path) {
  try {
    std::vector<int> stored(addressable_sectors, -1);
    for (catalog_sector& node : disk.catalog) {
      for (file_entry& entry : node.entries) {
        if (entry.sector_count != 0 && read_ts_list(disk, entry, stored) < 0) {
          std::printf("can't get track/sector list '%s'\n", path.c_str());
        }
      }
    }
  } catch (const std::bad_alloc&) {
    std::printf("memory exhaust!\n");
    std::printf("can't get track/sector list '%s'\n", path.c_str());
  }
}

// The catalog form of a name: bit 7 set on each character, 0xA0 padding.
std::array<std::uint8_t, apple_name_bytes> make_name_key(std::string_view name) {
  std::array<std::uint8_t, apple_name_bytes> key;
  key.fill(0xA0);
  for (std::size_t i = 0; i < name.size() && i < key.size(); ++i) {
    key[i] = static_cast<std::uint8_t>(name[i]) | 0x80;
  }
  return key;
}

std::string_view up_to_nul(std::string_view name) { return name.substr(0, name.find('\0')); }

// The data sectors of a file in order along its T/S lists, as DOS reads
// them, within the entry's sector count: every data sector and every T/S
// list sector after the first costs one of it. next() gives the next data
// sector, or null once the count or the lists end or at a sector outside
// the image.
struct file_sectors {
  const apple_disk& disk;
  const ts_list* list;
  int remaining;   // of the sector count
  int pair = -1;   // the pair of `list` last taken

  const std::uint8_t* next() {
    if (++pair == apple_ts_pairs) {
      --remaining;  // the next T/S list sector
      if (remaining <= 0 || list->next < 0) return nullptr;
      list = &disk.ts_lists[static_cast<std::size_t>(list->next)];
      pair = 0;
    }
    if (remaining <= 0) return nullptr;
    const apple_ts_pair& at = list->pairs[static_cast<std::size_t>(pair)];
    const std::uint8_t* sector = find_apple_sector(disk, at.track, at.sector);
    if (sector != nullptr) --remaining;
    return sector;
  }
};

// The record before anything is loaded: the order asked for, the DOS 3.3 map.
apple_disk empty_disk(int sector_order) {
  apple_disk disk;
  disk.sector_order = sector_order;
  disk.sector_map = &dos_sector_map;
  return disk;
}

}  // namespace

int load_apple_disk(apple_disk& disk, const std::string& path, int sector_order) {
  disk = empty_disk(sector_order);
  std::vector<std::uint8_t> bytes;
  if (read_disk_file(bytes, path) < 0) return -1;
  if (bytes.empty()) {
    std::printf("read error '%s'\n", path.c_str());
    return -1;
  }
  return decode_apple_disk(disk, std::move(bytes), path, sector_order);
}

int decode_apple_disk(apple_disk& disk, std::vector<std::uint8_t> bytes, const std::string& path,
                      int sector_order) {
  disk = empty_disk(sector_order);
  if (open_disk_container(disk.container, std::move(bytes), path, disk_family::apple2) < 0) {
    return -1;
  }
  const disk_container& container = disk.container;
  disk.track_count = container.decoded
                         ? static_cast<int>(container.sectors.size() / apple_track_sectors)
                         : container.data_length / apple_track_bytes;
  try {
    if (read_catalog(disk, sector_order) < 0) {
      std::printf("can't get catalog '%s'\n", path.c_str());
      return -1;
    }
  } catch (const std::bad_alloc&) {
    std::printf("memory exhaust!\n");
    std::printf("can't get catalog '%s'\n", path.c_str());
    return -1;
  }
  read_all_ts_lists(disk, path);
  return 0;
}

const file_entry* find_apple_file(const apple_disk& disk, std::string_view name) {
  const auto key = make_name_key(up_to_nul(name));
  for (const catalog_sector& node : disk.catalog) {
    for (const file_entry& entry : node.entries) {
      if (entry.name == key) return &entry;
    }
  }
  return nullptr;
}

int read_apple_file(const apple_disk& disk, std::string_view name, std::span<std::uint8_t> buffer) {
  name = up_to_nul(name);
  const file_entry* entry = find_apple_file(disk, name);
  if (entry == nullptr) {
    std::printf("file not found '%.*s'\n", static_cast<int>(name.size()), name.data());
    return -1;
  }
  std::fill(buffer.begin(), buffer.end(), 0);
  // The first T/S list sector has used one of the sector count already.
  if (entry->first_ts_list < 0 || entry->sector_count - 1 <= 0) return -1;
  file_sectors sectors{disk, &disk.ts_lists[static_cast<std::size_t>(entry->first_ts_list)],
                       entry->sector_count - 1};

  // The first data sector carries the length header.
  const std::uint8_t* sector = sectors.next();
  if (sector == nullptr) return 0;
  bool length_known = true;
  int length = 0;
  int start = 0;
  switch (entry->file_type & 0x7F) {
    case 0x01:
    case 0x02:
      length = read_le16(sector);
      start = 2;
      break;
    case 0x04:
      length = read_le16(sector + 2);
      start = 4;
      break;
    case 0x10:
      length = read_le16(sector + 2);
      start = 6;
      break;
    default:
      length_known = false;
      break;
  }
  const int size = static_cast<int>(std::min<std::size_t>(buffer.size(), INT_MAX));
  if (length_known && length != size) {
    std::printf("file size mismatch '%.*s' %d != %d\n", static_cast<int>(name.size()), name.data(),
                length, size);
  }
  // A known length of 0 copies nothing.
  if (length_known && length == 0) return 0;

  int left = size;
  int copied = 0;
  for (; sector != nullptr; sector = sectors.next(), start = 0) {
    int room = apple_sector_bytes - start;
    if (length_known && length < room) room = length;
    const int n = std::min(left, room);
    std::memcpy(buffer.data() + copied, sector + start, static_cast<std::size_t>(n));
    left -= n;
    copied += n;
    if (left == 0) return copied;
    if (length_known) {
      length -= n;
      if (length == 0) return copied;
    }
  }
  return copied;
}

void free_apple_disk(apple_disk& disk) { disk = apple_disk{}; }
