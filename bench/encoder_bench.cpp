// Path-component encoding for code page 932 with fullwidth forms on, over a mix
// of ASCII, Japanese, decomposed accents and reserved characters.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/CVNPathComponentEncoder.h"

namespace {

const std::vector<std::u16string>& components() {
  static const std::vector<std::u16string> mix = {
      // ASCII
      u"README.md",
      u"IMG_0001.JPG",
      u"Project Files",
      u"index.html",
      u"node_modules",
      u"2023-04-01 Quarterly Report v2.docx",
      u"Makefile",
      u"src",
      u"libcorvana.a",
      u"Screenshot 2024-01-15 at 10.32.11.png",
      // Japanese
      u"日本語のファイル.txt",
      u"写真 2023年8月",
      u"ドキュメント",
      u"会議資料（最終版）.pptx",
      u"新しいフォルダ",
      u"ﾃｽﾄ用ﾃﾞｰﾀ.csv",
      // Decomposed accents, as HFS+ stores them
      u"Cafe\u0301 Me\u0301nu.pdf",
      u"Re\u0301sume\u0301.docx",
      u"Pla\u0308ne fu\u0308r 2024",
      u"Ga\u0302teau",
      // Reserved characters, device names, final space and period, emoji
      u"a:b?c*.txt",
      u"report<final>.doc",
      u"CON.txt",
      u"notes. ",
      u"end ",
      u"what?|why",
      u"nul",
      u"12:30 meeting",
      u"\U0001F389 party.jpg",
      u"..",
  };
  return mix;
}

CVNPathComponentEncoder makeEncoder() {
  CVNPathComponentEncoder encoder;
  encoder.setEncoding(CVNStringEncoding::WindowsJapanese);
  encoder.setTriesConvertingToFullwidth(true);
  encoder.setCharacterEscapeFormat(std::string("(U+%04X)"));
  return encoder;
}

void BM_EncodeComponents932Fullwidth(benchmark::State& state) {
  const CVNPathComponentEncoder encoder = makeEncoder();
  const auto& mix = components();
  for (auto _ : state) {
    for (const std::u16string& component : mix)
      benchmark::DoNotOptimize(encoder.encodePathComponentForWindowsFileSystem(component));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * mix.size()));
}
BENCHMARK(BM_EncodeComponents932Fullwidth);

void BM_EncodeASCIIComponents1252(benchmark::State& state) {
  CVNPathComponentEncoder encoder;
  encoder.setEncoding(CVNStringEncoding::WindowsLatin1);
  encoder.setCharacterEscapeFormat(std::string("_"));
  const std::u16string component = u"2023-04-01 Quarterly Report v2.docx";
  for (auto _ : state)
    benchmark::DoNotOptimize(encoder.encodePathComponentForWindowsFileSystem(component));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_EncodeASCIIComponents1252);

// Components per second on this thread, best of several rounds.
double componentsPerSecond() {
  using clock = std::chrono::steady_clock;
  const CVNPathComponentEncoder encoder = makeEncoder();
  const auto& mix = components();
  constexpr int kPasses = 2000;
  double best = 1e9;
  for (int round = 0; round < 7; ++round) {
    auto start = clock::now();
    for (int pass = 0; pass < kPasses; ++pass)
      for (const std::u16string& component : mix)
        benchmark::DoNotOptimize(encoder.encodePathComponentForWindowsFileSystem(component));
    best = std::min(best, std::chrono::duration<double>(clock::now() - start).count());
  }
  return static_cast<double>(kPasses * mix.size()) / best;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("encode_components_per_s=%.0f\n", componentsPerSecond());
  return 0;
}
