// Synthetic DOS 3.3 volumes for the Apple II disk access tests.
#include "testing/dos33_builder.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace {

constexpr int catalog_track = 17;
constexpr int entry_start = 11;  // entry k at 11 + 35k of a catalog sector
constexpr int entry_bytes = 35;
constexpr int entries_per_sector = 7;
constexpr int pair_start = 12;      // pair k at 12 + 2k of a T/S list sector
constexpr int bitmap_start = 0x38;  // VTOC free-sector map, 4 bytes a track

// Position of DOS 3.3 sector s within its track in ProDOS order.
constexpr std::array<int, 16> prodos_position = {0, 14, 13, 12, 11, 10, 9, 8,
                                                 7, 6,  5,  4,  3,  2,  1, 15};

void put_le16(std::uint8_t* p, int value) {
  p[0] = static_cast<std::uint8_t>(value & 0xFF);
  p[1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

}  // namespace

dos33_image::dos33_image(int track_count, int catalog_sectors)
    : tracks(track_count),
      data(static_cast<std::size_t>(track_count) * dos33_track_bytes, 0),
      catalog_sectors_(catalog_sectors) {
  // VTOC: catalog start, DOS release 3, volume 254, 122 pairs per list,
  // last track allocated, direction, geometry.
  std::span<std::uint8_t> vtoc = sector(catalog_track, 0);
  vtoc[1] = catalog_track;
  vtoc[2] = 15;
  vtoc[3] = 3;
  vtoc[6] = 254;
  vtoc[0x27] = dos33_ts_pairs;
  vtoc[0x30] = catalog_track + 1;
  vtoc[0x31] = 1;
  vtoc[0x34] = static_cast<std::uint8_t>(track_count);
  vtoc[0x35] = 16;
  put_le16(&vtoc[0x36], dos33_sector_bytes);

  // Tracks 0 to 2 (DOS) and 17 (VTOC, catalog) are in use; the rest is
  // free, allocated outwards from the catalog track.
  for (int t = catalog_track + 1; t < track_count; ++t) {
    for (int s = 15; s >= 0; --s) free_sectors_.push_back({t, s});
  }
  for (int t = catalog_track - 1; t >= 3; --t) {
    for (int s = 15; s >= 0; --s) free_sectors_.push_back({t, s});
  }
  std::reverse(free_sectors_.begin(), free_sectors_.end());  // pop from the back
  for (int t = 3; t < std::min(track_count, 50); ++t) {
    if (t == catalog_track) continue;
    const auto at = static_cast<std::size_t>(bitmap_start + 4 * t);
    vtoc[at] = 0xFF;
    vtoc[at + 1] = 0xFF;
  }

  for (int i = 0; i < catalog_sectors; ++i) {
    const int s = 15 - i;
    std::span<std::uint8_t> catalog = sector(catalog_track, s);
    if (i + 1 < catalog_sectors) {
      catalog[1] = catalog_track;
      catalog[2] = static_cast<std::uint8_t>(s - 1);
    }
  }
}

std::span<std::uint8_t> dos33_image::sector(int track, int sector) {
  const std::size_t position =
      (static_cast<std::size_t>(track) * 16 + static_cast<std::size_t>(sector)) * dos33_sector_bytes;
  if (track < 0 || sector < 0 || sector > 15 || position + dos33_sector_bytes > data.size()) {
    throw std::out_of_range("dos33_image::sector outside the image");
  }
  return std::span<std::uint8_t>(data.data() + position, dos33_sector_bytes);
}

void dos33_image::mark_used(dos33_location where) {
  if (where.track >= 50) return;
  // Byte 0 holds sectors 15..8 (bit 7 = 15), byte 1 sectors 7..0; set = free.
  const int byte = bitmap_start + 4 * where.track + (where.sector >= 8 ? 0 : 1);
  sector(catalog_track, 0)[static_cast<std::size_t>(byte)] &=
      static_cast<std::uint8_t>(~(1 << (where.sector % 8)));
}

dos33_location dos33_image::allocate_sector() {
  if (free_sectors_.empty()) throw std::length_error("dos33_image: disk full");
  const dos33_location where = free_sectors_.back();
  free_sectors_.pop_back();
  mark_used(where);
  return where;
}

dos33_file dos33_image::add_file(const std::string& name, std::uint8_t type, const bytes& contents,
                                 int sector_count) {
  if (next_catalog_entry_ >= catalog_sectors_ * entries_per_sector) {
    throw std::length_error("dos33_image: catalog full");
  }
  dos33_file file;
  file.catalog_sector = 15 - next_catalog_entry_ / entries_per_sector;
  file.slot = next_catalog_entry_ % entries_per_sector;
  ++next_catalog_entry_;

  const std::size_t data_count = (contents.size() + dos33_sector_bytes - 1) / dos33_sector_bytes;
  const std::size_t list_count =
      std::max<std::size_t>(1, (data_count + dos33_ts_pairs - 1) / dos33_ts_pairs);
  for (std::size_t i = 0; i < list_count; ++i) file.ts_lists.push_back(allocate_sector());
  for (std::size_t i = 0; i < data_count; ++i) file.data.push_back(allocate_sector());

  for (std::size_t i = 0; i < data_count; ++i) {
    const std::size_t begin = i * dos33_sector_bytes;
    const std::size_t end = std::min(contents.size(), begin + dos33_sector_bytes);
    std::copy(contents.begin() + static_cast<std::ptrdiff_t>(begin),
              contents.begin() + static_cast<std::ptrdiff_t>(end),
              sector(file.data[i].track, file.data[i].sector).begin());
  }
  for (std::size_t i = 0; i < list_count; ++i) {
    const dos33_location list = file.ts_lists[i];
    std::span<std::uint8_t> bytes_of_list = sector(list.track, list.sector);
    put_le16(&bytes_of_list[5], static_cast<int>(i * dos33_ts_pairs));
    if (i + 1 < list_count)
      link_ts_list(list, file.ts_lists[i + 1].track, file.ts_lists[i + 1].sector);
    for (std::size_t k = 0; k < dos33_ts_pairs && i * dos33_ts_pairs + k < data_count; ++k) {
      const dos33_location where = file.data[i * dos33_ts_pairs + k];
      set_ts_pair(list, static_cast<int>(k), where.track, where.sector);
    }
  }

  std::span<std::uint8_t> e = entry(file);
  e[0] = static_cast<std::uint8_t>(file.ts_lists[0].track);
  e[1] = static_cast<std::uint8_t>(file.ts_lists[0].sector);
  e[2] = type;
  for (std::size_t i = 0; i < 30; ++i) {
    e[3 + i] = i < name.size() ? static_cast<std::uint8_t>(name[i] | 0x80) : 0xA0;
  }
  put_le16(&e[33], sector_count >= 0 ? sector_count : static_cast<int>(list_count + data_count));
  return file;
}

std::span<std::uint8_t> dos33_image::entry(const dos33_file& file) {
  return sector(catalog_track, file.catalog_sector)
      .subspan(static_cast<std::size_t>(entry_start + entry_bytes * file.slot), entry_bytes);
}

void dos33_image::link_catalog(int from_sector, int track, int sector_number) {
  std::span<std::uint8_t> catalog = sector(catalog_track, from_sector);
  catalog[1] = static_cast<std::uint8_t>(track);
  catalog[2] = static_cast<std::uint8_t>(sector_number);
}

void dos33_image::link_ts_list(dos33_location list, int track, int sector_number) {
  std::span<std::uint8_t> bytes_of_list = sector(list.track, list.sector);
  bytes_of_list[1] = static_cast<std::uint8_t>(track);
  bytes_of_list[2] = static_cast<std::uint8_t>(sector_number);
}

void dos33_image::set_ts_pair(dos33_location list, int k, int track, int sector_number) {
  std::span<std::uint8_t> bytes_of_list = sector(list.track, list.sector);
  const auto at = static_cast<std::size_t>(pair_start + 2 * k);
  bytes_of_list[at] = static_cast<std::uint8_t>(track);
  bytes_of_list[at + 1] = static_cast<std::uint8_t>(sector_number);
}

bytes dos33_image::as_dos_order() const { return data; }

bytes dos33_image::as_prodos_order() const {
  bytes out(data.size(), 0);
  for (int t = 0; t < tracks; ++t) {
    for (int s = 0; s < 16; ++s) {
      const auto from = data.begin() + (t * 16 + s) * dos33_sector_bytes;
      std::copy_n(from, dos33_sector_bytes,
                  out.begin() + (t * 16 + prodos_position[static_cast<std::size_t>(s)]) *
                                    dos33_sector_bytes);
    }
  }
  return out;
}

bytes dos33_image::with_length_header(std::uint8_t type, const bytes& body, int length,
                                      std::uint16_t address) {
  const int field = length >= 0 ? length : static_cast<int>(body.size());
  bytes header;
  switch (type & 0x7F) {
    case 0x01:
    case 0x02:
      header.resize(2);
      put_le16(&header[0], field);
      break;
    case 0x04:
      header.resize(4);
      put_le16(&header[0], address);
      put_le16(&header[2], field);
      break;
    case 0x10:
      header.resize(6);
      put_le16(&header[0], address);
      put_le16(&header[2], field);
      break;
    default:
      break;
  }
  header.insert(header.end(), body.begin(), body.end());
  return header;
}
