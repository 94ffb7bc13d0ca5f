#include "sign/MocfDigest.h"

#include <openssl/evp.h>
#include <openssl/obj_mac.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "image/Sizes.h"
#include "inputs/FileHelper.h"
#include "platform/JoinedThread.h"
#include "platform/Platform.h"
#include "sign/OpenSsl.h"

namespace mocfsign {

namespace {

// Large enough that a call costs nothing beside the hashing, small enough
// to be no memory to speak of.
constexpr size_t kStep = 2 << 20;

const EVP_MD* DigestOf(int nid) {
  switch (nid) {
    case NID_sha256: return EVP_sha256();
    case NID_sha384: return EVP_sha384();
    case NID_sha512: return EVP_sha512();
    default: return nullptr;
  }
}

struct Running_t {
  int Nid;
  MdCtx Ctx;
};

class CDigests {
 public:
  explicit CDigests(const std::vector<int>& digests) {
    for (int nid : digests) {
      const EVP_MD* pMd = DigestOf(nid);
      if (!pMd || std::any_of(m_Running.begin(), m_Running.end(),
                              [nid](const Running_t& r) { return r.Nid == nid; }))
        continue;
      MdCtx ctx(EVP_MD_CTX_new());
      if (ctx && EVP_DigestInit_ex(ctx.get(), pMd, nullptr) == 1)
        m_Running.push_back({nid, std::move(ctx)});
    }
  }
  // A digest that fails is left out, and whatever needed it fails closed.
  void Update(const unsigned char* pData, size_t size) {
    for (Running_t& r : m_Running)
      if (r.Ctx && EVP_DigestUpdate(r.Ctx.get(), pData, size) != 1) r.Ctx.reset();
  }
  void Final(std::map<int, std::string>* pDone) {
    for (Running_t& r : m_Running) {
      unsigned char digest[EVP_MAX_MD_SIZE];
      unsigned int length = 0;
      if (r.Ctx && EVP_DigestFinal_ex(r.Ctx.get(), digest, &length) == 1)
        (*pDone)[r.Nid] = std::string(reinterpret_cast<char*>(digest), length);
    }
  }

 private:
  std::vector<Running_t> m_Running;
};

// Judges the image on a thread of its own while hash() reads on this one.
MocfDigests_t Digested(const unsigned char* pData, size_t size, CReadPace* pPace,
                       const std::string& name, const std::function<bool()>& hash) {
  MocfDigests_t out;
  const CJoinedThread judging([&] {
    try {
      const mocfinfo::Inspection inspection = mocfinfo::Inspect(name, pData, size, pPace);
      out.Valid = inspection.valid;
      out.Reason = inspection.reason;
    } catch (...) {  // a thread lets nothing out
      out.Valid = false;
      out.Reason = "it could not be judged";
    }
  }, size < kSmallImage);
  out.Read = hash();
  return out;
}

}  // namespace

bool LoadMocf(const std::string& path, const std::string& whyCutShort, LoadedMocf_t* pMocf,
              std::string* pWhy) {
  std::string whyNot;
  // Only a regular file is opened ahead, where no FIFO can block; its image
  // is mapped through this very descriptor where the system names one, so
  // that both readers read one file however the path changes meanwhile.
  if (CFileHelper::LookAtMocfPath(path.c_str()) == CFileHelper::MocfPath::kFile)
    pMocf->File.reset(platform::OpenFile(path, "rb"));
  std::string mapped = path;
  std::error_code ec;
  if (pMocf->File) {
    const std::string self = "/proc/self/fd/" + std::to_string(fileno(pMocf->File.get()));
    if (std::filesystem::exists(self, ec)) mapped = self;
  }
  if (pMocf->Image.Load(mapped, &whyNot, whyCutShort, CReadPace::kWindow / 2)) return true;
  *pWhy = "cannot read " + path + ": " + CFileHelper::WhyCannotRead(path.c_str()) + "\n";
  return false;
}

MocfDigests_t DigestMocf(const LoadedMocf_t& mocf, const std::string& name,
                         const std::vector<int>& digests) {
  const mocfinfo::CMocfImage& image = mocf.Image;
  if (!mocf.File || !image.Pace()) return DigestBytes(image.Data(), image.Size(), name, digests);
  CDigests running(digests);
  std::vector<unsigned char> buffer(kStep);
  MocfDigests_t out = Digested(image.Data(), image.Size(), image.Pace(), name, [&] {
    uint64_t total = 0;
    for (size_t got; (got = std::fread(buffer.data(), 1, kStep, mocf.File.get())) > 0; total += got)
      running.Update(buffer.data(), got);
    return !std::ferror(mocf.File.get()) && total == image.Size();
  });
  running.Final(&out.ByDigest);
  return out;
}

MocfDigests_t DigestBytes(const unsigned char* pData, size_t size, const std::string& name,
                          const std::vector<int>& digests) {
  CDigests running(digests);
  MocfDigests_t out = Digested(pData, size, nullptr, name, [&] {
    for (size_t at = 0; at < size; at += kStep) running.Update(pData + at, std::min(kStep, size - at));
    return true;
  });
  running.Final(&out.ByDigest);
  return out;
}

}  // namespace mocfsign
