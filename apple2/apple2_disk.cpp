// Apple II DOS 3.3 disk images: loading with given or detected sector
// order, the catalog walk, the T/S list chains and reading a file by name.
#include <algorithm>
#include <bitset>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <utility>

#include "apple2/apple2.h"
#include "bitmap/bitmap.h"
#include "file/file.h"

namespace {

using file_ptr = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

constexpr int first_catalog_sector = 15;
constexpr int last_catalog_track = 49;
constexpr int catalog_entry_start = 11;
constexpr int catalog_entry_bytes = 35;
constexpr int ts_pair_start = 12;

// Byte position of sector (track, sector) in the image, or -1 when the
// sector number has no place in a track or the sector is not wholly inside.
int locate_sector(const apple_disk& disk, const apple_sector_map& map, int track, int sector) {
  if (sector < 0 || sector > 15) return -1;
  const int position = (track * 16 + map[sector]) * apple_sector_bytes;
  if (position + apple_sector_bytes > disk.disk_size ||
      static_cast<std::size_t>(position) + apple_sector_bytes > disk.disk_data.size()) {
    return -1;
  }
  return position;
}

// Copies track 17, sector 0, which lies at the same place in both orders.
void read_vtoc(apple_disk& disk) {
  const std::uint8_t* p = disk.disk_data.data() + apple_catalog_track * apple_track_bytes;
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
  for (int k = 0; k < apple_catalog_entries; ++k) {
    const std::uint8_t* e = p + catalog_entry_start + catalog_entry_bytes * k;
    file_entry& entry = node.entries[k];
    entry.ts_list_track = e[0];
    entry.ts_list_sector = e[1];
    entry.file_type = e[2];
    std::copy_n(e + 3, entry.name.size(), entry.name.begin());
    entry.sector_count = read_le16(e + 33);
  }
}

// Image sectors that a track/sector pair can name: 256 tracks of 16.
constexpr int addressable_sectors = 256 * 16;
using sector_set = std::bitset<addressable_sectors>;

// Walks the catalog chain from track 17, sector 15 through `map` into
// `chain`. 0, or -1 (no message) with `chain` emptied when the chain comes
// back to a sector it already holds or names a sector it cannot hold.
int walk_catalog(const apple_disk& disk, const apple_sector_map& map,
                 std::vector<catalog_sector>& chain) {
  chain.clear();
  sector_set walked;
  int track = apple_catalog_track;
  int sector = first_catalog_sector;
  for (;;) {
    const int position = locate_sector(disk, map, track, sector);
    if (track < 1 || track > last_catalog_track || position < 0 ||
        walked.test(position / apple_sector_bytes)) {
      chain.clear();
      return -1;
    }
    walked.set(position / apple_sector_bytes);
    catalog_sector& node = chain.emplace_back();
    parse_catalog_sector(disk.disk_data.data() + position, node);
    if (node.next_track == 0) return 0;
    track = node.next_track;
    sector = node.next_sector;
  }
}

// Reads the VTOC and the catalog in the given order, or settles the order.
// An allocation failure propagates as std::bad_alloc.
int read_catalog(apple_disk& disk, int sector_order) {
  if (disk.track_count <= apple_catalog_track) {
    std::printf("disk image size error\n");
    return -1;
  }
  read_vtoc(disk);
  if (sector_order == 1 || sector_order == 2) {
    disk.sector_map = sector_order == 1 ? &dos_sector_map : &prodos_sector_map;
    return walk_catalog(disk, *disk.sector_map, disk.catalog);
  }
  // Sectors 0 and 15 lie at the same place in both orders, so the wrong
  // order can still give a chain: it ends early wherever the wrong map
  // lands on the last catalog sector, or fails. The longer chain is taken;
  // on a tie DOS 3.3 order.
  std::vector<catalog_sector> prodos_chain;
  const bool dos_walked = walk_catalog(disk, dos_sector_map, disk.catalog) == 0;
  const bool prodos_walked = walk_catalog(disk, prodos_sector_map, prodos_chain) == 0;
  if (prodos_walked && (!dos_walked || prodos_chain.size() > disk.catalog.size())) {
    disk.catalog = std::move(prodos_chain);
    disk.sector_order = 2;
    disk.sector_map = &prodos_sector_map;
    return 0;
  }
  disk.sector_map = &dos_sector_map;
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
  for (int k = 0; k < apple_ts_pairs; ++k) {
    node.pairs[k] = {p[ts_pair_start + 2 * k], p[ts_pair_start + 2 * k + 1]};
  }
}

// Follows the entry's chain of T/S list sectors, parsing into disk.ts_lists
// each one not stored there yet (`stored` gives the place of each image
// sector stored, else -1). A list sector outside the image (a sector number
// above 15 included) or a link back to a list of the same chain fails the
// chain; a counted pair naming no sector of the image only warns.
int read_ts_list(apple_disk& disk, file_entry& entry, std::vector<int>& stored) {
  int track = entry.ts_list_track;
  int sector = entry.ts_list_sector;
  if (track == 0xFF) return 0;
  int remaining = entry.sector_count;
  sector_set walked;
  int first = -1;
  int previous = -1;
  for (;;) {
    const int position = locate_sector(disk, *disk.sector_map, track, sector);
    if (position < 0 || walked.test(position / apple_sector_bytes)) {
      std::printf("illegal track/sector (%02X/%02X)\n", track, sector);
      return -1;
    }
    const int place = position / apple_sector_bytes;
    walked.set(place);
    if (stored[place] < 0) {
      parse_ts_list(disk.disk_data.data() + position, disk.ts_lists.emplace_back());
      stored[place] = static_cast<int>(disk.ts_lists.size()) - 1;
    }
    const int index = stored[place];
    (previous < 0 ? first : disk.ts_lists[previous].next) = index;
    previous = index;
    const ts_list& node = disk.ts_lists[index];
    for (int k = 0; k < apple_ts_pairs && remaining > 0; ++k) {
      --remaining;
      const apple_ts_pair& pair = node.pairs[k];
      if (locate_sector(disk, *disk.sector_map, pair.track, pair.sector) < 0) {
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

// Whether the file's length does not fit a long (32 bits on Windows), which
// makes ftell fail at the end of the file.
bool longer_than_long(const std::string& path) {
  std::error_code error;
  const std::uintmax_t length = std::filesystem::file_size(path, error);
  return !error && length > static_cast<std::uintmax_t>(LONG_MAX);
}

// Whether an image of `size` bytes can be held: sector positions are int
// arithmetic, and no floppy image comes near the limit. 0, or -1 after the
// message.
int check_image_size(std::uintmax_t size) {
  if (size > static_cast<std::uintmax_t>(INT_MAX - apple_track_bytes)) {
    std::printf("memory exhaust!\n");
    return -1;
  }
  return 0;
}

// Reads the whole file into `bytes`; 0, or -1 after the message.
int read_image_bytes(std::vector<std::uint8_t>& bytes, const std::string& path) {
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
  if (size < 0 && longer_than_long(path)) size = LONG_MAX;  // refused as too large below
  if (size < 0) {
    std::printf("seek error '%s' (SEEK_END)\n", path.c_str());
    return -1;
  }
  if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
    std::printf("seek error '%s' (SEEK_SET)\n", path.c_str());
    return -1;
  }
  // Refused by its length before anything is allocated for it.
  if (check_image_size(static_cast<std::uintmax_t>(size)) < 0) return -1;
  try {
    bytes.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    std::printf("memory exhaust!\n");
    return -1;
  }
  if (bytes.empty() || std::fread(bytes.data(), bytes.size(), 1, file.get()) != 1) {
    std::printf("read error '%s'\n", path.c_str());
    return -1;
  }
  return 0;
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
  if (read_image_bytes(bytes, path) < 0) return -1;
  return decode_apple_disk(disk, std::move(bytes), path, sector_order);
}

int decode_apple_disk(apple_disk& disk, std::vector<std::uint8_t> bytes, const std::string& path,
                      int sector_order) {
  disk = empty_disk(sector_order);
  if (check_image_size(bytes.size()) < 0) return -1;
  disk.disk_size = static_cast<int>(bytes.size());
  disk.track_count = disk.disk_size / apple_track_bytes;
  disk.disk_data = std::move(bytes);
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
  int remaining = entry->sector_count - 1;  // less the first T/S list sector
  if (entry->first_ts_list < 0 || remaining <= 0 || disk.sector_map == nullptr) return -1;
  const apple_sector_map& map = *disk.sector_map;
  const ts_list* list = &disk.ts_lists[static_cast<std::size_t>(entry->first_ts_list)];

  // The first data sector carries the length header.
  const apple_ts_pair& first = list->pairs[0];
  int position = locate_sector(disk, map, first.track, first.sector);
  if (position < 0) return 0;
  --remaining;
  const std::uint8_t* sector = disk.disk_data.data() + position;
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
  int room = apple_sector_bytes - start;
  const int size = static_cast<int>(std::min<std::size_t>(buffer.size(), INT_MAX));
  if (length_known && length != size) {
    std::printf("file size mismatch '%.*s' %d != %d\n", static_cast<int>(name.size()), name.data(),
                length, size);
  }

  int left = size;
  int copied = 0;
  for (;;) {
    for (int k = 0; k < apple_ts_pairs; ++k) {
      if (copied > 0) {
        if (remaining <= 0) return copied;
        const apple_ts_pair& pair = list->pairs[k];
        position = locate_sector(disk, map, pair.track, pair.sector);
        if (position < 0) return copied;
        sector = disk.disk_data.data() + position;
        start = 0;
        --remaining;
        room = apple_sector_bytes;
      }
      if (length_known && length < room) room = length;
      const int n = std::min(left, room);
      std::memcpy(buffer.data() + copied, sector + start, static_cast<std::size_t>(n));
      left -= n;
      copied += n;
      if (left == 0) return copied;
      if (length_known && length > 0) {
        length -= n;
        if (length == 0) return copied;
      }
    }
    // The next T/S list sector counts against the sector count too.
    --remaining;
    if (remaining <= 0 || list->next < 0) return copied;
    list = &disk.ts_lists[static_cast<std::size_t>(list->next)];
  }
}

void free_apple_disk(apple_disk& disk) { disk = apple_disk{}; }
