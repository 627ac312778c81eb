// Synthetic FAT12 volumes of the one geometry the FAT12 library reads:
// 1024-byte sectors, 1 boot sector with a plausible BIOS parameter block,
// two FAT copies of 2 sectors, a 6-sector root directory, then clusters
// (cluster n at byte 9216 + 1024 * n of the volume).
//
// Typical use:
//   fat12_volume volume;
//   volume.add_file("SHAPE   PAT", contents, {7, 3, 40, 41});  // fragmented
//   write_file(dir / "disk.xdf", volume.as_xdf());
// Anything unusual (a broken chain, a damaged slot) is made afterwards with
// set_fat() or by editing `data` at slot_offset() / cluster_offset().
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "testing/testing.h"

struct fat12_volume {
  // A formatted, empty volume of `sectors` 1024-byte sectors (1232 is a
  // 2HD floppy: 77 cylinders, 2 heads, 8 sectors).
  explicit fat12_volume(int sectors = 1232);

  // Writes FAT entry `cluster` = `value` in both FAT copies.
  void set_fat(int cluster, int value);

  // Adds a root directory entry for `dos_name` (the 11-character form,
  // e.g. "SHAPE   PAT") in the next free slot, stores `contents` along
  // `clusters` (in chain order; links them in the FAT and ends the chain
  // with 0xFFF) and records `size` as the directory size (contents.size()
  // when negative). Returns the slot index.
  int add_file(const std::string& dos_name, const bytes& contents, const std::vector<int>& clusters,
               std::int64_t size = -1);

  // A file or folder entry of a folder made by add_folder: its chain is
  // linked in the FAT (the clusters' bytes are left as they are).
  struct folder_entry {
    std::string dos_name;
    std::vector<int> clusters;
    std::uint32_t size = 0;
    std::uint8_t attributes = 0x20;  // 0x10 for a folder
  };

  // Makes the one-cluster folder `dos_name` at `cluster`: "." and "..",
  // then `entries`. Its own entry goes into the root directory, or into
  // the folder at cluster `parent` when that is not 0. Returns the byte
  // position in `data` of the first of `entries`.
  std::size_t add_folder(const std::string& dos_name, int cluster,
                         const std::vector<folder_entry>& entries, int parent = 0);

  // Adds a file on consecutive clusters starting at `first_cluster`.
  int add_file_contiguous(const std::string& dos_name, const bytes& contents, int first_cluster,
                          std::int64_t size = -1);

  // A volume holding `contents` as its one file `dos_name`, on consecutive
  // clusters from cluster 2.
  static fat12_volume with_file(const std::string& dos_name, const bytes& contents);

  // Clusters needed for `length` bytes.
  static int clusters_for(std::size_t length);

  // The image file forms: a 4096-byte FDI header then the volume, or the
  // bare volume (XDF).
  bytes as_fdi() const;
  bytes as_xdf() const;

  // Byte position in `data` of root directory slot `slot` (0-191) and of
  // the first byte of cluster `cluster`.
  static std::size_t slot_offset(int slot);
  static std::size_t cluster_offset(int cluster);

  static constexpr int sector_bytes = 1024;
  static constexpr int fdi_header_bytes = 4096;
  static constexpr int root_slots = 192;

  bytes data;  // the raw volume
};
