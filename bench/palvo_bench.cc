// Times our JSON writer and reader, pickle writes, SHA-1 and text-to-double
// beside reference implementations in the same run, and ends with a table
// of our median time against each reference's. Only the ratios mean
// anything: absolute times depend on the machine and on whatever else runs.
//
//   palvo_bench [google benchmark flags, e.g. --benchmark_filter=json_read]

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <charconv>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "base/hash/sha1.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/pickle.h"
#include "base/strings/string_number_conversions.h"
#include "base/values.h"
#include "bench/bench_inputs.h"

namespace {

using bench::Document;

const size_t kDocumentSize = 2 << 20;
const Document kDocuments[] = {Document::MIXED, Document::NUMBERS,
                               Document::STRINGS};

// Leaves OpenSSL's portable x86-64 SHA-1 (no SSSE3, AVX or SHA extensions).
// libcrypto reads this when it loads, so it must be set before exec.
const char kOpenSSLCapabilityVariable[] = "OPENSSL_ia32cap";
const char kOpenSSLPlainCapabilities[] = "~0x1000020000000000:~0x20000020";

const std::string& GetDocument(Document document) {
  static std::map<Document, std::string>* documents =
      new std::map<Document, std::string>;
  std::string& text = (*documents)[document];
  if (text.empty())
    text = bench::MakeDocument(document, kDocumentSize);
  return text;
}

// JSON writing: each library writes from its own tree of the same text.

void PalvoWrite(benchmark::State& state, Document document) {
  std::unique_ptr<base::Value> root = base::JSONReader::Read(GetDocument(document));
  if (!root) {
    state.SkipWithError("the document does not parse");
    return;
  }
  for (auto _ : state) {
    std::string json;
    base::JSONWriter::Write(*root, &json);
    benchmark::DoNotOptimize(json.data());
  }
  state.SetBytesProcessed(state.iterations() * GetDocument(document).size());
}

// RapidJSON's writer copies string bytes as they are unless asked to check
// them; ours must check them, to put U+FFFD for malformed UTF-8. The
// checking writer is the like-for-like reference.
template <unsigned kFlags>
void RapidJsonWrite(benchmark::State& state, Document document) {
  const std::string& text = GetDocument(document);
  rapidjson::Document root;
  root.Parse(text.data(), text.size());
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer, rapidjson::UTF8<>, rapidjson::UTF8<>,
                      rapidjson::CrtAllocator, kFlags>
        writer(buffer);
    root.Accept(writer);
    benchmark::DoNotOptimize(buffer.GetString());
  }
  state.SetBytesProcessed(state.iterations() * text.size());
}

void NlohmannWrite(benchmark::State& state, Document document) {
  const std::string& text = GetDocument(document);
  nlohmann::json root = nlohmann::json::parse(text, nullptr, false);
  for (auto _ : state) {
    std::string json = root.dump();
    benchmark::DoNotOptimize(json.data());
  }
  state.SetBytesProcessed(state.iterations() * text.size());
}

// JSON reading: text to a tree, the tree freed again.

void PalvoRead(benchmark::State& state, Document document) {
  const std::string& text = GetDocument(document);
  for (auto _ : state) {
    std::unique_ptr<base::Value> root = base::JSONReader::Read(text);
    benchmark::DoNotOptimize(root.get());
  }
  state.SetBytesProcessed(state.iterations() * text.size());
}

void RapidJsonRead(benchmark::State& state, Document document) {
  const std::string& text = GetDocument(document);
  for (auto _ : state) {
    rapidjson::Document root;
    root.Parse(text.data(), text.size());
    benchmark::DoNotOptimize(root.IsArray());
  }
  state.SetBytesProcessed(state.iterations() * text.size());
}

void NlohmannRead(benchmark::State& state, Document document) {
  const std::string& text = GetDocument(document);
  for (auto _ : state) {
    nlohmann::json root = nlohmann::json::parse(text, nullptr, false);
    benchmark::DoNotOptimize(root.is_array());
  }
  state.SetBytesProcessed(state.iterations() * text.size());
}

// Pickle field writes against the least a writer of the same format does:
// grow geometrically, copy each field, zero its padding, set the header
// once.

const int kPickleFields = 256;

const char* const kPickleStrings[] = {"", "a", "ab", "abc", "abcd",
                                      "installer", ":Installer message:",
                                      "C:\\Program Files\\Palvo\\Application"};
const int kPickleStringCount = sizeof(kPickleStrings) / sizeof(kPickleStrings[0]);

class PlainWriter {
 public:
  PlainWriter() : buffer_(static_cast<char*>(malloc(68))), capacity_(68), size_(4) {}
  ~PlainWriter() { free(buffer_); }

  void WriteInt(int value) {
    char* field = Claim(4);
    memcpy(field, &value, 4);
  }
  void WriteString(const char* text, size_t length) {
    WriteInt(static_cast<int>(length));
    const size_t padded = (length + 3) & ~size_t{3};
    char* field = Claim(padded);
    memcpy(field, text, length);
    memset(field + length, 0, padded - length);
  }
  const char* Finish() {
    uint32_t payload = static_cast<uint32_t>(size_ - 4);
    memcpy(buffer_, &payload, 4);
    return buffer_;
  }

 private:
  char* Claim(size_t length) {
    if (size_ + length > capacity_) {
      while (size_ + length > capacity_)
        capacity_ *= 2;
      buffer_ = static_cast<char*>(realloc(buffer_, capacity_));
    }
    char* field = buffer_ + size_;
    size_ += length;
    return field;
  }

  char* buffer_;
  size_t capacity_;
  size_t size_;
};

void PalvoPickleInts(benchmark::State& state) {
  for (auto _ : state) {
    base::Pickle pickle;
    for (int i = 0; i < kPickleFields; ++i)
      pickle.WriteInt(i);
    benchmark::DoNotOptimize(pickle.data());
  }
  state.SetItemsProcessed(state.iterations() * kPickleFields);
}

void PlainPickleInts(benchmark::State& state) {
  for (auto _ : state) {
    PlainWriter writer;
    for (int i = 0; i < kPickleFields; ++i)
      writer.WriteInt(i);
    benchmark::DoNotOptimize(writer.Finish());
  }
  state.SetItemsProcessed(state.iterations() * kPickleFields);
}

void PalvoPickleStrings(benchmark::State& state) {
  for (auto _ : state) {
    base::Pickle pickle;
    for (int i = 0; i < kPickleFields; ++i)
      pickle.WriteString(kPickleStrings[i % kPickleStringCount]);
    benchmark::DoNotOptimize(pickle.data());
  }
  state.SetItemsProcessed(state.iterations() * kPickleFields);
}

void PlainPickleStrings(benchmark::State& state) {
  for (auto _ : state) {
    PlainWriter writer;
    for (int i = 0; i < kPickleFields; ++i) {
      const char* text = kPickleStrings[i % kPickleStringCount];
      writer.WriteString(text, strlen(text));
    }
    benchmark::DoNotOptimize(writer.Finish());
  }
  state.SetItemsProcessed(state.iterations() * kPickleFields);
}

// SHA-1 of one megabyte.

const std::vector<uint8_t>& HashInput() {
  static std::vector<uint8_t>* data = [] {
    auto* bytes = new std::vector<uint8_t>(1 << 20);
    bench::Random random(0x5A1);
    for (uint8_t& b : *bytes)
      b = static_cast<uint8_t>(random.Next() >> 56);
    return bytes;
  }();
  return *data;
}

void PalvoSha1(benchmark::State& state) {
  const std::vector<uint8_t>& data = HashInput();
  uint8_t hash[base::kSHA1Length];
  for (auto _ : state) {
    base::SHA1HashBytes(data.data(), data.size(), hash);
    benchmark::DoNotOptimize(hash);
  }
  state.SetBytesProcessed(state.iterations() * data.size());
}

void OpenSslSha1(benchmark::State& state) {
  const std::vector<uint8_t>& data = HashInput();
  unsigned char hash[EVP_MAX_MD_SIZE];
  for (auto _ : state) {
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), hash, &length, EVP_sha1(), nullptr);
    benchmark::DoNotOptimize(hash);
  }
  state.SetBytesProcessed(state.iterations() * data.size());
}

// Text to double over numbers as JSON files hold them.

const std::vector<std::string>& NumberTexts() {
  static std::vector<std::string>* texts =
      new std::vector<std::string>(bench::MakeNumberTexts(4096));
  return *texts;
}

void PalvoTextToDouble(benchmark::State& state) {
  const std::vector<std::string>& texts = NumberTexts();
  for (auto _ : state) {
    double sum = 0;
    for (const std::string& text : texts) {
      double value;
      base::StringToDouble(text, &value);
      sum += value;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * texts.size());
}

void FromCharsTextToDouble(benchmark::State& state) {
  const std::vector<std::string>& texts = NumberTexts();
  for (auto _ : state) {
    double sum = 0;
    for (const std::string& text : texts) {
      double value = 0;
      std::from_chars(text.data(), text.data() + text.size(), value);
      sum += value;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * texts.size());
}

// Prints every run as the console reporter does, keeps the median (or the
// only) CPU time of each benchmark, and ends with our time against each
// reference's. CPU time, not wall time, so that a spell without the
// processor while other work runs on the machine counts for neither side.
// Benchmark names are "<case>/<implementation>".
class SideBySideReporter : public benchmark::ConsoleReporter {
 public:
  explicit SideBySideReporter(std::vector<std::string> cases)
      : cases_(std::move(cases)) {}

  void ReportRuns(const std::vector<Run>& reports) override {
    ConsoleReporter::ReportRuns(reports);
    for (const Run& run : reports) {
      if (run.error_occurred)
        continue;
      const bool median = run.run_type == Run::RT_Aggregate &&
                          run.aggregate_name == "median";
      if (!median && run.run_type != Run::RT_Iteration)
        continue;
      Timing& timing = times_[run.run_name.function_name];
      if (median || !timing.median) {
        timing.time = run.GetAdjustedCPUTime();
        timing.unit = benchmark::GetTimeUnitString(run.time_unit);
        timing.median = median;
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    FILE* out = stdout;
    fflush(out);
    fprintf(out, "\n%-24s %-10s %14s %14s %8s\n", "case", "reference",
            "palvo", "reference", "ratio");
    for (const std::string& name : cases_) {
      auto ours = times_.find(name + "/palvo");
      if (ours == times_.end())
        continue;
      for (const auto& entry : times_) {
        const std::string& key = entry.first;
        if (key.compare(0, name.size() + 1, name + "/") != 0 ||
            key == ours->first) {
          continue;
        }
        fprintf(out, "%-24s %-10s %11.4g %-2s %11.4g %-2s %7.2fx\n",
                name.c_str(), key.c_str() + name.size() + 1, ours->second.time,
                ours->second.unit.c_str(), entry.second.time,
                entry.second.unit.c_str(), ours->second.time / entry.second.time);
      }
    }
    fflush(out);
  }

 private:
  struct Timing {
    double time = 0;
    std::string unit;
    bool median = false;
  };

  std::vector<std::string> cases_;
  std::map<std::string, Timing> times_;
};

bool HasFlag(int argc, char** argv, const char* flag) {
  for (int i = 1; i < argc; ++i) {
    if (strncmp(argv[i], flag, strlen(flag)) == 0)
      return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (!getenv(kOpenSSLCapabilityVariable)) {
    setenv(kOpenSSLCapabilityVariable, kOpenSSLPlainCapabilities, 1);
    execv("/proc/self/exe", argv);
    perror("palvo_bench: exec");
    return 1;
  }

  std::vector<std::string> cases;
  auto add = [&cases](const std::string& name, const char* implementation,
                      auto function, auto... args) {
    if (cases.empty() || cases.back() != name)
      cases.push_back(name);
    benchmark::RegisterBenchmark((name + "/" + implementation).c_str(),
                                 function, args...)
        ->Unit(benchmark::kMicrosecond);
  };
  for (Document document : kDocuments) {
    const std::string name = std::string("json_write/") + bench::DocumentName(document);
    add(name, "palvo", PalvoWrite, document);
    add(name, "rapidjson", RapidJsonWrite<rapidjson::kWriteDefaultFlags>, document);
    add(name, "rj_checked", RapidJsonWrite<rapidjson::kWriteValidateEncodingFlag>,
        document);
    add(name, "nlohmann", NlohmannWrite, document);
  }
  for (Document document : kDocuments) {
    const std::string name = std::string("json_read/") + bench::DocumentName(document);
    add(name, "palvo", PalvoRead, document);
    add(name, "rapidjson", RapidJsonRead, document);
    add(name, "nlohmann", NlohmannRead, document);
  }
  add("pickle_write/ints", "palvo", PalvoPickleInts);
  add("pickle_write/ints", "memcpy", PlainPickleInts);
  add("pickle_write/strings", "palvo", PalvoPickleStrings);
  add("pickle_write/strings", "memcpy", PlainPickleStrings);
  add("sha1/1MiB", "palvo", PalvoSha1);
  add("sha1/1MiB", "openssl", OpenSslSha1);
  add("text_to_double", "palvo", PalvoTextToDouble);
  add("text_to_double", "from_chars", FromCharsTextToDouble);

  // Medians of 7 unless the caller chose otherwise, the repetitions of all
  // cases interleaved so that a busy spell of the machine hits ours and the
  // references alike.
  std::vector<char*> args(argv, argv + argc);
  static char repetitions[] = "--benchmark_repetitions=7";
  static char aggregates[] = "--benchmark_report_aggregates_only=true";
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  static char min_time[] = "--benchmark_min_time=0.2";
  if (!HasFlag(argc, argv, "--benchmark_repetitions")) {
    args.push_back(repetitions);
    args.push_back(aggregates);
    args.push_back(interleave);
  }
  if (!HasFlag(argc, argv, "--benchmark_min_time"))
    args.push_back(min_time);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data()))
    return 1;
  SideBySideReporter reporter(cases);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
