#include "inspect/MocfImage.h"

#include "inputs/FileHelper.h"

namespace mocfinfo {

bool CMocfImage::Load(const std::string& path, std::string* pWhyNot, const std::string& whyEnded,
                      uint64_t window) {
  m_View = platform::MapFile(path, whyEnded, kCouldNot);
  if (m_View) {
    m_Pace = std::make_unique<CReadPace>(m_View.get(), window);
    return true;
  }
  if (CFileHelper::DoesFileExist(path.c_str()) && CFileHelper::ReadFileData(path.c_str(), &m_Bytes))
    return true;
  *pWhyNot = CFileHelper::WhyCannotRead(path.c_str());
  return false;
}

void CMocfImage::Adopt(const unsigned char* pData, size_t size) {
  m_View.reset();
  m_Pace.reset();
  m_Bytes.assign(pData, pData + size);
}

Inspection CMocfImage::Inspect(const std::string& file) const {
  return mocfinfo::Inspect(file, Data(), Size(), m_Pace.get());
}

Inspection CMocfImage::InspectTrustingDigest(const std::string& file) const {
  return mocfinfo::InspectTrustingDigest(file, Data(), Size(), m_Pace.get());
}

}  // namespace mocfinfo
