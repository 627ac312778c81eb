// Disk containers built around the synthetic volumes, in the layouts the
// tools that write them use: a bare 2HD volume (fat12_volume::data, 1024-byte
// sectors, sector n on track n / 8 as record n % 8 + 1) as D88, HDM, NFD or
// DIM, and a DOS 3.3 image (dos33_image) as 2MG, NIB or WOZ. Everything is
// written from the container layouts by hand, the nibble codes included;
// damaged containers are made by editing the bytes afterwards.
#pragma once

#include <vector>

#include "testing/dos33_builder.h"
#include "testing/testing.h"

struct d88_layout {
  int header_bytes = 0x2B0;    // 0x2B0 (164 tracks), or 0x2A0 (160) as older files
  bool unused_at_end = false;  // unused track entries hold the file length, not 0
  bool write_protected = false;
  std::vector<int> absent_tracks;  // tracks left out of the file
};

// The records of every track are stored out of order: record (3k + t) % 8 + 1
// is the k-th sector of track t, in the D88 and NFD forms alike.
bytes make_d88(const bytes& volume, const d88_layout& layout = {});

// The bare volume, cut or padded with zeros to 1,261,568 bytes.
bytes make_hdm(const bytes& volume);

// The volume after a 4096-byte FDI header (fat12_volume::as_fdi).
bytes make_fdi(const bytes& volume);

// NFD revision 0 (the 163 x 26 slot table) or 1 (track records; with
// `extra_read_track` not negative, that track also carries one extra read
// of 100 bytes, retried once, after its sectors).
bytes make_nfd(const bytes& volume, int revision, int extra_read_track = -1);

// DIM of media type 0 (2HD); the tracks in `absent_tracks` are flagged
// absent and not stored.
bytes make_dim(const bytes& volume, const std::vector<int>& absent_tracks = {});

// 2MG of format 0 (DOS 3.3 order), 1 (ProDOS order) or 2 (NIB nibbles),
// with a comment after the data.
bytes make_2mg(const dos33_image& image, int format);

// The tracks of the image as a controller would read them: 16 sectors a
// track, physical sector p holding DOS 3.3 sector [0 7 14 6 13 5 12 4 11 3
// 10 2 9 1 8 15][p], volume 254, sync runs of different lengths, each
// track starting at another place: inside the data field of physical
// sector t mod 16, which so straddles the end of the stream.
// NIB: 6656 nibbles a track, padded with sync bytes. WOZ (version 1 or 2):
// a bit stream a track, sync bytes of 10 bits, quarter tracks 4t - 1, 4t
// and 4t + 1 mapped to track t, a META chunk, and the CRC-32 filled in.
bytes make_nib(const dos33_image& image);
bytes make_woz(const dos33_image& image, int version);

// Offset in a D88 of every track (the 0x2B0 header) of the sector header
// stored k-th (0-7) on track t.
std::size_t d88_sector_header(int t, int k);

// Offset in a NIB of the address field (D5 AA 96) of physical sector p on
// track t, one that does not straddle the end of the track, or with `data`
// of the data field (D5 AA AD) after it.
std::size_t nib_field(const bytes& nib, int t, int p, bool data = false);
