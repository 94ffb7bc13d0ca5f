// Holds a whole MOCF image while it is edited: starts an empty one or
// adopts a checked file image, takes appended records through AddObject,
// and stores the hash at the end.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "format/MocfParser.h"
#include "format/TlvContainerCreator.h"

class CMocfVersionCreator : public CTlvContainerCreator {
 public:
  CMocfVersionCreator();
  unsigned int GetMyTag() override;
};

class CMocfHashCreator : public CTlvContainerCreator {
 public:
  CMocfHashCreator();
  unsigned int GetMyTag() override;
};

class CCompatProdCreator : public CTlvContainerCreator {
 public:
  unsigned int GetMyTag() override;
  void Set(const std::vector<unsigned int>* pProducts);
};

class CMocfCreator : public CTlvContainerCreator {
 public:
  unsigned int GetMyTag() override;

  // An empty MOCF: the container with a version and a hash record.
  void Init();
  // Adopts a copy of the image when it is exactly one valid Gen6 MOCF that
  // carries a hash record; otherwise returns false and changes nothing.
  bool Init(const std::vector<unsigned char>* pMocf);
  // The same, taking the image over instead of copying it. On false the
  // image is left with the caller as it was.
  bool Init(std::vector<unsigned char>&& mocf);
  // The same but for the digest, which the caller checks itself: over Get()
  // with CMocfParser::CalcHash under the header the image had, which may
  // run on another thread once records are appended.
  bool InitTrustingDigest(std::vector<unsigned char>&& mocf);
  // Recomputes the digest and stores it in the hash record.
  void Finish();
  // The same through a parser the caller has laid over Get(), which then
  // already knows the digest when it checks the finished image.
  void Finish(CMocfParser* pParser);

  // Whether an image is one the tool appends to: exactly one container,
  // valid by the Gen6 rules, with a hash record. With trustDigest, as
  // InitTrustingDigest would: the stored digest is taken as right. When not
  // adoptable and pReason is given, it receives the first rule that fails.
  // A pace is told of what is read, for an image in a mapped file.
  static bool IsAdoptable(const unsigned char* pImage, size_t size, bool trustDigest = false,
                          std::string* pReason = nullptr, CReadPace* pPace = nullptr);
};
