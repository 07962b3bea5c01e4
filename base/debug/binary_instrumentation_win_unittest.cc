#include "base/debug/binary_instrumentation.h"

#include <windows.h>
#include <string.h>

#include <initializer_list>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace debug {
namespace {

// A minimal mapped image: DOS header, NT headers and section headers.
std::vector<unsigned char> MakeImage(std::initializer_list<const char*> sections) {
  const size_t nt_offset = 0x80;
  std::vector<unsigned char> image(0x1000);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(image.data());
  dos->e_magic = IMAGE_DOS_SIGNATURE;
  dos->e_lfanew = nt_offset;
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(image.data() + nt_offset);
  nt->Signature = IMAGE_NT_SIGNATURE;
  nt->FileHeader.NumberOfSections = static_cast<WORD>(sections.size());
  nt->FileHeader.SizeOfOptionalHeader = sizeof(IMAGE_OPTIONAL_HEADER);
  IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (const char* name : sections) {
    // Names of exactly 8 bytes have no terminator.
    memcpy(section->Name, name, strnlen(name, IMAGE_SIZEOF_SHORT_NAME));
    ++section;
  }
  return image;
}

TEST(BinaryInstrumentationTest, NeedsBothSections) {
  EXPECT_TRUE(internal::ImageHasInstrumentationSections(
      MakeImage({".text", ".thunks", ".data", ".instr"}).data()));
  EXPECT_FALSE(internal::ImageHasInstrumentationSections(MakeImage({".text", ".thunks"}).data()));
  EXPECT_FALSE(internal::ImageHasInstrumentationSections(MakeImage({".instr"}).data()));
  EXPECT_FALSE(
      internal::ImageHasInstrumentationSections(MakeImage({".thunksX", ".instr2"}).data()));
  std::vector<unsigned char> not_an_image(0x1000);
  EXPECT_FALSE(internal::ImageHasInstrumentationSections(not_an_image.data()));
  // This test program is not instrumented.
  EXPECT_FALSE(IsBinaryInstrumented());
}

}  // namespace
}  // namespace debug
}  // namespace base
