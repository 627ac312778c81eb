// PNG writing and reading through libpng.
//
// libpng reports an error by calling the error function, which must not
// return: ours keeps the reason and leaves through longjmp to the setjmp
// of the function that called libpng. Those functions (write_png_rows and
// decode_png) therefore create no object with a destructor, and no C++
// exception ever passes through libpng's frames.
#include <algorithm>
#include <array>
#include <new>

#include "bitmap/bitmap.h"

bool is_png_signature(std::span<const std::uint8_t> head) {
  static constexpr std::array<std::uint8_t, 8> signature = {
      0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return head.size() >= signature.size() &&
         std::equal(signature.begin(), signature.end(), head.begin());
}

#ifdef SHAPETOOLS_PNG

#include <png.h>

namespace {

// The largest width and height PNG allows: with these as libpng's limits,
// every header of a valid PNG reaches the caller's size check, which then
// refuses what its sheet does not allow before anything is allocated.
constexpr png_uint_32 largest_png_side = 0x7FFFFFFF;

// The longest chunk accepted (libpng's own default). No chunk is held in
// memory whole: IHDR, PLTE and tRNS are read into small fixed buffers, IDAT
// is streamed and the rest are skipped, so this bounds only what a damaged
// length makes libpng read through, and lets metadata of any likely size by.
constexpr png_alloc_size_t largest_chunk = 8000000;

// What the callbacks share with the functions that call libpng: plain
// data only, since an error leaves through longjmp.
struct png_session {
  std::FILE* input = nullptr;
  std::vector<std::uint8_t>* output = nullptr;
  char reason[128] = {};
};

// Keeps libpng's reason and returns to the caller's setjmp.
void on_png_error(png_structp png, png_const_charp message) {
  auto* session = static_cast<png_session*>(png_get_error_ptr(png));
  std::snprintf(session->reason, sizeof session->reason, "%s", message);
  png_longjmp(png, 1);
}

// Warnings report what libpng corrected or skipped; they never end a read.
void on_png_warning(png_structp, png_const_charp) {}

void read_png_data(png_structp png, png_bytep data, std::size_t length) {
  auto* session = static_cast<png_session*>(png_get_io_ptr(png));
  if (std::fread(data, 1, length, session->input) != length) {
    png_error(png, std::ferror(session->input) != 0 ? "read error" : "unexpected end of file");
  }
}

void write_png_data(png_structp png, png_bytep data, std::size_t length) {
  auto* session = static_cast<png_session*>(png_get_io_ptr(png));
  bool stored = true;
  try {
    session->output->insert(session->output->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    stored = false;
  }
  if (!stored) png_error(png, "out of memory");
}

void flush_png_data(png_structp) {}

// Writes the header, the palette and every row of a 1- or 4-bit palette
// image; libpng packs the rows of one index a byte. 0 or -1.
int write_png_rows(png_structp png, png_infop info, png_session& session, std::uint32_t width,
                   std::uint32_t height, int bit_count, const png_color* colours, int entries,
                   const std::uint8_t* canvas) {
  if (setjmp(png_jmpbuf(png)) != 0) return -1;
  png_set_write_fn(png, &session, write_png_data, flush_png_data);
  png_set_IHDR(png, info, width, height, bit_count, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(png, info, colours, entries);
  png_write_info(png, info);
  png_set_packing(png);
  for (std::uint32_t y = 0; y < height; ++y) png_write_row(png, canvas + std::size_t{width} * y);
  png_write_end(png, nullptr);
  return 0;
}

// Reads the header, asks `accept_size`, then decodes every row, of every
// interlace pass, into blue, green, red canvas rows and reads the chunks
// after the image. 0; -1 a libpng error (its reason in the session); -2 out
// of memory; -3 refused by `accept_size`.
int decode_png(png_structp png, png_infop info, png_session& session,
               const png_size_check& accept_size, std::uint32_t& width, std::uint32_t& height,
               std::vector<std::uint8_t>& canvas) {
  if (setjmp(png_jmpbuf(png)) != 0) return -1;
  png_set_read_fn(png, &session, read_png_data);
  // A bad CRC in any chunk, and every fault libpng would otherwise only
  // warn about ("benign" errors, such as a bad zlib checksum), refuse it.
  png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
  png_set_benign_errors(png, 0);
  png_set_user_limits(png, largest_png_side, largest_png_side);
  png_set_chunk_cache_max(png, 1);  // keeps none
  png_set_chunk_malloc_max(png, largest_chunk);
  // Every ancillary chunk but tRNS is skipped (no gamma or colour profile
  // changes a colour); tRNS only adds alpha, which is dropped below.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_read_info(png, info);
  width = png_get_image_width(png, info);
  height = png_get_image_height(png, info);
  if (!accept_size(width, height)) return -3;

  png_set_expand(png);
  png_set_gray_to_rgb(png);
  png_set_scale_16(png);
  png_set_strip_alpha(png);
  png_set_bgr(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const std::size_t row_bytes = std::size_t{width} * 3;
  if (png_get_rowbytes(png, info) != row_bytes) png_error(png, "unexpected row layout");
  try {
    canvas.assign(row_bytes * height, 0);
  } catch (const std::bad_alloc&) {
    return -2;
  }
  // Each pass adds its pixels to the rows the earlier passes filled.
  for (int pass = 0; pass < passes; ++pass) {
    for (std::uint32_t y = 0; y < height; ++y) {
      png_read_row(png, canvas.data() + row_bytes * y, nullptr);
    }
  }
  png_read_end(png, nullptr);
  return 0;
}

}  // namespace

bool png_supported() { return true; }

int encode_png(std::uint32_t width, std::uint32_t height, int bit_count,
               std::span<const std::uint8_t> palette, std::span<const std::uint8_t> canvas,
               std::vector<std::uint8_t>& file) {
  const int entries = bit_count == 1 ? 2 : bit_count == 4 ? 16 : 0;
  if (entries == 0 || palette.size() < 4 * static_cast<std::size_t>(entries) ||
      canvas.size() < std::uint64_t{width} * height) {
    return -1;
  }
  // BMP entries are blue, green, red, fourth byte.
  std::array<png_color, 16> colours{};
  for (std::size_t i = 0; i < static_cast<std::size_t>(entries); ++i) {
    colours[i] = {palette[4 * i + 2], palette[4 * i + 1], palette[4 * i]};
  }
  std::vector<std::uint8_t> built;
  png_session session;
  session.output = &built;
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, &session, on_png_error, on_png_warning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  const int result = info != nullptr ? write_png_rows(png, info, session, width, height, bit_count,
                                                      colours.data(), entries, canvas.data())
                                     : -1;
  png_destroy_write_struct(&png, &info);
  if (result < 0) return -1;
  file.swap(built);
  return 0;
}

int read_png(std::FILE* file, const std::string& name, const png_size_check& accept_size,
             std::uint32_t& width, std::uint32_t& height, std::vector<std::uint8_t>& canvas) {
  png_session session;
  session.input = file;
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, &session, on_png_error, on_png_warning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  const int result =
      info != nullptr ? decode_png(png, info, session, accept_size, width, height, canvas) : -2;
  png_destroy_read_struct(&png, &info, nullptr);
  if (result == -1) std::printf("png error '%s': %s\n", name.c_str(), session.reason);
  if (result == -2) std::printf("error: memory exhaust!\n");
  return result == -3 ? -1 : result;
}

#else  // a build without libpng, which neither writes nor reads PNG files

bool png_supported() { return false; }

int encode_png(std::uint32_t, std::uint32_t, int, std::span<const std::uint8_t>,
               std::span<const std::uint8_t>, std::vector<std::uint8_t>&) {
  return -1;
}

int read_png(std::FILE*, const std::string&, const png_size_check&, std::uint32_t&, std::uint32_t&,
             std::vector<std::uint8_t>&) {
  return -1;
}

#endif
