// Runs a fuzz target without libFuzzer: first every input of the corpus
// folder given on the command line, then random mutations of them for a
// bounded time. A fault shows as a crash or a sanitizer report; the input
// that caused it is written to "fuzz-crash-input" in the current folder.
//
//   fuzz_target CORPUS_DIR   replay and mutate (PALVO_FUZZ_SECONDS, default
//                            20, and PALVO_FUZZ_SEED set the run); a missing
//                            or empty folder is an error
//   fuzz_target FILE         replay one input, to reproduce a crash

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Present when a sanitizer runtime is linked in.
extern "C" void __sanitizer_set_death_callback(void (*callback)(void))
    __attribute__((weak));

namespace {

typedef std::vector<uint8_t> Input;

const size_t kMaxInputSize = 4096;
const unsigned kDefaultSeconds = 20;

// The input being run, for the crash handlers.
const Input* g_current = nullptr;

void SaveCurrentInput() {
  static bool saved = false;
  if (saved || !g_current)
    return;
  saved = true;
  FILE* file = fopen("fuzz-crash-input", "wb");
  if (file) {
    fwrite(g_current->data(), 1, g_current->size(), file);
    fclose(file);
  }
  fprintf(stderr, "fuzz: crashing input (%zu bytes) saved to fuzz-crash-input\n",
          g_current->size());
}

void OnFatalSignal(int signal_number) {
  SaveCurrentInput();
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

void RunOne(const Input& input) {
  g_current = &input;
  // A copy of exactly the input's size, so that reads past its end are
  // caught by the address sanitizer.
  uint8_t* copy = new uint8_t[input.size() ? input.size() : 1];
  std::copy(input.begin(), input.end(), copy);
  LLVMFuzzerTestOneInput(copy, input.size());
  delete[] copy;
  g_current = nullptr;
}

bool ReadFile(const std::string& path, Input* out) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file)
    return false;
  uint8_t buffer[4096];
  size_t count;
  out->clear();
  while ((count = fread(buffer, 1, sizeof(buffer), file)) > 0)
    out->insert(out->end(), buffer, buffer + count);
  const bool complete = !ferror(file);
  fclose(file);
  return complete;
}

// False when the folder cannot be read or holds no input: a run over
// nothing would pass without having tested anything.
bool ReadCorpus(const std::string& folder, std::vector<Input>* corpus) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) {
    perror(("fuzz: cannot open corpus folder " + folder).c_str());
    return false;
  }
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.')
      names.push_back(folder + "/" + entry->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    Input input;
    if (!ReadFile(name, &input)) {
      perror(("fuzz: cannot read " + name).c_str());
      return false;
    }
    corpus->push_back(input);
  }
  if (corpus->empty()) {
    fprintf(stderr, "fuzz: corpus folder %s is empty\n", folder.c_str());
    return false;
  }
  return true;
}

class Mutator {
 public:
  Mutator(uint32_t seed, const std::vector<Input>* corpus)
      : random_(seed), corpus_(corpus) {}

  Input Mutate(const Input& base) {
    Input input = base;
    // A few stacked changes per run.
    const int changes = 1 + static_cast<int>(Below(4));
    for (int i = 0; i < changes; ++i)
      MutateOnce(&input);
    if (input.size() > kMaxInputSize)
      input.resize(kMaxInputSize);
    return input;
  }

 private:
  size_t Below(size_t limit) {
    return limit ? static_cast<size_t>(random_() % limit) : 0;
  }

  uint8_t InterestingByte() {
    static const uint8_t kBytes[] = {0x00, 0x01, 0x7F, 0x80, 0xBF, 0xC0,
                                     0xE0, 0xED, 0xF0, 0xF4, 0xFF, '"',
                                     '\\', '[', ']', '{', '}', ',',
                                     ':', '/', '*', '\n', 'u', 'x',
                                     '-', '0', '9', 'e', '.'};
    return kBytes[Below(sizeof(kBytes))];
  }

  void MutateOnce(Input* input) {
    switch (Below(8)) {
      case 0:  // flip a bit
        if (!input->empty())
          (*input)[Below(input->size())] ^= 1 << Below(8);
        break;
      case 1:  // set a byte
        if (!input->empty())
          (*input)[Below(input->size())] = static_cast<uint8_t>(random_());
        break;
      case 2:  // insert an interesting byte
        input->insert(input->begin() + Below(input->size() + 1),
                      InterestingByte());
        break;
      case 3:  // erase a range
        if (!input->empty()) {
          size_t at = Below(input->size());
          size_t count = 1 + Below(std::min<size_t>(16, input->size() - at));
          input->erase(input->begin() + at, input->begin() + at + count);
        }
        break;
      case 4:  // repeat a range
        if (!input->empty()) {
          size_t at = Below(input->size());
          size_t count = 1 + Below(std::min<size_t>(32, input->size() - at));
          Input chunk(input->begin() + at, input->begin() + at + count);
          size_t times = 1 + Below(8);
          for (size_t t = 0; t < times; ++t)
            input->insert(input->begin() + at, chunk.begin(), chunk.end());
        }
        break;
      case 5:  // splice in part of another corpus input
        if (!corpus_->empty()) {
          const Input& other = (*corpus_)[Below(corpus_->size())];
          if (!other.empty()) {
            size_t from = Below(other.size());
            size_t count = 1 + Below(other.size() - from);
            input->insert(input->begin() + Below(input->size() + 1),
                          other.begin() + from, other.begin() + from + count);
          }
        }
        break;
      case 6:  // cut the tail
        if (!input->empty())
          input->resize(Below(input->size()));
        break;
      default:  // overwrite a little-endian 32-bit word
        if (input->size() >= 4) {
          static const uint32_t kWords[] = {0, 1, 3, 4, 0x7FFFFFFF,
                                            0x80000000, 0xFFFFFFFF, 0x40000000};
          uint32_t word = Below(2) ? kWords[Below(8)]
                                   : static_cast<uint32_t>(random_());
          size_t at = Below(input->size() - 3);
          for (int b = 0; b < 4; ++b)
            (*input)[at + b] = static_cast<uint8_t>(word >> (8 * b));
        }
        break;
    }
  }

  std::mt19937 random_;
  const std::vector<Input>* corpus_;
};

// A value that is not a whole number is refused rather than read as 0,
// which would silently turn the mutation phase off.
bool EnvNumber(const char* name, unsigned fallback, unsigned* value) {
  const char* text = getenv(name);
  if (!text || !*text) {
    *value = fallback;
    return true;
  }
  char* end = nullptr;
  errno = 0;
  const unsigned long number = strtoul(text, &end, 10);
  if (*end || errno || *text == '-' || number > UINT_MAX) {
    fprintf(stderr, "fuzz: %s=%s is not a whole number\n", name, text);
    return false;
  }
  *value = static_cast<unsigned>(number);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s CORPUS_DIR|INPUT_FILE\n", argv[0]);
    return 2;
  }
  if (__sanitizer_set_death_callback)
    __sanitizer_set_death_callback(SaveCurrentInput);
  signal(SIGABRT, OnFatalSignal);
  signal(SIGSEGV, OnFatalSignal);
  signal(SIGFPE, OnFatalSignal);
  signal(SIGILL, OnFatalSignal);

  struct stat info;
  if (stat(argv[1], &info) == 0 && S_ISREG(info.st_mode)) {
    Input input;
    if (!ReadFile(argv[1], &input)) {
      perror(argv[1]);
      return 2;
    }
    RunOne(input);
    printf("fuzz: replayed %s\n", argv[1]);
    return 0;
  }

  unsigned seconds = 0;
  unsigned seed = 0;
  if (!EnvNumber("PALVO_FUZZ_SECONDS", kDefaultSeconds, &seconds) ||
      !EnvNumber("PALVO_FUZZ_SEED", static_cast<unsigned>(time(nullptr)),
                 &seed)) {
    return 2;
  }
  std::vector<Input> corpus;
  if (!ReadCorpus(argv[1], &corpus))
    return 2;
  for (const Input& input : corpus)
    RunOne(input);
  printf("fuzz: replayed %zu corpus inputs\n", corpus.size());

  printf("fuzz: mutating for %u s with seed %u\n", seconds, seed);
  fflush(stdout);

  Mutator mutator(seed, &corpus);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  // Inputs that ran cleanly feed later mutations, up to a bound.
  const size_t kMaxPool = 2048;
  std::vector<Input> pool = corpus;
  std::mt19937 pick(seed ^ 0x9E3779B9u);
  uint64_t runs = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    for (int batch = 0; batch < 64; ++batch) {
      Input input = mutator.Mutate(pool[pick() % pool.size()]);
      RunOne(input);
      ++runs;
      if (pool.size() < kMaxPool)
        pool.push_back(input);
      else
        pool[pick() % pool.size()] = input;
    }
  }
  printf("fuzz: %llu mutated runs, no fault\n",
         static_cast<unsigned long long>(runs));
  return 0;
}
