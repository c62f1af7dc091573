// The WAV-to-AU conversion on a large file. Two uses:
//   wav2au_bench --once <in.wav> <out.au>   one export call, for whole-process timing against
//                                           sox and a plain read (bench/wav2au.sh);
//   wav2au_bench [benchmark options]        Google Benchmark of the steps on the WAV file named
//                                           by TAVOLIN_BENCH_WAV.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "library/audio/sound.h"
#include "library/exports/exports.h"
#include "library/support/file_helpers.h"

namespace {

// A Java string over plain 8-bit text, as the bridge would hand it over.
struct PlainString : JavaString {
  explicit PlainString(const char* text);
  const char* text;
};

std::int32_t plainLength(StringHandle handle) {
  return static_cast<std::int32_t>(std::strlen(static_cast<const PlainString*>(handle)->text));
}

void plainUnits(StringHandle handle, std::int32_t start, std::int32_t count, std::uint16_t* out) {
  const char* text = static_cast<const PlainString*>(handle)->text;
  for (std::int32_t i = 0; i < count; ++i) out[i] = static_cast<unsigned char>(text[start + i]);
}

const JavaStringOps kPlainOps{plainLength, plainUnits};
PlainString::PlainString(const char* value) : JavaString{&kPlainOps}, text(value) {}

const char* benchWav() {
  const char* path = std::getenv("TAVOLIN_BENCH_WAV");
  return path ? path : "wav2au-bench.wav";
}

void BM_Export(benchmark::State& state) {
  std::string out = std::string(benchWav()) + ".au";
  PlainString in(benchWav());
  PlainString au(out.c_str());
  for (auto _ : state) {
    state.PauseTiming();
    std::remove(out.c_str());
    state.ResumeTiming();
    if (Kestrilo_wav2au(nullptr, &in, &au) != 1) state.SkipWithError("conversion failed");
  }
}
BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Load(benchmark::State& state) {
  for (auto _ : state) {
    Sound sound;
    if (!sound.loadWav(benchWav())) state.SkipWithError("load failed");
  }
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Conversions(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Sound sound;
    sound.loadWav(benchWav());
    state.ResumeTiming();
    sound.setChannels(1);
    sound.setSampleRate(kAuSampleRate);
  }
}
BENCHMARK(BM_Conversions)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveAu(benchmark::State& state) {
  Sound sound;
  sound.loadWav(benchWav());
  sound.setChannels(1);
  sound.setSampleRate(kAuSampleRate);
  std::string out = std::string(benchWav()) + ".au";
  for (auto _ : state) {
    // A new file each time: replacing one would add the wait for the disk to sync it.
    state.PauseTiming();
    std::remove(out.c_str());
    state.ResumeTiming();
    sound.saveAu(out.c_str());
  }
}
BENCHMARK(BM_SaveAu)->Unit(benchmark::kMillisecond)->UseRealTime();

// The file read whole, as a plain reader would: the floor for anything that reads it.
void BM_PlainRead(benchmark::State& state) {
  for (auto _ : state) {
    std::int32_t size = 0;
    std::uint8_t* block = loadWholeFile(benchWav(), size);
    benchmark::DoNotOptimize(block);
    freeWholeFile(block);
  }
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--once") == 0) {
    PlainString in(argv[2]);
    PlainString out(argv[3]);
    std::int32_t result = Kestrilo_wav2au(nullptr, &in, &out);
    if (result != 1) std::fprintf(stderr, "conversion failed\n");
    return result == 1 ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
