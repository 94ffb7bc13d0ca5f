// The hash interface the MOCF code computes its digests through.
#pragma once

// Implementations are held by value and never deleted through this base, so
// it carries no virtual destructor; the protected one keeps it that way.
class CHash {
 public:
  // One-shot: Init, Update with the whole buffer, GetResult.
  virtual void DoHash(const unsigned char* pBuffer, unsigned int Length,
                      unsigned char* pResult) = 0;
  virtual void Init() = 0;
  virtual void Update(const unsigned char* pBuffer, unsigned int Length) = 0;
  virtual void GetResult(unsigned char* pResult) = 0;

 protected:
  ~CHash() = default;
};
