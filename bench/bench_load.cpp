// Loading a large map: how close the reader comes to the speed of merely reading the file, and
// how much memory a load needs compared with the file.
//
//   bench_load [--objects=N] [--data-dir=DIR] [--memory-only] [benchmark flags]
//
// The synthetic city map is generated once and cached in DIR (default <build>/bench-data).
// Peak memory is measured in forked children before any timing runs, while this process is
// still small: the child's ru_maxrss minus its RSS just before the load is what the load cost.
// All timings read the file from the page cache, which the first run warms.

#include "map_generator.h"

#include "component/korvane.h"
#include "io/byte_source.h"
#include "io/map_reader.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace kestrum;

namespace {

std::string g_path;
uint64_t g_fileSize = 0;

constexpr double kMB = 1e6;

long minorFaults() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_minflt;
}

// Fresh memory costs a page fault per page, a large part of a load; the counter shows whether
// an iteration got its memory back from the previous one or from the kernel.
void countFaults(benchmark::State& state, long before) {
    state.counters["faults"] =
        benchmark::Counter(static_cast<double>(minorFaults() - before), benchmark::Counter::kAvgIterations);
}

void readBytes(benchmark::State& state) {
    std::vector<char> buf(1 << 20);
    for (auto _ : state) {
        std::FILE* f = std::fopen(g_path.c_str(), "rb");
        if (!f) {
            state.SkipWithError("cannot open the map");
            return;
        }
        uint64_t total = 0;
        std::size_t got;
        while ((got = std::fread(buf.data(), 1, buf.size(), f)) > 0) total += got;
        std::fclose(f);
        benchmark::DoNotOptimize(total);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_fileSize));
}

// Heap state between iterations: cold hands every page back to the kernel, as a viewer's first
// map in a fresh process sees it; warm keeps them, as when a viewer opens its next map.
bool warmHeap(const benchmark::State& state) { return state.range(0) != 0; }

void releaseHeap(const benchmark::State& state) {
    if (!warmHeap(state)) malloc_trim(0);
}

// A warm run starts from a heap that has held a whole map once, whatever ran before it.
void primeHeap(const benchmark::State& state) {
    if (!warmHeap(state)) return;
    auto doc = std::make_unique<MapDocument>();
    FileSource src(g_path);
    readMap(src, *doc);
}

void readMapFromFile(benchmark::State& state) {
    primeHeap(state);
    const long faults = minorFaults();
    for (auto _ : state) {
        auto doc = std::make_unique<MapDocument>();
        FileSource src(g_path);
        const MapReadResult r = readMap(src, *doc);
        if (r.damage) state.SkipWithError(r.damage->message.c_str());
        benchmark::DoNotOptimize(doc->objects.count());
        // Freeing the map is not part of loading it.
        state.PauseTiming();
        doc.reset();
        releaseHeap(state);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_fileSize));
    countFaults(state, faults);
}

void loadFromFile(benchmark::State& state) {
    primeHeap(state);
    const long faults = minorFaults();
    for (auto _ : state) {
        state.PauseTiming();
        auto map = std::make_unique<TKorvane>();
        state.ResumeTiming();
        const MapReadResult r = map->LoadFromFile(g_path);
        if (r.damage) state.SkipWithError(r.damage->message.c_str());
        benchmark::DoNotOptimize(map->Objects().count());
        state.PauseTiming();
        map.reset();
        releaseHeap(state);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_fileSize));
    countFaults(state, faults);
}

// Keeps each benchmark's throughput for the summary; a median of repetitions wins over single runs.
class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    SummaryReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto it = run.counters.find("bytes_per_second");
            if (it == run.counters.end() || run.error_occurred) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) continue;
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty()) name += '/' + run.run_name.args;
            if (median || !m_median.count(name)) {
                m_rate[name] = it->second.value;
                // The same bytes over the CPU time: on a busy machine the wall clock also counts
                // the time other processes held the CPU.
                const double cpu = run.GetAdjustedCPUTime();
                m_cpuRate[name] = cpu > 0 ? it->second.value * run.GetAdjustedRealTime() / cpu : 0;
            }
            if (median) m_median[name] = true;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double rate(const std::string& name) const { return find(m_rate, name); }
    double cpuRate(const std::string& name) const { return find(m_cpuRate, name); }

  private:
    static double find(const std::map<std::string, double>& m, const std::string& name) {
        const auto it = m.find(name);
        return it == m.end() ? 0 : it->second;
    }
    std::map<std::string, double> m_rate, m_cpuRate;
    std::map<std::string, bool> m_median;
};

struct MemoryUse {
    bool ok = false;
    long rssBeforeKb = 0;
    long peakKb = 0;
    int64_t objects = 0;    // top level
    int64_t allObjects = 0; // group members included
    int64_t points = 0;
    double seconds = 0;
};

void countObjects(const TQevMapList& list, MemoryUse& m) {
    for (const TQEVMapObjectMem& o : list) {
        ++m.allObjects;
        m.points += static_cast<int64_t>(o.points().size());
        if (const TQevMapList* kids = o.children()) countObjects(*kids, m);
    }
}

long currentRssKb() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// One load in a forked child, so that nothing this process ever allocated counts.
MemoryUse measureLoad(bool throughComponent) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t pid = fork();
    if (pid < 0) return {};
    if (pid == 0) {
        close(fds[0]);
        MemoryUse m;
        m.rssBeforeKb = currentRssKb();
        const auto t0 = std::chrono::steady_clock::now();
        // Neither is ever freed: the child ends with _exit, and freeing is not part of a load.
        const TQevMapList* objects = nullptr;
        if (throughComponent) {
            auto* map = new TKorvane;
            map->LoadFromFile(g_path);
            objects = &map->Objects();
        } else {
            auto* doc = new MapDocument;
            FileSource src(g_path);
            readMap(src, *doc);
            objects = &doc->objects;
        }
        m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        rusage ru{};
        getrusage(RUSAGE_SELF, &ru);
        m.peakKb = ru.ru_maxrss;
        m.objects = objects->count();
        countObjects(*objects, m);
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

// Generates the map in a child too: this process must stay small for the memory figures.
bool ensureMap(const std::string& dir, const bench::CityMapParams& params) {
    namespace fs = std::filesystem;
    g_path = (fs::path(dir) / bench::cityMapFileName(params)).string();
    if (!fs::exists(g_path)) {
        std::printf("Generating %s (%d objects), once...\n", g_path.c_str(), params.objects);
        std::fflush(stdout);
        const auto t0 = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid < 0) return false;
        if (pid == 0) {
            try {
                bench::cachedCityMap(dir, params);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "%s\n", e.what());
                _exit(1);
            }
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
        std::printf("  done in %.1f s\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    std::error_code ec;
    g_fileSize = fs::file_size(g_path, ec);
    return !ec && g_fileSize > 0;
}

void printMemory(const char* what, const MemoryUse& m) {
    if (!m.ok) {
        std::printf("  %-14s measurement failed\n", what);
        return;
    }
    const double grown = static_cast<double>(m.peakKb - m.rssBeforeKb) * 1024.0;
    std::printf("  %-14s %lld objects (%lld with group members, %lld points) in %.2f s in a fresh process\n", what,
                static_cast<long long>(m.objects), static_cast<long long>(m.allObjects),
                static_cast<long long>(m.points), m.seconds);
    std::printf("  %-14s peak RSS %.0f MB - %.0f MB before = %.0f MB = %.2f x the file (goal < 2)\n", "",
                static_cast<double>(m.peakKb) * 1024.0 / kMB, static_cast<double>(m.rssBeforeKb) * 1024.0 / kMB,
                grown / kMB, grown / static_cast<double>(g_fileSize));
}

} // namespace

int main(int argc, char** argv) {
    bench::CityMapParams params;
    std::string dir = KESTRUM_BENCH_DATA_DIR;
    bool memoryOnly = false;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--objects=", 0) == 0)
            params.objects = std::stoi(a.substr(10));
        else if (a.rfind("--data-dir=", 0) == 0)
            dir = a.substr(11);
        else if (a == "--memory-only")
            memoryOnly = true;
        else
            rest.push_back(argv[i]);
    }
    if (!ensureMap(dir, params)) {
        std::fprintf(stderr, "cannot prepare the benchmark map in %s\n", dir.c_str());
        return 1;
    }
    std::printf("Map: %s, %.1f MB, %d top-level objects\n", g_path.c_str(), static_cast<double>(g_fileSize) / kMB,
                params.objects);

    std::printf("Peak memory of one load:\n");
    const MemoryUse viaReader = measureLoad(false);
    printMemory("readMap", viaReader);
    const MemoryUse viaComponent = measureLoad(true);
    printMemory("LoadFromFile", viaComponent);
    std::fflush(stdout);
    if (memoryOnly) return viaReader.ok && viaComponent.ok ? 0 : 1;

    // From here on the heap keeps what is freed (even the object array, which would otherwise get
    // pages of its own from mmap), so that only the cold runs pay for fresh pages.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
    // Other work on the machine shows up as outliers; the summary takes the median of three.
    benchmark::RegisterBenchmark("read_bytes", readBytes)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MinTime(1)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
    using Fn = void (*)(benchmark::State&);
    for (const auto& [name, fn] : {std::pair<const char*, Fn>{"readMap", readMapFromFile}, {"LoadFromFile", loadFromFile}})
        benchmark::RegisterBenchmark(name, fn)
            ->ArgName("warm_heap")
            ->Arg(0)
            ->Arg(1)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MinTime(1)
            ->Repetitions(3)
            ->ReportAggregatesOnly(true);

    int bargc = static_cast<int>(rest.size());
    benchmark::Initialize(&bargc, rest.data());
    if (benchmark::ReportUnrecognizedArguments(bargc, rest.data())) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double raw = reporter.rate("read_bytes"), rawCpu = reporter.cpuRate("read_bytes");
    if (raw > 0 && rawCpu > 0) {
        std::printf("\nMedian throughput in MB/s by wall clock and by CPU time, each also as a share of\n"
                    "the raw read (goal >= 0.25):\n");
        std::printf("  %-18s %6.0f        %6.0f\n", "raw read", raw / kMB, rawCpu / kMB);
        for (const char* name : {"readMap", "LoadFromFile"})
            for (const char* heap : {"cold", "warm"}) {
                const std::string key = std::string(name) + "/warm_heap:" + (heap[0] == 'w' ? "1" : "0");
                const double rate = reporter.rate(key), cpu = reporter.cpuRate(key);
                if (rate > 0)
                    std::printf("  %-12s %s %6.0f %.3f  %6.0f %.3f\n", name, heap, rate / kMB, rate / raw, cpu / kMB,
                                cpu / rawCpu);
            }
    }
    return 0;
}
