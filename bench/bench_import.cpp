// Importing large foreign map files: throughput of the Polish-format and MIF/MID importers in
// MB of input per second, and the memory an import needs compared with the file.
//
//   bench_import [--mp-objects=N] [--mif-objects=N] [--data-dir=DIR] [--memory-only] [benchmark flags]
//
// The synthetic town files are generated once and cached in DIR (default <build>/bench-data).
// Peak memory is measured in forked children before any timing runs, while this process is
// still small: the child's ru_maxrss minus its RSS just before the import is what it cost.
// Throughput counts the bytes of both files for MIF/MID.
//
// For comparison, GDAL's reader on the same MIF (gdal-bin is a tool for this comparison only,
// not a dependency of the project); ogrinfo prints every feature, so its output is discarded:
//
//   /usr/bin/time -v ogrinfo -ro -al -q DIR/import-city-*.MIF > /dev/null
//   hyperfine --warmup 1 'ogrinfo -ro -al -q DIR/import-city-*.MIF > /dev/null'

#include "import_generator.h"

#include "component/korvane.h"
#include "component/korvane_import.h"
#include "import/polish_styles.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace kestrum;

namespace {

constexpr double kMB = 1e6;

struct Input {
    const char* name;
    std::string path;
    uint64_t bytes = 0; // MIF and MID together
};

Input g_mp{"MP", {}, 0};
Input g_mif{"MIF", {}, 0};

ImportResult importOnce(const Input& in, TKorvane& map) {
    if (&in == &g_mp) return ImportPolishFile(map, in.path, builtinPolishStyles());
    return ImportMIFFile(map, in.path);
}

// With `progress`, a handler listens as the viewer's does: what the events cost the import.
void importFile(benchmark::State& state, const Input* in, bool progress) {
    int64_t objects = 0, events = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto map = std::make_unique<TKorvane>();
        if (progress)
            map->OnProgress = [&events](TKorvane&, int position) {
                ++events;
                benchmark::DoNotOptimize(position);
            };
        state.ResumeTiming();
        const ImportResult r = importOnce(*in, *map);
        if (r.firstProblem) state.SkipWithError(r.firstProblem->message.c_str());
        objects = r.objects;
        benchmark::DoNotOptimize(map->Objects().count());
        // Freeing the map is not part of importing it.
        state.PauseTiming();
        map.reset();
        malloc_trim(0);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in->bytes));
    state.counters["objects"] = static_cast<double>(objects);
    if (progress) state.counters["events"] = static_cast<double>(events) / static_cast<double>(state.iterations());
}

long currentRssKb() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct MemoryUse {
    bool ok = false;
    long rssBeforeKb = 0;
    long peakKb = 0;
    int objects = 0;
    int records = 0;
    int problems = 0;
    double seconds = 0;
};

// One import in a forked child, so that nothing this process ever allocated counts.
MemoryUse measureImport(const Input& in) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t pid = fork();
    if (pid < 0) return {};
    if (pid == 0) {
        close(fds[0]);
        MemoryUse m;
        m.rssBeforeKb = currentRssKb();
        const auto t0 = std::chrono::steady_clock::now();
        // Never freed: the child ends with _exit, and freeing is not part of an import.
        auto* map = new TKorvane;
        const ImportResult r = importOnce(in, *map);
        m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        rusage ru{};
        getrusage(RUSAGE_SELF, &ru);
        m.peakKb = ru.ru_maxrss;
        m.objects = r.objects;
        m.records = r.records;
        m.problems = r.problems;
        m.ok = true;
        const bool sent = write(fds[1], &m, sizeof m) == static_cast<ssize_t>(sizeof m);
        _exit(sent ? 0 : 1);
    }
    close(fds[1]);
    MemoryUse m;
    if (read(fds[0], &m, sizeof m) != static_cast<ssize_t>(sizeof m)) m.ok = false;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return m;
}

// Generates in a child too: this process must stay small for the memory figures.
bool ensureFile(Input& in, const std::string& dir, const bench::ImportCityParams& params) {
    namespace fs = std::filesystem;
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        try {
            bool generated = false;
            const std::string path = &in == &g_mp ? bench::cachedPolishCity(dir, params, &generated)
                                                  : bench::cachedMifCity(dir, params, &generated);
            if (generated)
                std::printf("Generated %s (%d features) in %.1f s\n", path.c_str(), params.objects,
                            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
            std::fflush(stdout);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    // The child found or wrote the file; ask again for its name, which generates nothing now.
    in.path = &in == &g_mp ? bench::cachedPolishCity(dir, params) : bench::cachedMifCity(dir, params);
    std::error_code ec;
    in.bytes = fs::file_size(in.path, ec);
    if (&in == &g_mif && !ec) in.bytes += fs::file_size(bench::midPathFor(in.path), ec);
    return !ec && in.bytes > 0;
}

void printMemory(const Input& in, const MemoryUse& m) {
    if (!m.ok) {
        std::printf("  %-4s measurement failed\n", in.name);
        return;
    }
    const double grown = static_cast<double>(m.peakKb - m.rssBeforeKb) * 1024.0;
    std::printf("  %-4s %d records -> %d map objects, %d problems, in %.2f s in a fresh process (%.0f MB/s)\n", in.name,
                m.records, m.objects, m.problems, m.seconds, static_cast<double>(in.bytes) / kMB / m.seconds);
    std::printf("  %-4s peak RSS %.0f MB - %.0f MB before = %.0f MB = %.2f x the input\n", "",
                static_cast<double>(m.peakKb) * 1024.0 / kMB, static_cast<double>(m.rssBeforeKb) * 1024.0 / kMB,
                grown / kMB, grown / static_cast<double>(in.bytes));
}

} // namespace

int main(int argc, char** argv) {
    bench::ImportCityParams mpParams, mifParams;
    mpParams.objects = 215'000; // about 100 MB
    mifParams.objects = 200'000; // about 90 MB with the MID
    std::string dir = KESTRUM_BENCH_DATA_DIR;
    bool memoryOnly = false;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--mp-objects=", 0) == 0)
            mpParams.objects = std::stoi(a.substr(13));
        else if (a.rfind("--mif-objects=", 0) == 0)
            mifParams.objects = std::stoi(a.substr(14));
        else if (a.rfind("--data-dir=", 0) == 0)
            dir = a.substr(11);
        else if (a == "--memory-only")
            memoryOnly = true;
        else
            rest.push_back(argv[i]);
    }
    if (!ensureFile(g_mp, dir, mpParams) || !ensureFile(g_mif, dir, mifParams)) {
        std::fprintf(stderr, "cannot prepare the benchmark files in %s\n", dir.c_str());
        return 1;
    }
    std::printf("MP:  %s, %.1f MB\nMIF: %s (+ MID), %.1f MB together\n", g_mp.path.c_str(),
                static_cast<double>(g_mp.bytes) / kMB, g_mif.path.c_str(), static_cast<double>(g_mif.bytes) / kMB);

    std::printf("Peak memory of one import:\n");
    const MemoryUse mp = measureImport(g_mp);
    printMemory(g_mp, mp);
    const MemoryUse mif = measureImport(g_mif);
    printMemory(g_mif, mif);
    std::fflush(stdout);
    if (memoryOnly) return mp.ok && mif.ok ? 0 : 1;

    for (const Input* in : {&g_mp, &g_mif})
        for (const bool progress : {false, true})
            benchmark::RegisterBenchmark((std::string("import/") + in->name + (progress ? "+progress" : "")).c_str(),
                                         importFile, in, progress)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->MinTime(1)
                ->Repetitions(5)
                ->ReportAggregatesOnly(true);

    int bargc = static_cast<int>(rest.size());
    benchmark::Initialize(&bargc, rest.data());
    if (benchmark::ReportUnrecognizedArguments(bargc, rest.data())) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
