// Micro benchmarks of the per-chapter and per-catalogue text work, on the inputs in bench/inputs.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>

#include "catalogue/catalogue.h"
#include "net/charset.h"
#include "rules/rulefile.h"
#include "text/cleanup.h"
#include "text/codepage.h"
#include "text/text.h"

namespace ravelkin {
namespace {

Text gbk(std::string_view utf8) { return utf8ToText(utf8); }

std::string input(const char* name) {
  std::ifstream in(std::string(RAVELKIN_BENCH_INPUTS) + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const Bytes& chapterPage() {  // GBK, 30 KB
  static const Bytes page = input("chapter-30k-gbk.html");
  return page;
}
const Bytes& noisyPage() {  // UTF-8, 200 KB, scripts and styles
  static const Bytes page = input("page-200k-utf8.html");
  return page;
}
const Bytes& catalogue() {  // UTF-8, 10,000 rows
  static const Bytes page = input("catalogue-10k-utf8.html");
  return page;
}

void bytesPerIteration(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_StripHtml_Chapter30kGbk(benchmark::State& state) {
  const Text body = textBetween(decodePage(chapterPage()), "<div id=\"content\">", "</div>");
  for (auto _ : state) benchmark::DoNotOptimize(stripHtml(body));
  bytesPerIteration(state, body.size());
}
BENCHMARK(BM_StripHtml_Chapter30kGbk);

void BM_StripHtml_Page200kWithScripts(benchmark::State& state) {
  const Text page = decodePage(noisyPage());
  for (auto _ : state) benchmark::DoNotOptimize(stripHtml(page));
  bytesPerIteration(state, page.size());
}
BENCHMARK(BM_StripHtml_Page200kWithScripts);

void BM_DecodePage_Gbk(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(decodePage(chapterPage(), "text/html"));
  bytesPerIteration(state, chapterPage().size());
}
BENCHMARK(BM_DecodePage_Gbk);

void BM_DecodePage_Utf8(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(decodePage(noisyPage(), "text/html"));
  bytesPerIteration(state, noisyPage().size());
}
BENCHMARK(BM_DecodePage_Utf8);

void BM_TextBetween(benchmark::State& state) {
  const Text page = decodePage(chapterPage());
  for (auto _ : state) {
    benchmark::DoNotOptimize(textBetween(page, "<div id=\"content\">", "</div>"));
  }
  bytesPerIteration(state, page.size());
}
BENCHMARK(BM_TextBetween);

void BM_FindText_Miss(benchmark::State& state) {
  const Text page = decodePage(chapterPage());
  for (auto _ : state) benchmark::DoNotOptimize(findText(page, "no such marker", {}, true));
  bytesPerIteration(state, page.size());
}
BENCHMARK(BM_FindText_Miss);

void BM_ReplaceText(benchmark::State& state) {
  const Text page = decodePage(chapterPage());
  for (auto _ : state) benchmark::DoNotOptimize(replaceText(page, "&nbsp;", " ", {}, {}, false));
  bytesPerIteration(state, page.size());
}
BENCHMARK(BM_ReplaceText);

void BM_PercentEncode(benchmark::State& state) {
  const Text page = decodePage(chapterPage());
  for (auto _ : state) benchmark::DoNotOptimize(percentEncode(page, true));
  bytesPerIteration(state, page.size());
}
BENCHMARK(BM_PercentEncode);

void BM_PercentDecode(benchmark::State& state) {
  const Text encoded = percentEncode(decodePage(chapterPage()), true);
  for (auto _ : state) benchmark::DoNotOptimize(percentDecode(encoded));
  bytesPerIteration(state, encoded.size());
}
BENCHMARK(BM_PercentDecode);

// What a worker does with a fetched chapter page besides the network: decode, cut the body out,
// clean it and make the chapter text.
void BM_ChapterProcessing30kGbk(benchmark::State& state) {
  const Text title = gbk("第一百章 试炼");
  for (auto _ : state) {
    const Text page = decodePage(chapterPage(), "text/html");
    const std::optional<Text> raw = findBetween(page, "<div id=\"content\">", "</div>");
    benchmark::DoNotOptimize(title + "\r\n" + stripHtml(raw.value_or(Text())));
  }
  bytesPerIteration(state, chapterPage().size());
}
BENCHMARK(BM_ChapterProcessing30kGbk)->Unit(benchmark::kMicrosecond);

void BM_Catalogue10kRows(benchmark::State& state) {
  const Text page = decodePage(catalogue());
  for (auto _ : state) {
    const CatalogueResult r = chaptersFromPage(
        page, R"re(<a href="([^"]+)" title="[^"]*">([^<]+)</a>)re", "http://example.com");
    if (r.rows.size() != 10000) state.SkipWithError("wrong row count");
    benchmark::DoNotOptimize(r);
  }
  bytesPerIteration(state, page.size());
}
BENCHMARK(BM_Catalogue10kRows)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ravelkin

BENCHMARK_MAIN();
