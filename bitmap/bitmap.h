// Windows V3 BMP files: the header record, little-endian field access,
// writing, reading with validation, and conversion between bit counts; and
// PNG files, written as palette images and read into a 24-bit canvas.
//
// File layout written and accepted (all fields little-endian):
//   0   "BM"
//   2   u32 file_length      6  u16 reserved1     8  u16 reserved2
//   10  u32 data_offset      14 u32 header_size (40)
//   18  u32 width            22 u32 height (rows stored bottom-up)
//   26  u16 planes (1)       28 u16 bit_count (1, 4, 8, 16, 24, 32)
//   30  u32 compression (0)  34 u32 data_length
//   38  u32 x_pixels_per_meter   42 u32 y_pixels_per_meter
//   46  u32 colors_used      50 u32 colors_important
//   54  palette: 2, 16 or 256 entries of blue, green, red, fourth byte
//       (indexed bit counts only), then the pixel rows, each padded to 4 bytes.
//
// A pixel canvas is the unpadded in-memory image: `height` rows of `width`
// pixels, top row first; one byte per pixel (a palette index) for 1, 4 and
// 8 bits, 2, 3 or 4 bytes per pixel in file byte order for 16, 24 and 32 bits.
//
// Operations print their own one-line message on failure ("error: ...()")
// and return a negative result: -1 format, argument, read or write failure,
// -2 out of memory, -3 (read_bitmap only) no canvas given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <vector>

struct bitmap_header {
  std::uint32_t file_length = 0;
  std::uint16_t reserved1 = 0;
  std::uint16_t reserved2 = 0;
  std::uint32_t data_offset = 0;
  std::uint32_t header_size = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t planes = 0;
  std::uint16_t bit_count = 0;
  std::uint32_t compression = 0;
  std::uint32_t data_length = 0;
  std::uint32_t x_pixels_per_meter = 0;
  std::uint32_t y_pixels_per_meter = 0;
  std::uint32_t colors_used = 0;
  std::uint32_t colors_important = 0;
};

// Size of the two file headers together.
inline constexpr int bitmap_header_bytes = 54;

// Little-endian field access. The writers return the pointer advanced past
// the field; the readers store the advanced pointer in `cursor` when given.
std::uint8_t* write_le32(std::uint8_t* p, std::uint32_t value);
std::uint8_t* write_le16(std::uint8_t* p, std::uint16_t value);
std::uint32_t read_le32(const std::uint8_t* p, const std::uint8_t** cursor = nullptr);
std::uint16_t read_le16(const std::uint8_t* p, const std::uint8_t** cursor = nullptr);

// Palette entries for a bit count: 2, 16 or 256 for indexed bitmaps, 0 for
// direct colour, -1 for an unsupported bit count.
int bitmap_palette_entries(int bit_count);

// Bytes per canvas pixel: 1 for 1, 4 and 8 bits, else bit_count / 8.
int bitmap_pixel_bytes(int bit_count);

// Fills a header for a new bottom-up, uncompressed V3 bitmap. Returns -1 for
// an unsupported bit count, leaving the three length fields untouched.
int init_bitmap_header(bitmap_header& header, std::uint32_t width, std::uint32_t height,
                       std::uint16_t bit_count);

// Stored (padded to 4 bytes) row length in bytes, or -1 for an unsupported
// bit count.
int bitmap_row_length(int width, int bit_count);

// Writes the 54 header bytes with one call; 0 or -1.
int write_bitmap_header(std::FILE* file, const bitmap_header& header);

// Writes `count` 4-byte entries (0 to 256) with one call; 0 or -1.
int write_palette(std::FILE* file, const std::uint8_t* palette, int count);

// Builds the bytes of a whole BMP into `file`: header as it stands, palette
// (all black when `palette` is null, for indexed bit counts), then the
// canvas rows bottom-up, each padded to 4 bytes. -1 without a message (and
// nothing built) for an unsupported bit count or a canvas shorter than the
// header promises; -2 after "error: memory exhaust!\n".
int encode_bitmap(const bitmap_header& header, const std::uint8_t* palette,
                  std::span<const std::uint8_t> canvas, std::vector<std::uint8_t>& file);

// Writes the bytes encode_bitmap builds: the header, the palette and the
// rows each with one call. -1 after "error: write_bitmap() - can't write
// bitmap header\n", "... palette\n" or "... bitmap data\n" (the stream
// failed by the end), or where encode_bitmap fails (after its message, if
// it has one).
int write_bitmap(std::FILE* file, const bitmap_header& header, const std::uint8_t* palette,
                 std::span<const std::uint8_t> canvas);

// Validates a header against the one layout the library writes. Returns the
// number of warnings (0 to 2; a zero data_length is corrected in place) or -1.
int check_bitmap_header(bitmap_header& header);

// Reads and checks the 54 header bytes. -1 without a message when they are
// short or the magic is not "BM"; otherwise the result of the check.
int read_bitmap_header(std::FILE* file, bitmap_header& header);

// Reads `count` 4-byte entries (0 to 256) with one call; 0 or -1.
int read_palette(std::FILE* file, std::uint8_t* palette, int count);

// Reads a whole BMP into `canvas` (resized to width x height x pixel bytes).
// For indexed bitmaps the palette is read into `palette` (resized to 4 bytes
// per entry), or skipped when `palette` is null; direct-colour bitmaps leave
// it untouched. With `header_already_read` the file must stand directly after
// the 54 header bytes and `header` must hold them, already checked.
int read_bitmap(std::FILE* file, bitmap_header& header, std::vector<std::uint8_t>* palette,
                std::vector<std::uint8_t>* canvas, bool header_already_read);

// Reads a whole BMP as read_bitmap does (header included), but allocates a
// canvas only for a bitmap of at most `max_width` x `max_height` pixels. A
// larger one is read through to its end in small pieces, kept nowhere, and
// gives 1: a caller that refuses its size still finds a short file failing
// as read_bitmap fails it, without memory for the size it claims.
int read_bitmap_within(std::FILE* file, bitmap_header& header, std::vector<std::uint8_t>* palette,
                       std::vector<std::uint8_t>* canvas, std::uint32_t max_width,
                       std::uint32_t max_height);

// Index of the palette entry nearest to the colour (squared distance over
// blue, green and red; the lowest index wins a tie; 0 for an empty palette).
int nearest_color(int red, int green, int blue, const std::uint8_t* palette, int count);

// Converts a canvas of one bit count into a canvas of another with the same
// size, matching indexed colours by nearest colour, never by index. An empty
// palette span means "none": the built-in black/white pair for 1 bit, a
// failure for 4 and 8 bits. `destination` is resized to the output size and
// zero-filled first. Returns 0, -1 (bad arguments or bit count) or -2.
int convert_bit_count(int width, int height, int source_bits,
                      std::span<const std::uint8_t> source_palette,
                      std::span<const std::uint8_t> source, int destination_bits,
                      std::span<const std::uint8_t> destination_palette,
                      std::vector<std::uint8_t>& destination);

// PNG files (through libpng, where the build has it). A PNG is a signature
// and a chain of chunks: u32 length (big-endian), 4-letter type, data,
// CRC-32 of type and data. IHDR (width, height, bit depth, colour type,
// interlacing) comes first, PLTE holds a palette image's red, green, blue
// entries, the IDAT chunks one zlib stream of filtered rows, IEND ends it.

// True when this build reads and writes PNG files. Without that support
// encode_png and read_png fail at once, without a message.
bool png_supported();

// True when `head` begins with the 8-byte PNG signature 89 50 4E 47 0D 0A 1A 0A.
bool is_png_signature(std::span<const std::uint8_t> head);

// Builds a whole PNG into `file`: a palette image of `bit_count` (1 or 4)
// bits a pixel, not interlaced, whose PLTE holds the 2 or 16 entries of the
// BMP palette `palette` in its order (red, green and blue; the fourth byte
// is not stored, and there is no tRNS), from a canvas of one index a byte.
// -1 without a message (and nothing built) for another bit count, a canvas
// or palette shorter than the picture needs, a failure of the library (out
// of memory) or a build without PNG support.
int encode_png(std::uint32_t width, std::uint32_t height, int bit_count,
               std::span<const std::uint8_t> palette, std::span<const std::uint8_t> canvas,
               std::vector<std::uint8_t>& file);

// Judges a PNG's width and height, given from its IHDR before any pixel is
// decoded; false refuses the file.
using png_size_check = std::function<bool(std::uint32_t width, std::uint32_t height)>;

// Reads a PNG from `file` (standing at its signature) into `canvas` as
// read_bitmap reads a 24-bit BMP: blue, green, red a pixel, top row first.
// Every colour type, bit depth and interlacing is read: palette and grey
// samples give their colour, 16-bit samples are scaled to 8 bits, an alpha
// channel and tRNS transparency are dropped (the colour is used as stored,
// never blended), and no gamma is applied: the other ancillary chunks
// (gAMA, iCCP, text, ...) are skipped, their CRCs checked. A refusal by `accept_size` ends the read with -1 and
// no message of its own. Returns 0; -1 after "png error '%s': %s\n" with
// `name` and libpng's reason (for instance "IDAT: CRC error"); -2 after
// "error: memory exhaust!\n".
int read_png(std::FILE* file, const std::string& name, const png_size_check& accept_size,
             std::uint32_t& width, std::uint32_t& height, std::vector<std::uint8_t>& canvas);
