// make_samples FOLDER: writes a set of disk images that hold the sample
// tile set where each platform keeps its shapes, so that every program can
// be run without a disk of the title:
//   SHAPES.EGA        the PC tile file
//   KVboot.dsk        Apple II DOS 3.3 volume in DOS 3.3 sector order
//   KVboot.po         the same volume in ProDOS sector order
//   KV_Mirath.fdi     PC-98 disk 1 (FDI header + FAT12 volume) with OCSHAPE.PAT
//   KV_Thalwynd.fdi   PC-98 disk 2 with SWSHAPE.PAT
//   kv-mirath.xdf     X68000 disk (bare FAT12 volume) with SHAPE.PAT
//   kv-mirath.dim     the same disk as a DIM image, its unused last tracks left out
//   KVboot.woz        the Apple II disk as a WOZ 2 image (disk nibbles, bit by bit)
// Each FAT12 volume also holds a few small files, and its shape file lies in
// three pieces out of order, as on a disk that has been written many times.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "apple2/apple2.h"
#include "samples/samples.h"
#include "testing/container_builder.h"
#include "testing/dos33_builder.h"
#include "testing/fat12_builder.h"

namespace {

// DOS 3.3 file type of a binary file: load address and length before the data.
constexpr std::uint8_t apple_binary_type = 0x04;
constexpr std::uint8_t apple_text_type = 0x00;

// `count` repeatable pseudo-random bytes standing in for program and map data.
bytes filler_bytes(std::size_t count, std::uint32_t seed) {
  bytes data(count);
  for (std::uint8_t& b : data) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(seed >> 24);
  }
  return data;
}

// A text file with CR LF line ends, as DOS editors save it.
bytes dos_text(const std::string& text) {
  bytes data;
  for (char ch : text) {
    if (ch == '\n') data.push_back('\r');
    data.push_back(static_cast<std::uint8_t>(ch));
  }
  return data;
}

// Clusters first, first + 1, ... first + count - 1.
std::vector<int> cluster_run(int first, int count) {
  std::vector<int> run(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) run[static_cast<std::size_t>(i)] = first + i;
  return run;
}

// A 2HD FAT12 volume: a text file and a program at the start, then the
// shape file in three pieces (the last piece first on the disk) with a
// data file between the pieces.
fat12_volume make_fat12_volume(const std::string& program_name, const std::string& shape_name,
                               const bytes& shapes, const std::string& data_name,
                               std::uint32_t seed) {
  fat12_volume volume;
  const bytes readme =
      dos_text("Sample disk made by make_samples.\nThe tile pictures are drawn by program.\n");
  const bytes program = filler_bytes(23000, seed);
  const bytes data = filler_bytes(7000, seed + 1);
  volume.add_file_contiguous("README  DOC", readme, 2);
  volume.add_file_contiguous(program_name, program, 3);

  const int first = 3 + fat12_volume::clusters_for(program.size());
  const int pieces = fat12_volume::clusters_for(shapes.size());
  const int head = pieces / 3, middle = pieces / 3, tail = pieces - head - middle;
  const int gap = fat12_volume::clusters_for(data.size());
  std::vector<int> chain = cluster_run(first + tail, head);
  const std::vector<int> second = cluster_run(first + tail + head + gap, middle);
  const std::vector<int> third = cluster_run(first, tail);
  chain.insert(chain.end(), second.begin(), second.end());
  chain.insert(chain.end(), third.begin(), third.end());
  volume.add_file(shape_name, shapes, chain);
  volume.add_file_contiguous(data_name, data, first + tail + head);
  return volume;
}

// An Apple II volume with a text file and the two hi-res shape files.
dos33_image make_apple_volume() {
  dos33_image disk;
  bytes text;  // Apple II text: high-bit ASCII, lines ended by carriage return
  for (char ch : std::string("SAMPLE DISK MADE BY MAKE_SAMPLES\n")) {
    text.push_back(static_cast<std::uint8_t>((ch == '\n' ? '\r' : ch) | 0x80));
  }
  disk.add_file("README", apple_text_type, text);
  const std::array<std::vector<std::uint8_t>, 2> shapes = make_sample_apple_shapes();
  for (std::size_t i = 0; i < shapes.size(); ++i) {
    disk.add_file(std::string(shape_file_names[i]), apple_binary_type,
                  dos33_image::with_length_header(apple_binary_type, shapes[i]));
  }
  return disk;
}

// Writes one file whole; false after "can't write '%s'\n".
bool write_sample(const std::filesystem::path& path, const bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) {
    std::printf("can't write '%s'\n", path.string().c_str());
    return false;
  }
  std::printf("write '%s'\n", path.string().c_str());
  return true;
}

}  // namespace

int run_make_samples(int argc, char** argv) {
  if (argc < 2) {
    std::printf("no output folder\n");
    return 1;
  }
  const std::string folder_name = argv[1];
  if (argc > 2 || folder_name == "--help") {
    std::printf(
        "usage: make_samples FOLDER\n"
        "writes SHAPES.EGA, KVboot.dsk, KVboot.po, KVboot.woz, KV_Mirath.fdi,\n"
        "KV_Thalwynd.fdi, kv-mirath.xdf and kv-mirath.dim, holding a tile set drawn by\n"
        "program, into FOLDER\n");
    return 1;
  }
  const std::filesystem::path folder(folder_name);
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::printf("can't create folder '%s'\n", folder_name.c_str());
    return 1;
  }

  try {
    const std::array<std::vector<std::uint8_t>, 2> pc98 = make_sample_pc98_shapes();
    const dos33_image apple = make_apple_volume();
    const fat12_volume x68k = make_fat12_volume("GAME    X  ", "SHAPE   PAT",
                                                make_sample_x68k_shapes(), "MAP     DAT", 3);
    const bool written =
        write_sample(folder / "SHAPES.EGA", make_sample_ega_shapes()) &&
        write_sample(folder / "KVboot.dsk", apple.as_dos_order()) &&
        write_sample(folder / "KVboot.po", apple.as_prodos_order()) &&
        write_sample(folder / "KVboot.woz", make_woz(apple, 2)) &&
        write_sample(
            folder / "KV_Mirath.fdi",
            make_fat12_volume("GAME    EXE", "OCSHAPE PAT", pc98[0], "MAP     DAT", 1).as_fdi()) &&
        write_sample(
            folder / "KV_Thalwynd.fdi",
            make_fat12_volume("TOWNS   EXE", "SWSHAPE PAT", pc98[1], "TOWNS   DAT", 2).as_fdi()) &&
        write_sample(folder / "kv-mirath.xdf", x68k.as_xdf()) &&
        write_sample(folder / "kv-mirath.dim", make_dim(x68k.data, {150, 151, 152, 153}));
    return written ? 0 : 1;
  } catch (const std::exception& e) {
    // The volume builders throw when a file does not fit.
    std::printf("can't build the sample images: %s\n", e.what());
    return 1;
  }
}
