// The verdict kept up to date a record at a time must say, word for word,
// what the check of the whole grown image says; the whole check is the
// oracle here, run over every image a random sequence of appends makes.
#include "format/Gen6Verdict.h"

#include <gtest/gtest.h>

#include <random>

#include "format/Coding.h"
#include "format/MocfCreator.h"
#include "test_util.h"

using namespace std::string_literals;
using testutil::Bytes, testutil::Rec, testutil::U32;

static uint64_t Padded(const Bytes& record) { return (record.size() + 3) & ~uint64_t{3}; }

// The image with the record appended as the tool appends it: padded, the
// container's Length grown, the digest stored again.
static Bytes Grown(Bytes image, const Bytes& record) {
  image.insert(image.end(), record.begin(), record.end());
  image.resize(image.size() + Padded(record) - record.size());
  coding::EncodeFixed32(&image[4], static_cast<uint32_t>(image.size() - CTlv::kHeaderSize));
  return testutil::Seal(std::move(image));
}

// The records one by one on an empty container; by default the version and
// hash records alone, as a new MOCF starts.
static Bytes Image(const std::vector<Bytes>& records = {Rec(0, "\0\0"s),
                                                        Rec(1, std::string(20, '\0'))}) {
  Bytes image = testutil::FromHex("4d4f4346 00000000");
  for (const Bytes& record : records) image = Grown(image, record);
  return image;
}

// Taken a record at a time, as an image read in place is.
static bool TakeAll(const Bytes& image) {
  CGen6Verdict verdict;
  bool took = true;
  CTlvContainerParser walk(CTlv::AtByte(image.data()), image.size());
  for (const CTlv::Header_t* p = walk.GetFirstRecord(); p; p = walk.GetNextRecord())
    took = verdict.Take(p, CTlvContainerParser::GetPaddedSize(p)) && took;
  return took && verdict.HoldsTogether();
}

static std::string ProductList(const std::vector<uint32_t>& ids) {
  std::string value = U32(static_cast<uint32_t>(ids.size()));
  for (uint32_t id : ids) value += U32(id);
  return value;
}

constexpr unsigned int kFw0 = 0x60000000, kUser = 0x60000002, kKeys = 0x60000003,
                       kDefaults = 0x60000004, kMenu = 0x60000005;

// Records of every kind the rules weigh, good and bad; one in seven is bad
// so that sequences grow long enough to meet the once-only rule and the
// products rule late.
class CRandomRecords {
 public:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_Rng); }

  Bytes CompatProd(bool bad) {
    const std::string malformed[] = {U32(3) + U32(1) + U32(2), "\1\0"s, "", U32(0) + U32(1)};
    std::vector<uint32_t> ids;
    for (uint32_t id : {1u, 2u, 3u, 4u, 9u})
      if (Pick(3) == 0) ids.push_back(id);
    return Rec(2, bad ? malformed[Pick(4)] : ProductList(ids));
  }

  Bytes Next() {
    const bool bad = Pick(7) == 0;
    // Lengths that give every amount of padding.
    std::string data(Pick(10), '\0');
    for (char& c : data) c = static_cast<char>(Pick(256));
    const unsigned int text = kKeys + Pick(3);
    const std::string end = text == kDefaults ? "@" : ".", wrong = text == kDefaults ? "." : "@";
    const std::string good[] = {"a.txt", "Az09_.()", std::string(57, 'n'), ""};
    const std::string badNames[] = {std::string(58, 'n'), "a b", "d/a", "a\x80"};
    const Bytes name = Rec(0, (bad ? badNames : good)[Pick(4)] + '\0');
    const Bytes products = Rec(3, ProductList({1, 3})), version = Rec(2, "1.0\0"s);
    const Bytes users[] = {Rec(kUser, "", {name, Rec(1, data)}), Rec(kUser, "", {name}),
                           Rec(kUser, "", {Rec(1, data), name}), Rec(kUser, ""),
                           Rec(kUser, "", {Rec(0, "a.txt")})};
    const std::string texts[] = {"AZ ~" + end + '\0' + data, "A\tB" + end + '\0',
                                 "A\x80" + end + '\0', "AB" + end, "\0"s, "AB" + wrong + '\0'};
    const Bytes parts[][3] = {{products, version, Rec(1, data)},
                              {version, products, Rec(1, data)},
                              {Rec(3, U32(2) + U32(1)), version, Rec(1, data)},
                              {products, version, products}};
    const unsigned int tags[] = {0x60000006, 0x50000001, 0x7FFFFFFF, 3, 0x12345};
    const int which = bad ? 1 + Pick(3) : 0, count = bad && Pick(3) == 0 ? 2 : 3;
    switch (Pick(7)) {
      case 0: return users[bad ? Pick(5) : 0];
      case 1: return Rec(text, texts[bad ? 1 + Pick(5) : 0]);
      case 2: return Rec(kFw0 + Pick(2), "", {parts[which], parts[which] + count});
      case 3:
        if (bad) return Rec(Pick(2) ? 0x50000000 : 0x46434F4D, data);
        return Rec(Pick(2) ? 0 : 1, Pick(2) ? "\0\0"s : std::string(Pick(2) ? 20 : 3, '\0'));
      case 4: return CompatProd(Pick(2));  // never the first here, so never checked
      default: return Rec(tags[Pick(5)], data);
    }
  }

 private:
  std::mt19937 m_Rng{20240611};
};

TEST(Gen6VerdictTest, EachAppendSaysWhatTheWholeCheckSays) {
  CRandomRecords records;
  int steps = 0, refused = 0, restarts = 0;
  for (int sequence = 0; sequence < 1000; ++sequence) {
    Bytes image = Image();
    CGen6Verdict verdict;
    verdict.Start(image.data(), image.size());
    for (int step = 0; step < 20; ++step, ++steps) {
      // From here on the verdict starts from the image loaded as a MOCF to
      // append to, its once-only records and products already counted.
      if (step > 0 && records.Pick(5) == 0) {
        ASSERT_TRUE(CMocfCreator::IsAdoptable(image.data(), image.size()));
        verdict = CGen6Verdict();
        verdict.Start(image.data(), image.size());
        ++restarts;
      }
      const Bytes record = verdict.GetRecordCount() == 2 && records.Pick(6) > 0
                               ? records.CompatProd(records.Pick(6) == 0)
                               : records.Next();
      const Bytes next = Grown(image, record);
      CGen6MocfParser whole(CTlv::AtByte(next.data()), next.size());
      const bool valid = whole.IsValid();
      EXPECT_EQ(valid, TakeAll(next)) << whole.GetReason();
      ASSERT_EQ(valid, verdict.Append(CTlv::AtByte(record.data()), Padded(record)))
          << "sequence " << sequence << " step " << step << ": " << whole.GetReason() << " / "
          << testutil::ToHex(record);
      if (!valid) {
        EXPECT_EQ(whole.GetReason(), verdict.GetReason()) << testutil::ToHex(record);
        ++refused;
        break;
      }
      EXPECT_EQ(next.size(), verdict.GetSize());
      image = next;
    }
  }
  // Long enough sequences, and refusals of every sort.
  EXPECT_TRUE(steps > 4000 && refused > 800 && restarts > 600)
      << steps << " " << refused << " " << restarts;
}

// The records that must stand first and second, checked where they stand.
TEST(Gen6VerdictTest, RecordsTakenOneByOneHoldWhenTheImageIsOneToAppendTo) {
  const Bytes version = Rec(0, "\0\0"s), hash = Rec(1, std::string(20, '\0'));
  const Bytes products = Rec(2, ProductList({1, 4})), menu = Rec(kMenu, "A.\0"s);
  const std::vector<Bytes> images[] = {
      {version, hash, products, menu},  {version, products, menu},
      {hash, version, products},        {version, Rec(1, "abc"), products},
      {Rec(0, "\1"s), hash, products},  {version, hash, products, hash, Rec(0, ""), menu},
      {version, hash, Rec(2, "\1\0"s), products}, {version, hash, products, menu, menu},
      {version, hash, Rec(2, ProductList({1, 2})), menu}, {version, hash},
      {Rec(3, "\0"s), hash, products}};
  for (const std::vector<Bytes>& records : images) {
    const Bytes image = Image(records);
    EXPECT_EQ(CMocfCreator::IsAdoptable(image.data(), image.size(), true), TakeAll(image))
        << &records - images;
  }
}
