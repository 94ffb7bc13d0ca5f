// The tool's messages and where they go. mocftool prints them to standard
// output; a program that runs the tool's steps for many runs at once
// collects them instead, so that it can say which run they belong to.
#pragma once

#include <string>

namespace messages {

// The texts more than one program prints.
constexpr char kInvalidMocf[] = "Invalid MOCF.";
constexpr char kCreateFailed[] = "Error creating MOCF";
constexpr char kTooLarge[] = "MOCF too large.";
constexpr char kBuildFailed[] = "Error creating Object Record from file.  Additional info:\n%s\n";

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void Printf(const char* pFormat, ...);
// The text and a line feed.
void Line(const char* pText);

// Everything printed so far (not what was captured), so that a reason
// given afterwards can leave out what the messages already said.
const std::string& Said();

// While one lives, messages of the current run are kept rather than
// printed. A capture inside another keeps what is said meanwhile to itself.
class CCapture {
 public:
  CCapture();
  ~CCapture();
  CCapture(const CCapture&) = delete;
  CCapture& operator=(const CCapture&) = delete;
  // What was said since the capture began or was last taken.
  std::string Take();

 private:
  std::string m_Text;
  std::string* m_pBefore;
};

}  // namespace messages
