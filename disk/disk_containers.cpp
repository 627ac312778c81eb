// Disk containers: recognition and the place of every logical sector.
// All integers little-endian.
//
// D88 (PC-98, X68000)
//   0x00 name (17), 0x1A write protect (not 0: protected), 0x1B media,
//   0x1C u32 size of the image, header included (must equal the file length),
//   0x20 u32 offset of each track t = cylinder * 2 + head, 0 or the size
//   for an absent track: 164 entries (header 0x2B0) or, in older files, 160
//   (header 0x2A0; the first offset that is not 0 is the header size).
//   A track runs to the next track's offset (or the end): sectors, each a
//   16-byte header then its data, in any order:
//     0 C, 1 H, 2 R, 3 N (128 << N bytes), 4 u16 sectors in the track (the
//     first header's count is used), 6 density, 7 deleted mark, 8 FDC
//     status, 14 u16 bytes of data that follow.
//
// NFD (PC-98)
//   0x000 "T98FDDIMAGE.R0" or ".R1", 0x110 u32 header size (sector data
//   starts there), 0x114 write protect, 0x115 heads.
//   Revision 0: from 0x120, 163 tracks x 26 slots of 16 bytes: C, H, R, N,
//   MFM, DDAM, status, ST0, ST1, ST2, PDA, 5 reserved; C = FF an unused
//   slot. The data of every used slot follows the header in slot order.
//   Revision 1: from 0x120, 164 u32 absolute offsets of track records (0:
//   none); a record is u16 sectors, u16 extra reads, 12 reserved, then 16
//   bytes a sector (C, H, R, N, ...) and 16 an extra read (byte 9 retries,
//   10 u32 length). The data follows the header track by track: each
//   sector's 128 << N bytes, then each extra read's (retries + 1) x length.
//
// DIM (X68000)
//   0x00 media type (0: 2HD, 8 sectors of 1024 a track), 0x01 one byte a
//   track for 170 tracks (not 0: stored), 0xAB "DIFC HEADER", from 0x100
//   the 8192 bytes of every stored track in track order.
//
// 2MG (Apple II)
//   0x00 "2IMG", 0x0C u32 format (0 DOS 3.3 order, 1 ProDOS order, 2
//   nibbles), 0x14 u32 ProDOS blocks, 0x18 u32 data offset, 0x1C u32 data
//   length (0 in some ProDOS-order files: then the blocks x 512).
//
// WOZ (Apple II)
//   "WOZ1" or "WOZ2", FF 0A 0D 0A, u32 CRC-32; then chunks: 4-byte id, u32
//   size, data. INFO: 1 disk type (1 = 5.25"). TMAP: 160 quarter tracks,
//   the TRKS index of each, FF none; whole track t is quarter track 4t.
//   TRKS of WOZ1: records of 6656 bytes: 6646 bytes of bits, u16 bytes
//   used, u16 bit count. TRKS of WOZ2: 160 entries of u16 first 512-byte
//   block (from the file start), u16 block count, u32 bit count.
//
// NIB (Apple II): 35 tracks of 6656 nibbles.
#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "bitmap/bitmap.h"
#include "disk/disk.h"

namespace {

constexpr std::int32_t hd_sector_bytes = 1024;
constexpr int hd_track_sectors = 8;
constexpr int hd_tracks = 154;  // 77 cylinders x 2 heads
constexpr int apple_sector_bytes = 256;
constexpr int apple_tracks = 35;
constexpr int dsk_track_limit = 256;  // a track/sector pair names at most 256 tracks

// One of recognition's answers: not this container (look further), read,
// or refused after the message.
constexpr int not_this = 1;

std::string_view bytes_at(const std::vector<std::uint8_t>& file, std::size_t at,
                          std::size_t count) {
  if (at > file.size() || file.size() - at < count) return {};
  return {reinterpret_cast<const char*>(file.data() + at), count};
}

std::uint32_t le32_at(const std::vector<std::uint8_t>& file, std::int64_t at) {
  return read_le32(file.data() + at);
}

std::uint16_t le16_at(const std::vector<std::uint8_t>& file, std::int64_t at) {
  return read_le16(file.data() + at);
}

int refuse(const disk_container& disk, const char* problem, const std::string& what) {
  std::printf("%s %s image '%s' (%s)\n", problem, name_container(disk.kind), disk.path.c_str(),
              what.c_str());
  return -1;
}

int refuse_track(const disk_container& disk, int track) {
  return refuse(disk, "damaged", "track " + std::to_string(track));
}

// ---------------------------------------------------------------------------
// 2HD containers

// Sizes the sector table for `tracks` tracks of 8 sectors, all absent.
void start_2hd(disk_container& disk, int tracks) {
  disk.sector_bytes = hd_sector_bytes;
  disk.sectors.assign(static_cast<std::size_t>(tracks) * hd_track_sectors, sector_place{});
}

// Records that track `track` holds record `record` at `offset`. Records
// outside 1 to 8 are no logical sectors; a second sector of one id makes
// both unusable.
void place_2hd(disk_container& disk, int track, int record, std::int64_t offset,
               sector_state state) {
  if (record < 1 || record > hd_track_sectors) return;
  const auto n = static_cast<std::size_t>(track * hd_track_sectors + record - 1);
  if (n >= disk.sectors.size()) return;
  sector_place& place = disk.sectors[n];
  place = place.state == sector_state::absent
              ? sector_place{static_cast<std::int32_t>(offset), state}
              : sector_place{place.offset, sector_state::duplicate};
}

// Drops the tracks above the last one holding any sector, keeping at
// least the 154 of a 2HD disk.
void trim_2hd(disk_container& disk) {
  std::size_t used = static_cast<std::size_t>(hd_tracks) * hd_track_sectors;
  for (std::size_t n = used; n < disk.sectors.size(); ++n) {
    if (disk.sectors[n].state != sector_state::absent)
      used = (n / hd_track_sectors + 1) * hd_track_sectors;
  }
  disk.sectors.resize(std::min(used, disk.sectors.size()));
}

// Whether a sector header's ids name track `track`.
bool names_track(int cylinder, int head, int track) {
  return cylinder == track / 2 && head == track % 2;
}

int open_d88(disk_container& disk) {
  const std::vector<std::uint8_t>& file = disk.file_bytes;
  const auto size = static_cast<std::int64_t>(file.size());
  constexpr std::int64_t table = 0x20;
  if (size < 0x2A0 || le32_at(file, 0x1C) != size) return not_this;
  // The table ends where the first stored track begins: 0x2A0 or 0x2B0.
  std::int64_t header = 0x2B0;
  for (std::int64_t at = table; at < 0x2A0; at += 4) {
    const std::int64_t offset = le32_at(file, at);
    if (offset == 0 || offset == size) continue;
    if (offset == 0x2A0) header = offset;
    if (offset < header) return not_this;
    break;
  }
  if (header > size) return not_this;
  const int tracks = static_cast<int>((header - table) / 4);
  std::vector<std::int64_t> starts(static_cast<std::size_t>(tracks), 0);
  std::int64_t previous = header;
  for (int t = 0; t < tracks; ++t) {
    const std::int64_t offset = le32_at(file, table + 4 * t);
    if (offset == 0 || offset == size) continue;
    if (offset < previous || offset > size) return not_this;
    starts[static_cast<std::size_t>(t)] = previous = offset;
  }

  disk.kind = container_kind::d88;
  disk.write_protected = file[0x1A] != 0;
  start_2hd(disk, tracks);
  for (int t = 0; t < tracks; ++t) {
    std::int64_t at = starts[static_cast<std::size_t>(t)];
    if (at == 0) continue;
    std::int64_t end = size;
    for (int u = t + 1; u < tracks; ++u) {
      if (starts[static_cast<std::size_t>(u)] != 0) {
        end = starts[static_cast<std::size_t>(u)];
        break;
      }
    }
    if (at == end) continue;  // an empty track
    if (at + 16 > end) return refuse_track(disk, t);
    const int count = le16_at(file, at + 4);
    for (int k = 0; k < count; ++k) {
      if (at + 16 > end) return refuse_track(disk, t);
      const std::uint8_t* header_bytes = file.data() + at;
      const std::int64_t length = read_le16(header_bytes + 14);
      if (at + 16 + length > end) return refuse_track(disk, t);
      if (names_track(header_bytes[0], header_bytes[1], t)) {
        const bool whole = header_bytes[3] == 3 && length == hd_sector_bytes;
        place_2hd(disk, t, header_bytes[2], at + 16,
                  whole ? sector_state::present : sector_state::wrong_size);
      }
      at += 16 + length;
    }
  }
  trim_2hd(disk);
  return 0;
}

int open_nfd(disk_container& disk) {
  const std::vector<std::uint8_t>& file = disk.file_bytes;
  const auto size = static_cast<std::int64_t>(file.size());
  const bool revision0 = bytes_at(file, 0, 14) == "T98FDDIMAGE.R0";
  if (!revision0 && bytes_at(file, 0, 14) != "T98FDDIMAGE.R1") return not_this;
  disk.kind = container_kind::nfd;
  constexpr std::int64_t table = 0x120;
  if (size < table) return refuse(disk, "damaged", "header");
  const std::int64_t header = le32_at(file, 0x110);
  if (header < table || header > size) return refuse(disk, "damaged", "header");
  disk.write_protected = file[0x114] != 0;

  // Places one sector of track t whose data starts at `data`; -1 after the
  // message when it does not fit the file.
  std::int64_t data = header;
  auto take_sector = [&](int t, const std::uint8_t* slot) {
    if (slot[3] > 7) return refuse_track(disk, t);
    const std::int64_t length = std::int64_t{128} << slot[3];
    if (data + length > size) return refuse(disk, "damaged", "truncated");
    if (names_track(slot[0], slot[1], t)) {
      place_2hd(disk, t, slot[2], data,
                slot[3] == 3 ? sector_state::present : sector_state::wrong_size);
    }
    data += length;
    return 0;
  };

  if (revision0) {
    constexpr int tracks = 163;
    constexpr int slots = 26;
    start_2hd(disk, tracks);
    for (int t = 0; t < tracks; ++t) {
      for (int s = 0; s < slots; ++s) {
        const std::int64_t at = table + 16 * (std::int64_t{t} * slots + s);
        if (at + 16 > header) break;  // a shorter table holds fewer tracks
        if (file[static_cast<std::size_t>(at)] == 0xFF) continue;
        if (take_sector(t, file.data() + at) < 0) return -1;
      }
    }
  } else {
    constexpr int tracks = 164;
    if (header < table + 4 * tracks) return refuse(disk, "damaged", "header");
    start_2hd(disk, tracks);
    for (int t = 0; t < tracks; ++t) {
      const std::int64_t at = le32_at(file, table + 4 * t);
      if (at == 0) continue;
      if (at + 16 > size) return refuse_track(disk, t);
      const int count = le16_at(file, at);
      const int extra = le16_at(file, at + 2);
      if (at + 16 + 16 * (std::int64_t{count} + extra) > size) return refuse_track(disk, t);
      for (int k = 0; k < count; ++k) {
        if (take_sector(t, file.data() + at + 16 + 16 * k) < 0) return -1;
      }
      for (int k = 0; k < extra; ++k) {
        const std::uint8_t* record = file.data() + at + 16 + 16 * (std::int64_t{count} + k);
        data += (std::int64_t{record[9]} + 1) * read_le32(record + 10);
        if (data > size) return refuse(disk, "damaged", "truncated");
      }
    }
  }
  trim_2hd(disk);
  return 0;
}

int open_dim(disk_container& disk) {
  const std::vector<std::uint8_t>& file = disk.file_bytes;
  if (bytes_at(file, 0xAB, 11) != "DIFC HEADER") return not_this;
  disk.kind = container_kind::dim;
  if (file[0] != 0) return refuse(disk, "unsupported", "media type " + std::to_string(file[0]));
  constexpr int tracks = 170;
  constexpr std::int64_t track_bytes = hd_sector_bytes * hd_track_sectors;
  start_2hd(disk, tracks);
  std::int64_t at = 0x100;
  for (int t = 0; t < tracks; ++t) {
    if (file[static_cast<std::size_t>(1 + t)] == 0) continue;
    if (at + track_bytes > static_cast<std::int64_t>(file.size())) {
      return refuse(disk, "damaged", "truncated");
    }
    for (int r = 1; r <= hd_track_sectors; ++r) {
      place_2hd(disk, t, r, at + (r - 1) * hd_sector_bytes, sector_state::present);
    }
    at += track_bytes;
  }
  trim_2hd(disk);
  return 0;
}

// ---------------------------------------------------------------------------
// Apple II containers

// Places the sectors of the DSK layout over [data_offset, data_offset +
// data_length) in the order of disk.sector_order.
void place_dsk(disk_container& disk) {
  const auto& places = disk.sector_order == 2 ? dsk_prodos_places : dsk_dos_places;
  const std::int64_t sector = find_plain_layout(container_kind::dsk).sector_bytes;
  const std::int64_t track = sector * apple_track_sectors;
  const std::int64_t length = disk.data_length;
  const std::int64_t tracks = std::min<std::int64_t>(dsk_track_limit, (length + track - 1) / track);
  disk.sector_bytes = static_cast<std::int32_t>(sector);
  disk.sectors.assign(static_cast<std::size_t>(tracks * apple_track_sectors), sector_place{});
  for (std::int64_t t = 0; t < tracks; ++t) {
    for (std::size_t s = 0; s < apple_track_sectors; ++s) {
      const std::int64_t at = t * track + places[s] * sector;
      if (at + sector > length) continue;
      disk.sectors[static_cast<std::size_t>(t * apple_track_sectors) + s] = {
          static_cast<std::int32_t>(disk.data_offset + at), sector_state::present};
    }
  }
}

// Readies the decoded sectors of `tracks` tracks, all absent.
void start_decoded(disk_container& disk, int tracks) {
  disk.decoded = true;
  disk.sector_bytes = apple_sector_bytes;
  disk.decoded_bytes.assign(static_cast<std::size_t>(tracks) * apple_track_data, 0);
  disk.sectors.resize(static_cast<std::size_t>(tracks) * apple_track_sectors);
  for (std::size_t n = 0; n < disk.sectors.size(); ++n) {
    disk.sectors[n] = {static_cast<std::int32_t>(n * apple_sector_bytes), sector_state::absent};
  }
}

// The decoded bytes and the states of track t.
std::span<std::uint8_t, apple_track_data> decoded_track(disk_container& disk, int t) {
  return std::span<std::uint8_t, apple_track_data>(
      disk.decoded_bytes.data() + static_cast<std::size_t>(t) * apple_track_data, apple_track_data);
}

void set_track_states(disk_container& disk, int t,
                      const std::array<sector_state, apple_track_sectors>& states) {
  for (std::size_t s = 0; s < apple_track_sectors; ++s) {
    disk.sectors[static_cast<std::size_t>(t) * apple_track_sectors + s].state = states[s];
  }
}

// Decodes the 35 tracks of NIB nibbles at `nibbles`.
void decode_nib(disk_container& disk, std::span<const std::uint8_t> nibbles) {
  start_decoded(disk, apple_tracks);
  for (int t = 0; t < apple_tracks; ++t) {
    std::array<sector_state, apple_track_sectors> states{};
    decode_nibble_track(
        nibbles.subspan(static_cast<std::size_t>(t) * nib_track_bytes, nib_track_bytes), t,
        decoded_track(disk, t), states);
    set_track_states(disk, t, states);
  }
}

int open_2mg(disk_container& disk) {
  const std::vector<std::uint8_t>& file = disk.file_bytes;
  if (bytes_at(file, 0, 4) != "2IMG") return not_this;
  disk.kind = container_kind::image_2mg;
  if (file.size() < 64) return refuse(disk, "damaged", "truncated");
  const std::uint32_t format = le32_at(file, 0x0C);
  const std::int64_t offset = le32_at(file, 0x18);
  std::int64_t length = le32_at(file, 0x1C);
  if (format == 1 && length == 0) length = std::int64_t{le32_at(file, 0x14)} * 512;
  if (format > 2) return refuse(disk, "unsupported", "format " + std::to_string(format));
  if (offset + length > static_cast<std::int64_t>(file.size())) {
    return refuse(disk, "damaged", "truncated");
  }
  disk.data_offset = static_cast<std::int32_t>(offset);
  disk.data_length = static_cast<std::int32_t>(length);
  if (format == 2) {
    if (length != nib_file_bytes) return refuse(disk, "damaged", "nibble data length");
    decode_nib(disk, std::span(file).subspan(static_cast<std::size_t>(offset), nib_file_bytes));
    return 0;
  }
  disk.sector_order = static_cast<int>(format) + 1;
  place_dsk(disk);
  return 0;
}

// A chunk id as printable text.
std::string chunk_name(const std::uint8_t* id) {
  std::string name;
  for (int i = 0; i < 4; ++i)
    name += id[i] >= 0x20 && id[i] < 0x7F ? static_cast<char>(id[i]) : '?';
  return name;
}

int open_woz(disk_container& disk) {
  const std::vector<std::uint8_t>& file = disk.file_bytes;
  const std::string_view magic = bytes_at(file, 0, 8);
  const bool version1 = magic == std::string_view("WOZ1\xFF\n\r\n", 8);
  if (!version1 && magic != std::string_view("WOZ2\xFF\n\r\n", 8)) return not_this;
  disk.kind = container_kind::woz;
  const auto size = static_cast<std::int64_t>(file.size());

  struct chunk {
    std::int64_t at = -1;  // its data
    std::int64_t size = 0;
  };
  chunk info, tmap, trks;
  for (std::int64_t at = 12; at + 8 <= size;) {
    const std::int64_t length = le32_at(file, at + 4);
    if (at + 8 + length > size)
      return refuse(disk, "damaged", "chunk " + chunk_name(file.data() + at));
    const std::string_view id = bytes_at(file, static_cast<std::size_t>(at), 4);
    chunk* known = id == "INFO" ? &info : id == "TMAP" ? &tmap : id == "TRKS" ? &trks : nullptr;
    if (known != nullptr && known->at < 0) *known = {at + 8, length};
    at += 8 + length;
  }
  if (info.at < 0 || tmap.at < 0 || trks.at < 0) {
    return refuse(disk, "damaged",
                  info.at < 0   ? "no INFO chunk"
                  : tmap.at < 0 ? "no TMAP chunk"
                                : "no TRKS chunk");
  }
  if (info.size < 2) return refuse(disk, "damaged", "chunk INFO");
  if (tmap.size < 160) return refuse(disk, "damaged", "chunk TMAP");
  const int disk_type = file[static_cast<std::size_t>(info.at + 1)];
  if (disk_type != 1) return refuse(disk, "unsupported", "disk type " + std::to_string(disk_type));

  // The whole tracks the map holds, each decoded from its bits.
  constexpr int tracks = 40;
  int last = apple_tracks - 1;
  for (int t = 0; t < tracks; ++t) {
    if (file[static_cast<std::size_t>(tmap.at + 4 * t)] != 0xFF) last = std::max(last, t);
  }
  start_decoded(disk, last + 1);
  for (int t = 0; t <= last; ++t) {
    const int index = file[static_cast<std::size_t>(tmap.at + 4 * t)];
    if (index == 0xFF) continue;
    std::int64_t bits_at = 0;
    std::int64_t bits_size = 0;
    std::int64_t bit_count = 0;
    if (version1) {
      constexpr std::int64_t record = 6656;
      constexpr std::int64_t bit_bytes = 6646;
      bits_at = trks.at + record * index;
      if ((index + 1) * record > trks.size) return refuse_track(disk, t);
      bits_size = bit_bytes;
      bit_count = le16_at(file, bits_at + 6648);
    } else {
      const std::int64_t entry = trks.at + 8 * std::int64_t{index};
      if (index >= 160 || 8 * (std::int64_t{index} + 1) > trks.size) return refuse_track(disk, t);
      bits_at = std::int64_t{le16_at(file, entry)} * 512;
      bits_size = std::int64_t{le16_at(file, entry + 2)} * 512;
      bit_count = le32_at(file, entry + 4);
      if (bits_at + bits_size > size) return refuse_track(disk, t);
    }
    if (bit_count > bits_size * 8 || bit_count > woz_track_bit_limit) return refuse_track(disk, t);
    std::array<sector_state, apple_track_sectors> states{};
    decode_bit_track(std::span(file).subspan(static_cast<std::size_t>(bits_at),
                                             static_cast<std::size_t>(bits_size)),
                     bit_count, t, decoded_track(disk, t), states);
    set_track_states(disk, t, states);
  }
  return 0;
}

// Tries each recognition of `openers` in turn: the first container that
// takes the file wins.
int open_first(disk_container& disk, std::initializer_list<int (*)(disk_container&)> openers) {
  for (auto open : openers) {
    const int result = open(disk);
    if (result != not_this) return result;
  }
  return not_this;
}

// Recognises the container of disk.file_bytes for disk.family and places
// its sectors: 0, or -1 after the message.
int open_family(disk_container& disk) {
  int result = not_this;
  switch (disk.family) {
    case disk_family::pc98:
      result = open_first(disk, {open_nfd, open_d88});
      if (result == not_this) map_plain_volume(disk, container_kind::fdi);
      break;
    case disk_family::x68k:
      result = open_first(disk, {open_dim, open_d88});
      if (result == not_this) map_plain_volume(disk, container_kind::xdf);
      break;
    case disk_family::apple2:
      result = open_first(disk, {open_2mg, open_woz});
      if (result == not_this && disk.file_bytes.size() == nib_file_bytes) {
        disk.kind = container_kind::nib;
        decode_nib(disk, disk.file_bytes);
        result = 0;
      }
      if (result == not_this) {
        disk.kind = container_kind::dsk;
        disk.data_length = static_cast<std::int32_t>(disk.file_bytes.size());
        map_apple_order(disk, 1);
      }
      break;
  }
  return result < 0 ? -1 : 0;
}

}  // namespace

int open_disk_container(disk_container& disk, std::vector<std::uint8_t> bytes,
                        const std::string& path, disk_family family) {
  disk = disk_container{};
  int result = -1;
  try {
    disk.family = family;
    disk.path = path;
    disk.file_bytes = std::move(bytes);
    result = open_family(disk);
  } catch (const std::bad_alloc&) {
    std::printf("memory exhaust!\n");
  }
  if (result < 0) disk = disk_container{};
  return result;
}

void map_plain_volume(disk_container& disk, container_kind kind) {
  const auto plain = [](container_kind k) {
    return k == container_kind::fdi || k == container_kind::hdm || k == container_kind::xdf;
  };
  // FDI and HDM are the PC-98 views, XDF the X68000 one.
  const bool fits_family = disk.family == disk_family::pc98   ? kind != container_kind::xdf
                           : disk.family == disk_family::x68k ? kind == container_kind::xdf
                                                              : false;
  if (!plain(disk.kind) || !plain(kind) || !fits_family) return;
  const plain_layout& layout = find_plain_layout(kind);
  const auto size = static_cast<std::int64_t>(disk.file_bytes.size());
  const std::int64_t length = std::max<std::int64_t>(size - layout.data_offset, 0);
  const std::int64_t count = length / layout.sector_bytes;
  disk.kind = kind;
  disk.data_offset = layout.data_offset;
  disk.data_length = static_cast<std::int32_t>(length);
  disk.sector_bytes = layout.sector_bytes;
  disk.sectors.resize(static_cast<std::size_t>(count));
  for (std::int64_t n = 0; n < count; ++n) {
    disk.sectors[static_cast<std::size_t>(n)] = {
        static_cast<std::int32_t>(layout.data_offset + n * layout.sector_bytes),
        sector_state::present};
  }
}

void map_apple_order(disk_container& disk, int sector_order) {
  const bool sectors =
      disk.kind == container_kind::dsk || (disk.kind == container_kind::image_2mg && !disk.decoded);
  if (!sectors || (sector_order != 1 && sector_order != 2)) return;
  disk.sector_order = sector_order;
  place_dsk(disk);
}
