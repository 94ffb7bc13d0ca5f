// A MOCF as it is read: in place where the file can be mapped, so that a
// large one costs a window of memory; otherwise (a pipe, say) whole.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "inspect/Inspect.h"
#include "platform/Platform.h"
#include "platform/ReadPace.h"

namespace mocfinfo {

class CMocfImage {
 public:
  // False, with the system's words, when the file cannot be read. A
  // program passes whyEnded: should the file be cut short while it is
  // mapped, the process then says so on standard error and ends with
  // kCouldNot. A library passes nothing and leaves the process's signals
  // alone.
  // window: how much of it may stay in memory (see CReadPace).
  bool Load(const std::string& path, std::string* pWhyNot, const std::string& whyEnded = "",
            uint64_t window = CReadPace::kWindow);
  // A copy of the caller's bytes.
  void Adopt(const unsigned char* pData, size_t size);
  Inspection Inspect(const std::string& file) const;
  Inspection InspectTrustingDigest(const std::string& file) const;
  const unsigned char* Data() const { return m_View ? m_View->Data() : m_Bytes.data(); }
  size_t Size() const { return m_View ? m_View->Size() : m_Bytes.size(); }
  CReadPace* Pace() const { return m_Pace.get(); }

 private:
  std::unique_ptr<platform::CFileView> m_View;
  std::unique_ptr<CReadPace> m_Pace;
  std::vector<unsigned char> m_Bytes;
};

}  // namespace mocfinfo
