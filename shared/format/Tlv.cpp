#include "format/Tlv.h"

#include "format/Coding.h"

unsigned int CTlv::GetTag(const Header_t* pHeader) {
  return coding::DecodeFixed32(Bytes(pHeader));
}

unsigned int CTlv::GetLength(const Header_t* pHeader) {
  return coding::DecodeFixed32(Bytes(pHeader) + 4);
}

const unsigned char* CTlv::GetData(const Header_t* pHeader) {
  return Bytes(pHeader) + kHeaderSize;
}
