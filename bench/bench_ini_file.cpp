// Time to read a settings text and to build its new text: a typical file of the program
// against the worst texts a hostile or broken file can hold within the size limit (many
// tiny key lines, many empty lines, one huge line). The reading and writing must stay
// linear in the size of the text.
#include <benchmark/benchmark.h>

#include <string>

#include "settings/IniDocument.h"
#include "settings/SettingsFiles.h"

namespace {

using namespace pyrolith;

std::string TypicalFile()
{
    IniDocument document;
    JobSettings job;
    job.StartOfCode = "G21\r\nG90\r\nM3 S0";
    job.ProfileNotes = "Birch plywood 3 mm, 80 % power, two passes";
    SetStoredFields(document, job, AppSettings{});
    return document.Serialize();
}

std::string Worst(int kind)
{
    const std::size_t size = kMaxIniFileSize - 64;
    std::string text = "[Values]\n";
    switch (kind) {
    case 0: // a key line every 4 bytes, none of them the program's
        while (text.size() < size) {
            text += "a=1\n";
        }
        break;
    case 1: // blank lines only
        text.resize(size, '\n');
        break;
    default: // one line of the whole size
        text += "ProfileNotes=";
        text.resize(size, 'x');
        break;
    }
    return text;
}

void Read(benchmark::State& state, const std::string& text)
{
    for (auto _ : state) {
        const IniDocument document = IniDocument::Parse(text);
        JobSettings job;
        AppSettings app;
        ReadStoredFields(document, SettingsReader::SettingsFile, job, app);
        benchmark::DoNotOptimize(job);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void Write(benchmark::State& state, const std::string& text)
{
    for (auto _ : state) {
        IniDocument document = IniDocument::Parse(text);
        SetStoredFields(document, JobSettings{}, AppSettings{});
        const std::string out = document.Serialize();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_ReadTypical(benchmark::State& state)
{
    Read(state, TypicalFile());
}
void BM_WriteTypical(benchmark::State& state)
{
    Write(state, TypicalFile());
}
void BM_ReadWorst(benchmark::State& state)
{
    Read(state, Worst(static_cast<int>(state.range(0))));
}
void BM_WriteWorst(benchmark::State& state)
{
    Write(state, Worst(static_cast<int>(state.range(0))));
}

BENCHMARK(BM_ReadTypical);
BENCHMARK(BM_WriteTypical);
BENCHMARK(BM_ReadWorst)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteWorst)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
