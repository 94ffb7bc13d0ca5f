// The C API over any bytes, with the digest made right or not: every call
// on every record stays inside the image and answers 0 or a code with a
// message; records reached in any order are the records of a walk in file
// order; the verdict is the one mocf_check gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "mocf/mocf.h"

namespace {

void Expect(bool holds) {
  if (!holds) std::abort();
}

// A failing call says why.
void Answered(int code) { Expect(code == MOCF_OK || (code < 0 && *mocf_error_last()->message)); }

bool Same(const mocf_record& a, const mocf_record& b) {
  return a.number == b.number && a.offset == b.offset && a.tag == b.tag && a.length == b.length &&
         std::strcmp(a.kind, b.kind) == 0 && a.read == b.read;
}

void Touch(const unsigned char* data, uint64_t size, unsigned* sum) {
  if (size) *sum += data[0] + data[size - 1];
}

void Fields(mocf_file* file, int n, unsigned* sum) {
  const unsigned char* data = nullptr;
  const char* text = nullptr;
  uint64_t size = 0;
  size_t textSize = 0, count = 0;
  uint32_t products[4];
  char* description = nullptr;
  Answered(mocf_record_description(file, n, &description));
  mocf_free(description);
  for (int part : {MOCF_PART_RECORD, MOCF_PART_VALUE, MOCF_PART_CONTENT}) {
    if (mocf_record_data(file, n, part, &data, &size) == MOCF_OK) Touch(data, size, sum);
    unsigned char buffer[16];
    size_t copied = 0;
    Answered(mocf_record_read(file, n, part, size > 8 ? size - 8 : 0, buffer, sizeof buffer, &copied));
    Expect(copied <= sizeof buffer);
  }
  if (mocf_user_file(file, n, &text, &textSize, &data, &size) == MOCF_OK) Touch(data, size, sum);
  if (mocf_firmware(file, n, &text, &textSize, &data, &size) == MOCF_OK) Touch(data, size, sum);
  Answered(mocf_text(file, n, &text, &textSize));
  Answered(mocf_part_number(file, n, &text, &textSize));
  Answered(mocf_products(file, n, products, 4, &count));
}

void Check(const std::vector<unsigned char>& image) {
  mocf_file* file = nullptr;
  Expect(mocf_open_memory(&file, image.data(), image.size(), "f") == MOCF_OK);
  const int count = mocf_record_count(file);
  Expect(mocf_valid(file) == (mocf_check(file) == MOCF_OK));
  Expect(mocf_valid(file) == (mocf_reason(file) == nullptr));
  std::vector<mocf_record> records(static_cast<size_t>(count));
  unsigned sum = 0;
  for (int n = 1; n <= count; ++n) {
    Expect(mocf_record_get(file, n, &records[static_cast<size_t>(n - 1)]) == MOCF_OK);
    Fields(file, n, &sum);
  }
  mocf_record record;
  Expect(mocf_record_get(file, count + 1, &record) == MOCF_ENOTFOUND);
  // Backwards, then strides that cross the walk's kept states.
  for (int n = count; n >= 1; n -= 1 + n / 3) {
    Expect(mocf_record_get(file, n, &record) == MOCF_OK);
    Expect(Same(record, records[static_cast<size_t>(n - 1)]));
  }
  mocf_close(file);
  (void)sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<unsigned char> image(data, data + size);
  Check(image);
  Check(fuzz::Sealed(image));
  return 0;
}
