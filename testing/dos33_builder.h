// Synthetic Apple II disk images with a DOS 3.3 volume: tracks of 16
// sectors of 256 bytes, a VTOC at track 17 sector 0, a catalog chain on
// track 17 from sector 15 downwards, and files stored through chains of
// track/sector (T/S) lists. The image is kept in DOS 3.3 sector order
// (sector s of track t at (t * 16 + s) * 256) and handed out in either
// DOS 3.3 or ProDOS order.
//
// Everything can be poked afterwards through sector(), entry() and the
// link helpers, to build damaged images: catalog loops, T/S list loops,
// T/S lists or data sectors outside the image or with sector numbers
// above 15. Truncated images are the output of as_dos_order() or
// as_prodos_order() resized.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "testing/testing.h"

struct dos33_location {
  int track = 0;
  int sector = 0;  // DOS 3.3 sector number
};

// Where add_file put a file.
struct dos33_file {
  int catalog_sector = 0;                // the track 17 sector holding the entry
  int slot = 0;                          // entry 0 to 6 within it
  std::vector<dos33_location> ts_lists;  // chain order
  std::vector<dos33_location> data;      // file order
};

inline constexpr int dos33_sector_bytes = 256;
inline constexpr int dos33_track_bytes = 4096;
inline constexpr int dos33_ts_pairs = 122;

struct dos33_image {
  // A formatted, empty volume of `tracks` tracks (35 makes the usual
  // 143360-byte image) whose catalog chain runs through track 17, sectors
  // 15 down to 16 - catalog_sectors; the last one ends the chain.
  explicit dos33_image(int tracks = 35, int catalog_sectors = 15);

  // The 256 bytes of a sector, by DOS 3.3 sector number.
  std::span<std::uint8_t> sector(int track, int sector);

  // Stores `contents` as the file's data sectors (a length header, when the
  // type has one, is part of `contents`: see with_length_header), with as
  // many T/S lists as needed, and fills the next free catalog entry. The
  // name's characters get bit 7 set (control characters included) and are
  // padded with 0xA0 to 30 bytes. The sector count stored is T/S lists plus
  // data sectors, or `sector_count` when it is not negative. Sectors come
  // from tracks 18 upwards, then 16 downwards, 15 to 0 within a track, and
  // are marked used in the VTOC. Throws when the disk or catalog is full.
  dos33_file add_file(const std::string& name, std::uint8_t type, const bytes& contents,
                      int sector_count = -1);

  // The 35 bytes of a file's catalog entry.
  std::span<std::uint8_t> entry(const dos33_file& file);

  // Sets the next-sector link of catalog sector (17, from_sector).
  void link_catalog(int from_sector, int track, int sector);

  // Sets the next-list link of a T/S list sector.
  void link_ts_list(dos33_location list, int track, int sector);

  // Sets data pair k (0 to 121) of a T/S list sector.
  void set_ts_pair(dos33_location list, int k, int track, int sector);

  bytes as_dos_order() const;
  bytes as_prodos_order() const;

  // File contents with the length header of `type` (low 7 bits): 0x01 and
  // 0x02 a u16 length, 0x04 a u16 load address and the length, 0x10 a
  // u16 word and the length, then two more bytes; other types none. The
  // length field is body.size() unless `length` is not negative.
  static bytes with_length_header(std::uint8_t type, const bytes& body, int length = -1,
                                  std::uint16_t address = 0x2000);

  int tracks = 0;
  bytes data;  // DOS 3.3 order

 private:
  dos33_location allocate_sector();
  void mark_used(dos33_location where);
  int catalog_sectors_ = 0;
  int next_catalog_entry_ = 0;
  std::vector<dos33_location> free_sectors_;
};
