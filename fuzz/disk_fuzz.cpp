// The disk container library on whole fuzzed image files, and its Apple II
// track decoders on single fuzzed tracks: every sector the container
// places is looked up (its first and last byte touched, writable ones
// written back unchanged), the other views of plain files are placed too,
// and a few missing sectors are reported.
#include <cstdint>
#include <vector>

#include "disk/disk.h"
#include "fuzz/fuzz_support.h"

namespace {

void touch_sectors(disk_container& disk) {
  int reported = 0;
  for (std::int32_t n = 0; n < static_cast<std::int32_t>(disk.sectors.size()); ++n) {
    const std::uint8_t* sector = find_sector(disk, n);
    if (sector == nullptr) {
      if (reported++ < 4) print_sector_fault(disk, n);
      continue;
    }
    volatile std::uint8_t sum =
        static_cast<std::uint8_t>(sector[0] + sector[disk.sector_bytes - 1]);
    (void)sum;
    if (std::uint8_t* writable = find_writable_sector(disk, n)) {
      writable[disk.sector_bytes - 1] = sector[disk.sector_bytes - 1];
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int mode = data[0] & 3;
  std::vector<std::uint8_t> payload(data + 1, data + size);
  if (mode == 3) {
    std::array<std::uint8_t, apple_track_data> out{};
    std::array<sector_state, apple_track_sectors> states{};
    if ((data[0] & 4) == 0) {
      decode_nibble_track(payload, 17, out, states);
    } else if (payload.size() >= 3) {
      const std::int64_t bit_count = payload[0] | payload[1] << 8 | payload[2] << 16;
      decode_bit_track(std::span(payload).subspan(3), bit_count, 17, out, states);
    }
    return 0;
  }
  const disk_family family = mode == 0   ? disk_family::pc98
                             : mode == 1 ? disk_family::x68k
                                         : disk_family::apple2;
  disk_container disk;
  if (open_disk_container(disk, std::move(payload), "fuzz.img", family) != 0) return 0;
  touch_sectors(disk);
  if (family == disk_family::apple2) {
    map_apple_order(disk, 2);
    touch_sectors(disk);
  } else {
    map_plain_volume(disk, container_kind::hdm);
    touch_sectors(disk);
  }
  return 0;
}
