// Load and save of large data files against the I/O floor measured in the
// same run. Each iteration times the floor and then the operation on the same
// bytes, so both see the same page cache and the same machine load; the
// counters give the ratios (1.0 = as fast as the floor).
//
//   notes:    10,000 pages of 10 KB of mixed ASCII and accented text
//   contacts: 200,000 contacts
// each without and with a password. The read floor (x_read_floor) is the
// fastest of three plain freads of the file into a fresh buffer: 4 KB and
// 64 KB chunks into ordinary memory, and 64 KB chunks into memory backed by
// transparent huge pages. Each is reported on its own as well. A floor is
// the fastest way to move the bytes: a ratio against a slower read (on our
// virtual machines fresh huge pages cost more than the read itself) only
// flatters the load. Files live in bench-data/ beside the binary (inside the
// build folder; /tmp may be a memory file system), or in $MERU_BENCH_DIR.
//
// LoadOnce/notes is the load as the program does it at start-up: once, in a
// process of its own whose memory is all fresh. Each iteration runs this
// binary again to load the file once, and again once for each kind of floor
// read; the floor is the fastest of the three.

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "io_floor.h"
#include "core/store/datafile.h"
#include "core/text/text_codec.h"

using namespace meru;
namespace fs = std::filesystem;

namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr size_t kSmallChunk = 4 * 1024;
constexpr const char* kPassword = "Pàssword42";

fs::path DataDir() {
    if (const char* d = std::getenv("MERU_BENCH_DIR")) return d;
    return fs::canonical("/proc/self/exe").parent_path() / "bench-data";
}

// Words of an Italian note: mostly ASCII, some accented letters and a euro sign.
constexpr const char* kWords[] = {
    "il",      "della",     "perché",   "città",    "già",        "però",       "più",
    "caffè",   "lunedì",    "progetto", "riunione", "telefonare", "scadenza",   "€",
    "fattura", "indirizzo", "note",     "Nicolò",   "è",          "à",          "domani",
    "sempre",  "lista",     "spesa",    "ufficio",  "and",        "the",        "meeting",
    "report",  "draft",     "über",     "naïve",    "1234",       "2026-12-10",
};

std::string NotesPage(std::mt19937& rng, size_t bytes) {
    std::uniform_int_distribution<size_t> pick(0, std::size(kWords) - 1);
    std::string page;
    page.reserve(bytes + 32);
    size_t line = 0;
    while (page.size() < bytes) {
        const std::string_view w = kWords[pick(rng)];
        page += w;
        line += w.size() + 1;
        if (line > 70) {
            page += "\r\n";
            line = 0;
        } else {
            page += ' ';
        }
    }
    return page;
}

CMeruData Notes() {
    std::mt19937 rng(42);
    CMeruData d;
    d.m_aPages.clear();
    for (int i = 0; i < 10000; ++i) d.m_aPages.push_back(NotesPage(rng, 10 * 1024));
    return d;
}

CMeruData Contacts() {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> digit(0, 9);
    auto digits = [&](int n) {
        std::string s;
        for (int k = 0; k < n; ++k) s.push_back(static_cast<char>('0' + digit(rng)));
        return s;
    };
    CMeruData d;
    d.m_aContacts.reserve(200000);
    for (int i = 0; i < 200000; ++i) {
        const std::string n = std::to_string(i);
        d.m_aContacts.push_back(
            {"Nicolò Rossi " + n, "nicolo.rossi" + n + "@example.it", "02 " + digits(8),
             "333 " + digits(7), "12/03/19" + digits(2),
             "Cliente dal 2019.\r\nChiamare il lunedì, già sentito per la fattura."});
    }
    return d;
}

struct Dataset {
    CMeruData data;
    std::string path;
    std::string bytes;  // the file's content
};

// Datasets are made once per process and kept; their files are removed at exit.
Dataset& Get(const std::string& name) {
    static std::map<std::string, Dataset> sets;
    static struct Cleanup {
        ~Cleanup() {
            std::error_code ec;
            for (auto& [k, s] : sets) fs::remove(s.path, ec);
            fs::remove(DataDir() / "floor.bin", ec);
        }
    } cleanup;
    auto it = sets.find(name);
    if (it != sets.end()) return it->second;
    Dataset s;
    s.data = name.starts_with("notes") ? Notes() : Contacts();
    if (name.ends_with("+pw")) s.data.m_strPassword = kPassword;
    fs::create_directories(DataDir());
    s.path = (DataDir() / (name + ".mer")).string();
    s.bytes = SerializeData(s.data);
    if (auto err = WriteFileAtomically(s.path, s.bytes)) throw std::runtime_error(*err);
    return sets.emplace(name, std::move(s)).first->second;
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

template <class F>
double Time(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return Seconds(std::chrono::steady_clock::now() - t0);
}

void SetRates(benchmark::State& state, size_t bytes, double op, double floor,
              const char* floorName) {
    const double n = static_cast<double>(state.iterations());
    const double mb = static_cast<double>(bytes) / 1e6;
    state.counters["file_MB"] = mb;
    state.counters["MB_per_s"] = mb * n / op;
    state.counters[std::string(floorName) + "_MB_per_s"] = mb * n / floor;
    state.counters[std::string("x_") + floorName] = op / floor;
}

double ThreadCpu() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void BM_Load(benchmark::State& state, const std::string& name) {
    Dataset& s = Get(name);
    const std::string pw = s.data.m_strPassword;
    const PasswordPrompt prompt = [&] { return std::optional<std::string>(pw); };
    double op = 0, opCpu = 0, floor64 = 0, floor4 = 0, floorCpu = 0, floorHuge = 0;
    for (auto _ : state) {
        double c0 = ThreadCpu();
        floor64 += Time([&] { benchmark::DoNotOptimize(bench::FloorRead(s.path, kChunk)); });
        floorCpu += ThreadCpu() - c0;
        floor4 += Time([&] { benchmark::DoNotOptimize(bench::FloorRead(s.path, kSmallChunk)); });
        floorHuge += Time([&] { benchmark::DoNotOptimize(bench::FloorReadHuge(s.path, kChunk)); });
        CMeruData d;
        c0 = ThreadCpu();
        const double t = Time([&] {
            CDataFile file(s.path);
            const LoadOutcome out = file.LoadData(d, prompt);
            if (out.status != LoadStatus::Loaded || !file.MaySave())
                state.SkipWithError("load failed");
        });
        opCpu += ThreadCpu() - c0;
        op += t;
        state.SetIterationTime(t);
        if (d.m_aPages.size() != s.data.m_aPages.size() ||
            d.m_aContacts.size() != s.data.m_aContacts.size())
            state.SkipWithError("loaded data differ");
    }
    // The floor is the fastest of the three reads.
    SetRates(state, s.bytes.size(), op, std::min({floor64, floor4, floorHuge}), "read_floor");
    const double mbn =
        static_cast<double>(s.bytes.size()) / 1e6 * static_cast<double>(state.iterations());
    state.counters["read_floor_64k_MB_per_s"] = mbn / floor64;
    state.counters["read_floor_4k_MB_per_s"] = mbn / floor4;
    state.counters["x_read_floor_64k_cpu"] = opCpu / floorCpu;
    state.counters["read_floor_hugepages_MB_per_s"] = mbn / floorHuge;
    state.counters["x_read_floor_hugepages_only"] = op / floorHuge;
    state.SetBytesProcessed(static_cast<int64_t>(s.bytes.size()) * state.iterations());
}

void BM_Save(benchmark::State& state, const std::string& name) {
    Dataset& s = Get(name);
    const std::string floorPath = (DataDir() / "floor.bin").string();
    double op = 0, floorSync = 0, floorNoSync = 0;
    CDataFile file(s.path);
    {  // saving is allowed once the file was loaded with its password
        CMeruData loaded;
        const std::string pw = s.data.m_strPassword;
        file.LoadData(loaded, [&] { return std::optional<std::string>(pw); });
    }
    for (auto _ : state) {
        floorSync += Time([&] { bench::FloorWrite(floorPath, s.bytes, kChunk, true); });
        floorNoSync += Time([&] { bench::FloorWrite(floorPath, s.bytes, kChunk, false); });
        const double t = Time([&] {
            if (file.SaveData(s.data).status != SaveStatus::Saved)
                state.SkipWithError("save failed");
        });
        op += t;
        state.SetIterationTime(t);
    }
    SetRates(state, s.bytes.size(), op, floorSync, "write_fsync_floor");
    state.counters["write_nofsync_floor_MB_per_s"] = static_cast<double>(s.bytes.size()) / 1e6 *
                                                     static_cast<double>(state.iterations()) /
                                                     floorNoSync;
    state.counters["x_write_nofsync_floor"] = op / floorNoSync;
    state.SetBytesProcessed(static_cast<int64_t>(s.bytes.size()) * state.iterations());
}

// The codec alone, without the file: where the time of a load or save goes.
void BM_Decode(benchmark::State& state, const std::string& name) {
    Dataset& s = Get(name);
    const std::string pw = s.data.m_strPassword;
    const PasswordPrompt prompt = [&] { return std::optional<std::string>(pw); };
    for (auto _ : state) {
        CMeruData d;
        benchmark::DoNotOptimize(ReadData(s.bytes, d, prompt));
    }
    state.SetBytesProcessed(static_cast<int64_t>(s.bytes.size()) * state.iterations());
}

// The Windows-1252 -> UTF-8 conversion alone, one thread, over the stored
// bytes of every notes page: each conversion the processor runs (0: the
// portable one), so they are compared in the same run.
void BM_Cp1252Decode(benchmark::State& state, size_t variant) {
    static const std::vector<std::string> stored = [] {
        std::vector<std::string> v;
        for (const std::string& page : Get("notes").data.m_aPages) v.push_back(*Utf8ToCp1252(page));
        return v;
    }();
    size_t bytes = 0;
    for (const std::string& page : stored) bytes += page.size();
    for (auto _ : state) {
        for (const std::string& page : stored)
            benchmark::DoNotOptimize(Cp1252ToUtf8Variant(variant, page));
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
}

void BM_Encode(benchmark::State& state, const std::string& name) {
    Dataset& s = Get(name);
    for (auto _ : state) benchmark::DoNotOptimize(SerializeData(s.data));
    state.SetBytesProcessed(static_cast<int64_t>(s.bytes.size()) * state.iterations());
}

// What `bench_datafile --once <what> <path>` does in a process of its own:
// reads or loads the file once and prints the seconds it took.
int RunOnce(std::string_view what, const std::string& path) {
    double t = 0;
    if (what == "load") {
        CMeruData d;
        t = Time([&] {
            CDataFile file(path);
            if (file.LoadData(d, [] { return std::optional<std::string>(); }).status !=
                LoadStatus::Loaded)
                throw std::runtime_error("load failed");
        });
    } else if (what == "floor-64k") {
        t = Time([&] { benchmark::DoNotOptimize(bench::FloorRead(path, kChunk)); });
    } else if (what == "floor-4k") {
        t = Time([&] { benchmark::DoNotOptimize(bench::FloorRead(path, kSmallChunk)); });
    } else if (what == "floor-huge") {
        t = Time([&] { benchmark::DoNotOptimize(bench::FloorReadHuge(path, kChunk)); });
    } else {
        return 2;
    }
    std::printf("%.9f\n", t);
    return 0;
}

// The seconds `bench_datafile --once <what> <path>` reports.
double Once(const char* what, const std::string& path) {
    const std::string self = fs::canonical("/proc/self/exe").string();
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const char* argv[] = {self.c_str(), "--once", what, path.c_str(), nullptr};
    pid_t pid = 0;
    const int err =
        posix_spawn(&pid, self.c_str(), &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    char buf[64];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    if (err != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0 || text.empty())
        throw std::runtime_error(std::string("bench_datafile --once ") + what + " failed");
    return std::stod(text);
}

void BM_LoadOnce(benchmark::State& state, const std::string& name) {
    Dataset& s = Get(name);
    double op = 0, floor64 = 0, floor4 = 0, floorHuge = 0;
    for (auto _ : state) {
        floor64 += Once("floor-64k", s.path);
        floor4 += Once("floor-4k", s.path);
        floorHuge += Once("floor-huge", s.path);
        const double t = Once("load", s.path);
        op += t;
        state.SetIterationTime(t);
    }
    SetRates(state, s.bytes.size(), op, std::min({floor64, floor4, floorHuge}), "read_floor");
    state.SetBytesProcessed(static_cast<int64_t>(s.bytes.size()) * state.iterations());
}

void Register() {
    for (size_t k = 0; k < Cp1252ToUtf8Variants(); ++k)
        benchmark::RegisterBenchmark(("Cp1252ToUtf8/notes/variant:" + std::to_string(k)).c_str(),
                                     BM_Cp1252Decode, k)
            ->Iterations(10)
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("LoadOnce/notes", BM_LoadOnce, std::string("notes"))
        ->UseManualTime()
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond);
    for (const char* name : {"notes", "notes+pw", "contacts", "contacts+pw"}) {
        const std::string n = name;
        const int iters = n.starts_with("notes") ? 5 : 10;
        benchmark::RegisterBenchmark(("Load/" + n).c_str(), BM_Load, n)
            ->UseManualTime()
            ->Iterations(iters)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Save/" + n).c_str(), BM_Save, n)
            ->UseManualTime()
            ->Iterations(iters)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Decode/" + n).c_str(), BM_Decode, n)
            ->Iterations(iters)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Encode/" + n).c_str(), BM_Encode, n)
            ->Iterations(iters)
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string_view(argv[1]) == "--once") {
        try {
            return RunOnce(argv[2], argv[3]);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    Register();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
