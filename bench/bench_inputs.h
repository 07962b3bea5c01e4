#ifndef BENCH_BENCH_INPUTS_H_
#define BENCH_BENCH_INPUTS_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace bench {

// The documents every JSON case reads and writes. Each is about |size|
// bytes of compact JSON, the same bytes on every run and machine.
enum class Document { MIXED, NUMBERS, STRINGS };

const char* DocumentName(Document document);
std::string MakeDocument(Document document, size_t size);

// Decimal texts of doubles as a JSON file would hold them: shortest
// round-trip forms of random doubles, short decimals, integers and
// exponents.
std::vector<std::string> MakeNumberTexts(size_t count);

// A small, fixed-seed generator, so that inputs do not depend on the
// standard library's distributions.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  // Uniform in [0, bound).
  uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }

 private:
  uint64_t state_;
};

}  // namespace bench

#endif  // BENCH_BENCH_INPUTS_H_
