// Builds disk containers around synthetic volumes (see container_builder.h).
// All integers little-endian.
#include "testing/container_builder.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <stdexcept>
#include <string>

#include "testing/fat12_builder.h"

namespace {

constexpr std::size_t hd_sector = 1024;
constexpr int hd_sectors_per_track = 8;
constexpr std::size_t hdm_bytes = 77 * 2 * 8 * hd_sector;

void put16(bytes& data, std::size_t at, std::uint32_t value) {
  data.at(at) = static_cast<std::uint8_t>(value);
  data.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

void put32(bytes& data, std::size_t at, std::uint32_t value) {
  put16(data, at, value & 0xFFFF);
  put16(data, at + 2, value >> 16);
}

void put_text(bytes& data, std::size_t at, const std::string& text) {
  std::copy(text.begin(), text.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
}

void append(bytes& data, const bytes& more) { data.insert(data.end(), more.begin(), more.end()); }

int track_count(const bytes& volume) {
  return static_cast<int>((volume.size() + hd_sector * hd_sectors_per_track - 1) /
                          (hd_sector * hd_sectors_per_track));
}

// The 1024 bytes of record r (1-8) of track t, zeros past the volume's end.
bytes hd_record(const bytes& volume, int t, int r) {
  bytes sector(hd_sector, 0);
  const std::size_t from =
      (static_cast<std::size_t>(t) * hd_sectors_per_track + static_cast<std::size_t>(r) - 1) *
      hd_sector;
  if (from < volume.size()) {
    std::copy_n(volume.begin() + static_cast<std::ptrdiff_t>(from),
                std::min(hd_sector, volume.size() - from), sector.begin());
  }
  return sector;
}

// The record stored k-th on track t.
int stored_record(int t, int k) { return (3 * k + t) % hd_sectors_per_track + 1; }

bool listed(const std::vector<int>& tracks, int t) {
  return std::find(tracks.begin(), tracks.end(), t) != tracks.end();
}

// ---------------------------------------------------------------------------
// Apple II nibbles

// 6-and-2 code: the disk nibble of each value 0-63.
// clang-format off
constexpr std::array<std::uint8_t, 64> six_and_two = {
    0x96, 0x97, 0x9A, 0x9B, 0x9D, 0x9E, 0x9F, 0xA6, 0xA7, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB2, 0xB3,
    0xB4, 0xB5, 0xB6, 0xB7, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xCB, 0xCD, 0xCE, 0xCF, 0xD3,
    0xD6, 0xD7, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xE5, 0xE6, 0xE7, 0xE9, 0xEA, 0xEB, 0xEC,
    0xED, 0xEE, 0xEF, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
// The DOS 3.3 sector that physical sector p holds.
constexpr std::array<int, 16> logical_of_physical = {0, 7, 14, 6, 13, 5, 12, 4, 11, 3, 10, 2, 9, 1, 8, 15};
// clang-format on
constexpr int volume_number = 254;

// One disk nibble, or a sync byte (FF followed by two zero bits on a bit
// stream, a plain FF in a NIB).
struct nibble {
  std::uint8_t value = 0xFF;
  bool sync = false;
};

void add(std::vector<nibble>& track, std::initializer_list<int> values) {
  for (int v : values) track.push_back({static_cast<std::uint8_t>(v), false});
}

void add_sync(std::vector<nibble>& track, int count) {
  for (int i = 0; i < count; ++i) track.push_back({0xFF, true});
}

void add_4_and_4(std::vector<nibble>& track, int value) {
  add(track, {(value >> 1) | 0xAA, value | 0xAA});
}

// The 343 nibbles of a data field holding `data`.
void add_6_and_2(std::vector<nibble>& track, std::span<const std::uint8_t> data) {
  // A byte's low two bits, swapped.
  auto low = [&](std::size_t i) { return i < 256 ? (data[i] & 1) << 1 | (data[i] >> 1 & 1) : 0; };
  std::array<int, 342> values{};
  for (std::size_t i = 0; i < 86; ++i) {
    values[i] = low(i) | low(i + 86) << 2 | low(i + 172) << 4;
  }
  for (std::size_t i = 0; i < 256; ++i) values[86 + i] = data[i] >> 2;
  int previous = 0;
  for (int v : values) {
    add(track, {six_and_two[static_cast<std::size_t>(v ^ previous)]});
    previous = v;
  }
  add(track, {six_and_two[static_cast<std::size_t>(previous)]});
}

// Track t of the image in physical sector order, gaps varying by track
// and sector, and where it starts: inside the data field of physical
// sector t mod 16, a different place on every track, so that this field
// straddles the end of the stream.
struct encoded_track {
  std::vector<nibble> nibbles;
  std::size_t start = 0;  // the nibble the stream starts at
};

encoded_track encode_track(const dos33_image& image, int t) {
  encoded_track track;
  std::vector<nibble>& out = track.nibbles;
  add_sync(out, 40 + t % 5 * 4);
  for (int p = 0; p < 16; ++p) {
    add(out, {0xD5, 0xAA, 0x96});
    add_4_and_4(out, volume_number);
    add_4_and_4(out, t);
    add_4_and_4(out, p);
    add_4_and_4(out, volume_number ^ t ^ p);
    add(out, {0xDE, 0xAA, 0xEB});
    add_sync(out, 5 + p % 4);
    if (p == t % 16) track.start = out.size() + 40 + static_cast<std::size_t>(t);
    add(out, {0xD5, 0xAA, 0xAD});
    const std::size_t at =
        (static_cast<std::size_t>(t) * 16 +
         static_cast<std::size_t>(logical_of_physical[static_cast<std::size_t>(p)])) *
        256;
    add_6_and_2(out, std::span(image.data).subspan(at, 256));
    add(out, {0xDE, 0xAA, 0xEB});
    add_sync(out, 14 + (t + p) % 9);
  }
  return track;
}

bytes nib_track(const dos33_image& image, int t) {
  const encoded_track track = encode_track(image, t);
  bytes nibbles;
  for (const nibble& n : track.nibbles) nibbles.push_back(n.value);
  if (nibbles.size() > 6656) throw std::length_error("NIB track too long");
  nibbles.resize(6656, 0xFF);
  std::rotate(nibbles.begin(), nibbles.begin() + static_cast<std::ptrdiff_t>(track.start),
              nibbles.end());
  return nibbles;
}

// A WOZ track: its bit stream (most significant bit first) and bit count.
struct bit_track {
  bytes bits;
  std::size_t count = 0;
};

bit_track woz_track(const dos33_image& image, int t) {
  const encoded_track track = encode_track(image, t);
  std::vector<bool> stream;
  std::size_t start = 0;
  for (std::size_t i = 0; i < track.nibbles.size(); ++i) {
    // The stream starts inside the nibble, t mod 8 bits into it.
    if (i == track.start) start = stream.size() + static_cast<std::size_t>(t % 8);
    const nibble& n = track.nibbles[i];
    for (int bit = 7; bit >= 0; --bit) stream.push_back((n.value >> bit & 1) != 0);
    if (n.sync) stream.insert(stream.end(), 2, false);
  }
  std::rotate(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(start), stream.end());
  bit_track bits;
  bits.count = stream.size();
  bits.bits.assign((stream.size() + 7) / 8, 0);
  for (std::size_t i = 0; i < stream.size(); ++i) {
    if (stream[i]) bits.bits[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
  }
  return bits;
}

// CRC-32 (reflected, polynomial EDB88320), as zip and WOZ use it.
std::uint32_t crc32(std::span<const std::uint8_t> data) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (std::uint8_t byte : data) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
  }
  return ~crc;
}

void add_chunk(bytes& file, const char* id, const bytes& data) {
  const std::size_t at = file.size();
  file.resize(at + 8);
  put_text(file, at, id);
  put32(file, at + 4, static_cast<std::uint32_t>(data.size()));
  append(file, data);
}

}  // namespace

bytes make_d88(const bytes& volume, const d88_layout& layout) {
  const int table_entries = (layout.header_bytes - 0x20) / 4;
  const int tracks = std::min(track_count(volume), table_entries);
  bytes file(static_cast<std::size_t>(layout.header_bytes), 0);
  put_text(file, 0, "SHAPETOOLS");
  file[0x1A] = layout.write_protected ? 0x10 : 0x00;
  file[0x1B] = 0x20;  // 2HD
  std::vector<std::size_t> starts(static_cast<std::size_t>(table_entries), 0);
  for (int t = 0; t < tracks; ++t) {
    if (listed(layout.absent_tracks, t)) continue;
    starts[static_cast<std::size_t>(t)] = file.size();
    for (int k = 0; k < hd_sectors_per_track; ++k) {
      const int r = stored_record(t, k);
      bytes header(16, 0);
      header[0] = static_cast<std::uint8_t>(t / 2);
      header[1] = static_cast<std::uint8_t>(t % 2);
      header[2] = static_cast<std::uint8_t>(r);
      header[3] = 3;  // 1024 bytes
      put16(header, 4, hd_sectors_per_track);
      put16(header, 14, hd_sector);
      append(file, header);
      append(file, hd_record(volume, t, r));
    }
  }
  const auto size = static_cast<std::uint32_t>(file.size());
  put32(file, 0x1C, size);
  for (int t = 0; t < table_entries; ++t) {
    const std::size_t start = starts[static_cast<std::size_t>(t)];
    put32(file, 0x20 + 4 * static_cast<std::size_t>(t),
          start != 0             ? static_cast<std::uint32_t>(start)
          : layout.unused_at_end ? size
                                 : 0);
  }
  return file;
}

bytes make_fdi(const bytes& volume) {
  fat12_volume fat;
  fat.data = volume;
  return fat.as_fdi();
}

bytes make_hdm(const bytes& volume) {
  bytes file = volume;
  file.resize(hdm_bytes, 0);
  return file;
}

bytes make_nfd(const bytes& volume, int revision, int extra_read_track) {
  const int tracks = track_count(volume);
  bytes file(0x120, 0);
  put_text(file, 0, revision == 0 ? "T98FDDIMAGE.R0" : "T98FDDIMAGE.R1");
  put_text(file, 0x10, "shapetools test volume");
  file[0x115] = 2;  // heads
  // A sector's 16 bytes: C, H, R, N, MFM, DDAM, status, ST0-ST2, then (r1)
  // the retry flag and the PDA (0x90: 1.2 MB 2HD), or (r0) the PDA.
  auto sector_record = [&](int t, int r) {
    bytes record(16, 0);
    record[0] = static_cast<std::uint8_t>(t / 2);
    record[1] = static_cast<std::uint8_t>(t % 2);
    record[2] = static_cast<std::uint8_t>(r);
    record[3] = 3;
    record[4] = 1;
    record[revision == 0 ? 0x0A : 0x0B] = 0x90;
    return record;
  };
  bytes data;
  if (revision == 0) {
    for (int t = 0; t < 163; ++t) {
      for (int s = 0; s < 26; ++s) {
        if (t < tracks && s < hd_sectors_per_track) {
          append(file, sector_record(t, stored_record(t, s)));
          append(data, hd_record(volume, t, stored_record(t, s)));
        } else {
          bytes unused(16, 0);
          unused[0] = 0xFF;
          append(file, unused);
        }
      }
    }
    file.resize(0x10A10, 0);
  } else {
    file.resize(0x3C0, 0);  // the track offsets, the extra information offset, reserved
    for (int t = 0; t < tracks; ++t) {
      const bool extra = t == extra_read_track;
      put32(file, 0x120 + 4 * static_cast<std::size_t>(t), static_cast<std::uint32_t>(file.size()));
      bytes summary(16, 0);
      put16(summary, 0, hd_sectors_per_track);
      put16(summary, 2, extra ? 1 : 0);
      append(file, summary);
      for (int s = 0; s < hd_sectors_per_track; ++s) {
        append(file, sector_record(t, stored_record(t, s)));
        append(data, hd_record(volume, t, stored_record(t, s)));
      }
      if (extra) {
        // An extra read of record 1: retried once, 100 bytes each time.
        bytes record(16, 0);
        record[1] = static_cast<std::uint8_t>(t / 2);
        record[2] = static_cast<std::uint8_t>(t % 2);
        record[3] = 1;
        record[4] = 3;
        record[9] = 1;
        put32(record, 10, 100);
        record[14] = 0x90;
        append(file, record);
        append(data, bytes(200, 0xEE));
      }
    }
  }
  put32(file, 0x110, static_cast<std::uint32_t>(file.size()));
  append(file, data);
  return file;
}

bytes make_dim(const bytes& volume, const std::vector<int>& absent_tracks) {
  const int tracks = std::min(track_count(volume), 170);
  bytes file(0x100, 0);
  file[0] = 0;  // 2HD
  put_text(file, 0xAB, "DIFC HEADER  ");
  put_text(file, 0xC2, "shapetools test volume");
  for (int t = 0; t < tracks; ++t) {
    if (listed(absent_tracks, t)) continue;
    file[1 + static_cast<std::size_t>(t)] = 1;
    for (int r = 1; r <= hd_sectors_per_track; ++r) append(file, hd_record(volume, t, r));
  }
  return file;
}

bytes make_2mg(const dos33_image& image, int format) {
  bytes data = format == 0   ? image.as_dos_order()
               : format == 1 ? image.as_prodos_order()
                             : make_nib(image);
  const std::string comment = "shapetools test image";
  bytes file(64, 0);
  put_text(file, 0, "2IMG");
  put_text(file, 4, "STLS");
  put16(file, 8, 64);
  put16(file, 0x0A, 1);
  put32(file, 0x0C, static_cast<std::uint32_t>(format));
  put32(file, 0x10, 0x100 | volume_number);  // the volume number is set
  put32(file, 0x14, format == 1 ? static_cast<std::uint32_t>(data.size() / 512) : 0);
  put32(file, 0x18, 64);
  put32(file, 0x1C, static_cast<std::uint32_t>(data.size()));
  put32(file, 0x20, static_cast<std::uint32_t>(64 + data.size()));
  put32(file, 0x24, static_cast<std::uint32_t>(comment.size()));
  append(file, data);
  file.insert(file.end(), comment.begin(), comment.end());
  return file;
}

bytes make_nib(const dos33_image& image) {
  bytes file;
  for (int t = 0; t < image.tracks; ++t) append(file, nib_track(image, t));
  return file;
}

bytes make_woz(const dos33_image& image, int version) {
  bytes file(12, 0);
  put_text(file, 0, version == 1 ? "WOZ1" : "WOZ2");
  file[4] = 0xFF;
  file[5] = 0x0A;
  file[6] = 0x0D;
  file[7] = 0x0A;

  bytes info(60, 0);
  info[0] = static_cast<std::uint8_t>(version);
  info[1] = 1;  // 5.25"
  put_text(info, 5, "shapetools test builder         ");
  if (version == 2) {
    info[37] = 1;         // sides
    info[38] = 1;         // 16-sector boot sector
    info[39] = 32;        // optimal bit timing, 125 ns units
    put16(info, 44, 13);  // largest track, in blocks
  }
  add_chunk(file, "INFO", info);

  bytes tmap(160, 0xFF);
  for (int t = 0; t < image.tracks; ++t) {
    const auto quarter = static_cast<std::size_t>(4 * t);
    tmap[quarter] = tmap[quarter + 1] = static_cast<std::uint8_t>(t);
    if (t > 0) tmap[quarter - 1] = static_cast<std::uint8_t>(t);
  }
  add_chunk(file, "TMAP", tmap);

  bytes trks;
  if (version == 1) {
    for (int t = 0; t < image.tracks; ++t) {
      const bit_track track = woz_track(image, t);
      if (track.bits.size() > 6646) throw std::length_error("WOZ1 track too long");
      bytes record(6656, 0);
      std::copy(track.bits.begin(), track.bits.end(), record.begin());
      put16(record, 6646, static_cast<std::uint32_t>(track.bits.size()));
      put16(record, 6648, static_cast<std::uint32_t>(track.count));
      put16(record, 6650, 0xFFFF);  // no splice point
      append(trks, record);
    }
    add_chunk(file, "TRKS", trks);
  } else {
    // The entries, then the bits from block 3 on (the TRKS data starts at
    // byte 256 of the file: 12 + 68 + 168 + 8).
    trks.assign(160 * 8, 0);
    std::uint32_t block = 3;
    for (int t = 0; t < image.tracks; ++t) {
      const bit_track track = woz_track(image, t);
      const auto blocks = static_cast<std::uint32_t>((track.bits.size() + 511) / 512);
      const auto entry = 8 * static_cast<std::size_t>(t);
      put16(trks, entry, block);
      put16(trks, entry + 2, blocks);
      put32(trks, entry + 4, static_cast<std::uint32_t>(track.count));
      bytes padded = track.bits;
      padded.resize(512 * static_cast<std::size_t>(blocks), 0);
      append(trks, padded);
      block += blocks;
    }
    add_chunk(file, "TRKS", trks);
    const std::string meta = "title\tshapetools test image\n";
    add_chunk(file, "META", bytes(meta.begin(), meta.end()));
  }
  put32(file, 8, crc32(std::span(file).subspan(12)));
  return file;
}

std::size_t d88_sector_header(int t, int k) {
  return 0x2B0 + static_cast<std::size_t>(t * hd_sectors_per_track + k) * (16 + hd_sector);
}

std::size_t nib_field(const bytes& nib, int t, int p, bool data) {
  const std::size_t end = static_cast<std::size_t>(t + 1) * 6656;
  const auto field = [&](std::size_t at, std::uint8_t last) {
    return nib.at(at) == 0xD5 && nib.at(at + 1) == 0xAA && nib.at(at + 2) == last;
  };
  std::size_t at = static_cast<std::size_t>(t) * 6656;
  // The sector number in 4-and-4 code: odd bits, then even bits, each with
  // the other bits set.
  while (at + 11 < end && !(field(at, 0x96) && (((nib[at + 7] << 1) | 1) & nib[at + 8]) == p)) ++at;
  while (data && at + 3 < end && !field(at, 0xAD)) ++at;
  return at;
}
