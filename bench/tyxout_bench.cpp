// The writer's hot path: printable characters into an open string statement.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "tyxout/tyxout.h"

namespace {

using namespace vantrove;

void BM_CharOutPrintable(benchmark::State& state) {
  std::FILE* sink = std::fopen("/dev/null", "w");
  if (sink == nullptr) {
    state.SkipWithError("cannot open /dev/null");
    return;
  }
  TyxReset();
  TyxPgf format{};
  format.setMask = TyxBit(TyxPgfField::PgfTag);
  format.pgfTag = "Body";
  TyxParaOpen(&format, sink, 1);

  const auto count = state.range(0);
  for (auto _ : state) {
    for (std::int64_t i = 0; i < count; ++i) {
      // Letters and digits only: none of them needs an escape.
      const int code = 'a' + static_cast<int>(i % 26);
      benchmark::DoNotOptimize(TyxCharOut(code, sink));
    }
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.SetBytesProcessed(state.iterations() * count);

  TyxParaClose(sink, 1);
  std::fclose(sink);
  TyxReset();
}
BENCHMARK(BM_CharOutPrintable)->Arg(4096)->Arg(1 << 20);

}  // namespace

BENCHMARK_MAIN();
