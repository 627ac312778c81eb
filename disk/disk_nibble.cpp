// Apple II 16-sector tracks decoded from disk nibbles, as the disk
// controller and DOS 3.3 read them.
//
// A track holds 16 sectors, each an address field then a data field,
// separated by runs of sync bytes (FF):
//   address  D5 AA 96, volume, track, sector, checksum (each 4-and-4: two
//            nibbles (v >> 1) | AA, v | AA), DE AA EB
//   data     D5 AA AD, 343 6-and-2 nibbles, DE AA EB
// Data nibble k (0-341) holds value v[k] XOR v[k - 1] (v[-1] = 0); nibble
// 342 holds v[341]. v[0..85] carry the low two bits of bytes i, i + 86 and
// i + 172 (bits 0-1, 2-3, 4-5, each pair swapped); v[86..341] the high six
// bits of bytes 0-255. The epilogues are not checked: DOS tolerates other
// bytes there, and the checksum guards the data.
#include <algorithm>
#include <cstring>

#include "disk/disk.h"

namespace {

// A data field further than this from its address field belongs to no sector.
constexpr int data_search_nibbles = 64;
// Bits read before the window opens, to fall into step with the sync bytes.
constexpr std::int64_t warm_up_bits = 8192;
constexpr int data_nibbles = 343;

// Nibbles of a NIB track, one a byte; a position counts nibbles from the
// first, and nibble i is bytes[i mod size].
struct byte_source {
  std::span<const std::uint8_t> bytes;
  std::int64_t limit = 0;
  std::int64_t position = 0;
  std::size_t at = 0;  // position mod size

  // The next nibble and the position it starts at, or -1 at the limit.
  int next(std::int64_t& start) {
    if (position >= limit) return -1;
    start = position++;
    const int value = bytes[at];
    if (++at == bytes.size()) at = 0;
    return value;
  }
};

// Nibbles of a bit stream; a position counts bits. The controller shifts
// bits in until the top bit of its register is set: leading zero bits are
// lost, and a nibble is the 8 bits from the next 1 bit on.
struct bit_source {
  std::span<const std::uint8_t> bits;
  std::size_t count = 0;
  std::int64_t limit = 0;
  std::int64_t position = 0;
  std::size_t at = 0;  // position mod count

  bool one_at() const { return (bits[at >> 3] & (0x80 >> (at & 7))) != 0; }

  void step() {
    ++position;
    if (++at == count) at = 0;
  }

  int next(std::int64_t& start) {
    while (position < limit && !one_at()) step();
    if (position + 8 > limit) return -1;
    start = position;
    int value = 0;
    if (at + 8 <= count) {
      // No wrap inside the nibble: take it from the two bytes it spans
      // (the second exists whenever the nibble reaches into it).
      const std::size_t byte = at >> 3;
      const auto shift = static_cast<int>(at & 7);
      int pair = bits[byte] << 8;
      if (shift != 0) pair |= bits[byte + 1];
      value = pair >> (8 - shift) & 0xFF;
      position += 8;
      at += 8;
      if (at == count) at = 0;
    } else {
      for (int i = 0; i < 8; ++i) {
        value = value << 1 | (one_at() ? 1 : 0);
        step();
      }
    }
    return value;
  }
};

// Decodes a 4-and-4 pair; -1 when either nibble lacks the 1 bits the
// code sets.
int decode_4_and_4(int a, int b) {
  if ((a & 0xAA) != 0xAA || (b & 0xAA) != 0xAA) return -1;
  return ((a << 1) | 1) & b;
}

// Reads the 8 nibbles after D5 AA 96: the physical sector number when the
// field is whole, checks out and names `track`, else -1.
template <typename Source>
int read_address_field(Source& source, int track) {
  std::array<int, 4> values{};
  for (int& value : values) {
    std::int64_t start = 0;
    const int a = source.next(start);
    const int b = source.next(start);
    if (a < 0 || b < 0) return -1;
    value = decode_4_and_4(a, b);
    if (value < 0) return -1;
  }
  const auto [volume, address_track, sector, checksum] = values;
  if ((volume ^ address_track ^ sector) != checksum) return -1;
  if (address_track != track || sector > 15) return -1;
  return sector;
}

// Reads the 343 nibbles after D5 AA AD into the 256 bytes of a sector.
// true when every nibble is a 6-and-2 nibble and the checksum holds.
template <typename Source>
bool read_data_field(Source& source, std::span<std::uint8_t, 256> sector) {
  std::array<std::uint8_t, data_nibbles - 1> values{};
  std::uint8_t running = 0;
  // The value of the next nibble, 0xFF for one outside the code or none.
  auto next_value = [&source] {
    std::int64_t start = 0;
    const int nibble = source.next(start);
    return nibble < 0 ? std::uint8_t{0xFF} : gcr62_values[static_cast<std::size_t>(nibble)];
  };
  for (std::uint8_t& value : values) {
    const std::uint8_t stored = next_value();
    if (stored == 0xFF) return false;
    running = static_cast<std::uint8_t>(running ^ stored);
    value = running;
  }
  if (next_value() != running) return false;
  // A low-bit pair is stored swapped: its bit 0 is the byte's bit 1.
  auto low_bits = [](int pair) { return (pair >> 1 & 1) | (pair << 1 & 2); };
  for (std::size_t i = 0; i < 256; ++i) {
    const int low = values[i % 86] >> (2 * (i / 86)) & 3;
    sector[i] = static_cast<std::uint8_t>(values[86 + i] << 2 | low_bits(low));
  }
  return true;
}

// Scans the address fields that start in [window_start, window_end) and
// their data fields, reading on past the window's end only while a sector
// waits for its data.
template <typename Source>
void scan_track(Source& source, std::int64_t window_start, std::int64_t window_end, int track,
                std::span<std::uint8_t, apple_track_data> out,
                std::array<sector_state, apple_track_sectors>& states) {
  std::array<int, 16> seen{};   // good address fields, by physical sector
  std::array<bool, 16> read{};  // a data field decoded
  std::array<std::uint8_t, 256> sector{};
  std::uint32_t marks = 0;  // the last three nibbles, newest lowest
  std::array<std::int64_t, 3> starts = {window_start, window_start,
                                        window_start};  // where they start, oldest first
  int waiting = -1;  // physical sector whose data field is looked for
  int waited = 0;    // nibbles since its address field
  for (;;) {
    std::int64_t start = 0;
    const int nibble = source.next(start);
    if (nibble < 0) break;
    marks = (marks << 8 | static_cast<std::uint32_t>(nibble)) & 0xFFFFFF;
    starts = {starts[1], starts[2], start};
    // Past the window once no field that began in it can still be whole.
    if (starts[0] >= window_end && waiting < 0) break;
    if (waiting >= 0 && ++waited > data_search_nibbles) waiting = -1;
    if (marks >> 8 != 0xD5AA) continue;
    if (marks == 0xD5AA96) {
      waiting = -1;
      if (starts[0] >= window_end) break;
      if (starts[0] < window_start) continue;
      marks = 0;
      const int physical = read_address_field(source, track);
      if (physical < 0) continue;
      ++seen[static_cast<std::size_t>(physical)];
      waiting = physical;
      waited = 0;
    } else if (marks == 0xD5AAAD && waiting >= 0) {
      marks = 0;
      const auto p = static_cast<std::size_t>(waiting);
      waiting = -1;
      if (read_data_field(source, std::span(sector)) && !read[p]) {
        read[p] = true;
        std::memcpy(out.data() + 256 * dos_physical_to_logical[p], sector.data(), sector.size());
      }
    }
  }
  for (std::size_t p = 0; p < 16; ++p) {
    sector_state& state = states[dos_physical_to_logical[p]];
    state = seen[p] > 1 ? sector_state::duplicate
            : read[p]   ? sector_state::present
                        : sector_state::unreadable;
    if (state != sector_state::present) {
      std::fill_n(out.data() + 256 * dos_physical_to_logical[p], 256, std::uint8_t{0});
    }
  }
}

}  // namespace

void decode_nibble_track(std::span<const std::uint8_t> nibbles, int track,
                         std::span<std::uint8_t, apple_track_data> out,
                         std::array<sector_state, apple_track_sectors>& states) {
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  states.fill(sector_state::unreadable);
  if (nibbles.empty()) return;
  const auto size = static_cast<std::int64_t>(nibbles.size());
  // The bytes are nibbles already: no falling into step, one turn of
  // address fields, and at most one more turn to finish the last sector.
  byte_source source{nibbles, 2 * size};
  scan_track(source, 0, size, track, out, states);
}

void decode_bit_track(std::span<const std::uint8_t> bits, std::int64_t bit_count, int track,
                      std::span<std::uint8_t, apple_track_data> out,
                      std::array<sector_state, apple_track_sectors>& states) {
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  states.fill(sector_state::unreadable);
  if (bit_count <= 0 || bit_count > static_cast<std::int64_t>(bits.size()) * 8) return;
  const std::int64_t warm_up = std::min(bit_count, warm_up_bits);
  bit_source source{bits, static_cast<std::size_t>(bit_count), warm_up + 2 * bit_count};
  scan_track(source, warm_up, warm_up + bit_count, track, out, states);
}
