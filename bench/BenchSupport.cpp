#include "BenchSupport.h"

#include "image/kernels/Kernels.h"

#include <QFile>
#include <QImageReader>

#if defined(__GLIBC__)
#include <malloc.h> // malloc_trim
#endif
#ifdef _WIN32
#include <io.h> // _commit
#else
#include <unistd.h> // fsync
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <thread>
#include <vector>

namespace bench {

namespace {

std::vector<Row>& Rows()
{
    static std::vector<Row> rows;
    return rows;
}

// Resident-set figures from /proc/self/status, in bytes.
std::size_t StatusBytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, length, field) == 0)
            return std::size_t(std::stoull(line.substr(length + 1))) * 1024;
    return 0;
}

void ResetHighWaterMark()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

constexpr int kRepetitions = 3;

// The fastest time per iteration seen for one benchmark.
struct Timing {
    double best = 0; // ms per iteration, fastest repetition
    bool seen = false;
};

// Collects every run and prints nothing, so that the table is the output;
// the progress goes to stderr one benchmark at a time.
class Collector : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            const double ms = run.GetAdjustedRealTime() * Scale(run.time_unit);
            Timing& t = timings[run.run_name.function_name];
            if (!t.seen || ms < t.best)
                t.best = ms;
            t.seen = true;
            std::fprintf(stderr, "  %-40s %10.3f ms\n", run.benchmark_name().c_str(), ms);
        }
    }
    std::map<std::string, Timing> timings;

private:
    static double Scale(benchmark::TimeUnit unit)
    {
        switch (unit) {
        case benchmark::kNanosecond:
            return 1e-6;
        case benchmark::kMicrosecond:
            return 1e-3;
        case benchmark::kMillisecond:
            return 1;
        default:
            return 1e3;
        }
    }
};

// Lower-case letters and digits; every other run of characters one '-'.
std::string Slug(const std::string& text)
{
    std::string slug;
    for (unsigned char c : text) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            slug += char(c);
        else if (!slug.empty() && slug.back() != '-')
            slug += '-';
    }
    while (!slug.empty() && slug.back() == '-')
        slug.pop_back();
    return slug;
}

std::string Key(std::size_t row, const char* variant) { return RowKey(Rows()[row]) + "/" + variant; }

void RegisterRow(std::size_t index, const Row& row)
{
    const bool manual = row.manualTime;
    const auto add = [manual](const std::string& name, const std::function<void(benchmark::State&)>& body) {
        auto* benchmark = benchmark::RegisterBenchmark(name.c_str(), body);
        benchmark->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
        if (manual)
            benchmark->UseManualTime()->Iterations(1);
        else
            benchmark->UseRealTime();
    };
    if (row.manualTime || row.iterations > 0) {
        auto* ours = benchmark::RegisterBenchmark(Key(index, "ours").c_str(), row.ours)->Unit(benchmark::kMillisecond);
        if (row.manualTime)
            ours->UseManualTime();
        else
            ours->UseRealTime();
        if (row.iterations > 0)
            ours->Iterations(row.iterations)->Repetitions(1);
        else
            ours->Iterations(1)->Repetitions(kRepetitions);
    } else {
        add(Key(index, "ours"), row.ours);
    }
    if (row.reference)
        add(Key(index, "reference"), row.reference);
    const std::size_t bytes = row.bytes;
    if (bytes == 0)
        return;
    add(Key(index, "memcpy"), [bytes](benchmark::State& state) {
        std::unique_ptr<std::uint8_t[]> from(new std::uint8_t[bytes]);
        std::unique_ptr<std::uint8_t[]> to(new std::uint8_t[bytes]);
        std::memset(from.get(), 0x5A, bytes);
        std::memset(to.get(), 0, bytes);
        for (auto _ : state) {
            std::memcpy(to.get(), from.get(), bytes);
            benchmark::DoNotOptimize(to.get());
            benchmark::ClobberMemory();
        }
    });
}

std::string Cell(double value, const char* format)
{
    char text[32];
    if (value < 1 && format[2] == '2')
        format = "%.3f"; // small times and ratios keep three figures
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Pads to the given number of columns, counting characters rather than
// bytes (the names hold "²" and "×").
std::string Pad(const std::string& text, int width, bool right)
{
    int shown = 0;
    for (unsigned char c : text)
        shown += (c & 0xC0) != 0x80;
    const std::string fill(std::size_t(std::max(0, width - shown)), ' ');
    return right ? fill + text : text + fill;
}

std::string CpuName()
{
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    while (std::getline(info, line))
        if (line.rfind("model name", 0) == 0)
            return line.substr(line.find(':') + 2);
    return "unknown CPU";
}

} // namespace

std::function<void(benchmark::State&)> QtReadReference(std::function<QString()> path)
{
    return [path = std::move(path)](benchmark::State& state) {
        const QString file = path();
        for (auto _ : state) {
            QImage image;
            QImageReader(file).read(&image);
            benchmark::DoNotOptimize(image.constBits());
            state.PauseTiming();
            image = QImage();
            state.ResumeTiming();
        }
    };
}

void SyncToDisk(QFile& file)
{
    file.flush();
#ifdef _WIN32
    _commit(file.handle());
#else
    ::fsync(file.handle());
#endif
}

void AddRow(Row row) { Rows().push_back(std::move(row)); }

std::string RowKey(const Row& row) { return Slug(row.command) + "/" + Slug(row.picture); }

PeakMeter::PeakMeter()
{
#if defined(__GLIBC__)
    malloc_trim(0); // memory freed earlier goes back, so the base is what is in use
#endif
    base_ = StatusBytes("VmRSS:");
}

void PeakMeter::Start() { ResetHighWaterMark(); }

std::size_t PeakMeter::Peak() const
{
    const std::size_t high = StatusBytes("VmHWM:");
    return high > base_ ? high - base_ : 0;
}

QImage GreyPicture(int width, int height, unsigned seed)
{
    QImage image(width, height, QImage::Format_Indexed8);
    QList<QRgb> ramp(256);
    for (int i = 0; i < 256; ++i)
        ramp[i] = qRgb(i, i, i);
    image.setColorTable(ramp);
    std::uint64_t state = 0x9E3779B97F4A7C15ull * (seed + 1);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            row[x] = std::uint8_t(state >> 32);
        }
    }
    return image;
}

QImage ColourPicture(int width, int height, unsigned seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::uint64_t state = 0xD1B54A32D192ED03ull * (seed + 1);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            row[x] = std::uint32_t(state >> 24) | 0xFF000000u;
        }
    }
    return image;
}

std::string PictureName(int width, int height, bool colour)
{
    std::string name = width == height ? std::to_string(width) + "²"
                                       : std::to_string(width) + " × " + std::to_string(height);
    return name + (colour ? " colour" : " 8-bit");
}

int RunAndPrintTable(int argc, char** argv)
{
    // The rows the filter leaves in (Google Benchmark's own test: a regular
    // expression searched in the name).
    std::string filter = ".";
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--benchmark_filter=", 19) == 0)
            filter = argv[i] + 19;
    const std::regex picked(filter);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    // Peak memory first, while the heap is still small.
    std::vector<std::size_t> peaks(Rows().size(), 0);
    for (std::size_t i = 0; i < Rows().size(); ++i)
        if (Rows()[i].peak && std::regex_search(Key(i, "ours"), picked))
            peaks[i] = Rows()[i].peak();

    for (std::size_t i = 0; i < Rows().size(); ++i)
        RegisterRow(i, Rows()[i]);
    Collector collector;
    std::fprintf(stderr, "Running %zu rows, fastest of %d repetitions each:\n", Rows().size(), kRepetitions);
    benchmark::RunSpecifiedBenchmarks(&collector);

    std::printf("\nMachine: %s, %u cores; one thread; row kernels: %s; times in ms per command, fastest of %d "
                "repetitions.\n\n",
                CpuName().c_str(), std::max(1u, std::thread::hardware_concurrency()),
                kernels::TargetName(kernels::ActiveTarget()), kRepetitions);
    const int widths[] = {32, 20, 8, 8, 8, 23, 8, 6, 7, 7, 6};
    const auto print = [&](const std::vector<std::string>& cells) {
        std::string line = "|";
        for (std::size_t c = 0; c < cells.size(); ++c)
        {
            line += ' ';
            line += Pad(cells[c], widths[c], c >= 2 && c != 5 && c != 10);
            line += " |";
        }
        std::printf("%s\n", line.c_str());
    };
    print({"Command", "Picture", "ms", "memcpy", "× memcpy", "reference", "ref ms", "× ref", "peak MB", "limit",
           "target"});
    std::string rule = "|";
    for (int w : widths)
        rule += std::string(std::size_t(w) + 2, '-') + "|";
    std::printf("%s\n", rule.c_str());

    const double mb = 1024.0 * 1024.0;
    for (std::size_t i = 0; i < Rows().size(); ++i) {
        const Row& row = Rows()[i];
        const Timing ours = collector.timings[Key(i, "ours")];
        const Timing copy = collector.timings[Key(i, "memcpy")];
        const Timing ref = collector.timings[Key(i, "reference")];
        if (!ours.seen)
            continue; // left out by --benchmark_filter
        const double timesMemcpy = copy.seen ? ours.best / copy.best : 0;
        const double timesRef = ref.seen ? ours.best / ref.best : 0;
        bool judged = false;
        bool met = true;
        const auto judge = [&](bool applies, bool ok) {
            judged = judged || applies;
            met = met && (!applies || ok);
        };
        judge(row.maxTimesMemcpy > 0 && copy.seen, timesMemcpy <= row.maxTimesMemcpy);
        judge(row.maxTimesReference > 0 && ref.seen, timesRef <= row.maxTimesReference);
        judge(bool(row.peak) && row.peakLimit > 0, peaks[i] <= row.peakLimit);
        judge(row.maxMilliseconds > 0, ours.best <= row.maxMilliseconds);
        print({row.command, row.picture, Cell(ours.best, "%.2f"), copy.seen ? Cell(copy.best, "%.2f") : "-",
               copy.seen ? Cell(timesMemcpy, "%.2f") : "-", ref.seen ? row.referenceName : "-",
               ref.seen ? Cell(ref.best, "%.2f") : "-", ref.seen ? Cell(timesRef, "%.2f") : "-",
               row.peak ? Cell(double(peaks[i]) / mb, "%.1f") : "-",
               row.peak && row.peakLimit ? Cell(double(row.peakLimit) / mb, "%.1f") : "-",
               judged ? (met ? "met" : "MISSED") : "-"});
    }
    bool first = true;
    for (std::size_t i = 0; i < Rows().size(); ++i) {
        const Row& row = Rows()[i];
        if (!row.note || !collector.timings[Key(i, "ours")].seen)
            continue;
        std::printf("%s%s, %s: %s\n", first ? "\n" : "", row.command.c_str(), row.picture.c_str(), row.note().c_str());
        first = false;
    }
    return 0;
}

} // namespace bench
