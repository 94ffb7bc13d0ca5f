#include "sign/MocfDigest.h"

#include <openssl/evp.h>
#include <openssl/obj_mac.h>

#include <algorithm>

#include "image/Sizes.h"
#include "platform/JoinedThread.h"
#include "sign/OpenSsl.h"

namespace mocfsign {

namespace {

// Large enough that a call costs nothing beside the hashing, small enough
// to stay well inside a pace's window.
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

std::vector<Running_t> Start(const std::vector<int>& digests) {
  std::vector<Running_t> running;
  for (int nid : digests) {
    const EVP_MD* pMd = DigestOf(nid);
    if (!pMd || std::any_of(running.begin(), running.end(),
                            [nid](const Running_t& r) { return r.Nid == nid; }))
      continue;
    MdCtx ctx(EVP_MD_CTX_new());
    if (ctx && EVP_DigestInit_ex(ctx.get(), pMd, nullptr) == 1) running.push_back({nid, std::move(ctx)});
  }
  return running;
}

// A digest that fails is left out, and whatever needed it fails closed.
void Hash(const unsigned char* pData, size_t size, CReadPace* pPace,
          std::vector<Running_t>* pRunning, std::map<int, std::string>* pDone) {
  for (size_t at = 0; at < size; at += kStep) {
    const size_t chunk = std::min(kStep, size - at);
    for (Running_t& r : *pRunning)
      if (r.Ctx && EVP_DigestUpdate(r.Ctx.get(), pData + at, chunk) != 1) r.Ctx.reset();
    CReadPace::Moved(pPace, chunk);
  }
  for (Running_t& r : *pRunning) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (r.Ctx && EVP_DigestFinal_ex(r.Ctx.get(), digest, &length) == 1)
      (*pDone)[r.Nid] = std::string(reinterpret_cast<char*>(digest), length);
  }
}

}  // namespace

bool LoadMocf(const std::string& path, mocfinfo::CMocfImage* pImage, std::string* pWhy) {
  std::string whyNot;
  // The judge and the digests read the one file, each half a window.
  if (pImage->Load(path, &whyNot, "", CReadPace::kWindow / 2)) return true;
  *pWhy = "cannot read " + path + ": " + whyNot + "\n";
  return false;
}

MocfDigests_t DigestMocf(const unsigned char* pData, size_t size, CReadPace* pPace,
                         const std::string& name, const std::vector<int>& digests) {
  MocfDigests_t out;
  std::vector<Running_t> running = Start(digests);
  {
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
    Hash(pData, size, pPace, &running, &out.ByDigest);
  }
  return out;
}

}  // namespace mocfsign
