// mocf-take MOCF NAME OUT: writes the bytes of the user file stored as NAME
// to OUT, or to standard output when OUT is "-". Exits 0 when it did, 1 when
// the MOCF is not valid or holds no such file, 2 on errors.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include <mocf/mocf.hpp>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: mocf-take MOCF NAME OUT\n";
    return 2;
  }
  const std::string out = argv[3];
  try {
    mocf::File mocf = mocf::File::open(argv[1]);
    // A record's bytes are only as good as the hash over them, as with
    // mocfinfo --extract.
    if (!mocf.valid()) {
      std::cerr << argv[1] << ": invalid: " << mocf.reason() << '\n';
      return 1;
    }
    mocf::UserFile file;
    if (!mocf.findUserFile(argv[2], &file)) {
      std::cerr << argv[1] << ": no user file named " << argv[2] << '\n';
      return 1;
    }
    std::ofstream stream;
    if (out != "-") stream.open(out, std::ios::binary | std::ios::trunc);
    std::ostream& sink = out == "-" ? std::cout : stream;
    const std::string_view bytes = file.data.view();
    if (!sink.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush()) {
      std::cerr << "cannot write " << (out == "-" ? "standard output" : out) << ": "
                << std::strerror(errno) << '\n';
      return 2;
    }
  } catch (const mocf::Error& error) {
    std::cerr << error.what();  // the programs' words, with their newline
    return 2;
  }
  return 0;
}
