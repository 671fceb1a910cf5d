// The benchmark table: every row times one command against a memcpy of the
// same number of bytes (the machine's limit) and, where there is one, a
// reference implementation, side by side in the same run, and can measure
// the command's peak memory.
//
// Adding a row: in any bench/*_bench.cpp file, register it at start-up,
//
//     static const bool registered = bench::Register([] {
//         bench::Row row;
//         row.command = "Haar step";
//         row.picture = "512² matrices";
//         row.bytes = ...;                        // bytes the command moves
//         row.ours = [](benchmark::State& state) {
//             ... set up outside the loop ...
//             for (auto _ : state)
//                 HaarStep();
//         };
//         bench::AddRow(std::move(row));
//     });
//
// and optionally fill reference/referenceName, peak/peakLimit and the
// target ratios. The new file is picked up by bench/CMakeLists.txt's glob
// (re-run the cmake configure step). The table's first line names the row
// kernels timed (AVX-512, AVX2 or portable; IMAGEBENCH_PORTABLE=1 forces
// the last).
#pragma once

#include <QImage>

#include <benchmark/benchmark.h>

#include <cstddef>
#include <functional>
#include <string>

class QFile;

namespace bench {

struct Row {
    std::string command; // "Edge detection"
    std::string picture; // "8192² 8-bit"
    // The bytes a memcpy moves for the baseline column; usually the
    // picture's size. 0: no baseline column.
    std::size_t bytes = 0;
    // One iteration runs the command once; set-up goes before the loop.
    std::function<void(benchmark::State&)> ours;
    // The same work done by a reference library, when there is one.
    std::function<void(benchmark::State&)> reference;
    std::string referenceName; // "cv::flip"
    // Runs the command once under a PeakMeter and returns its Peak().
    std::function<std::size_t()> peak;
    std::size_t peakLimit = 0; // bytes; 0: none
    // Targets as ratios of our time to the baseline's; 0: none.
    double maxTimesMemcpy = 0;
    double maxTimesReference = 0;
    // A target in milliseconds per command, for rows whose limit is a
    // frame or a reaction time rather than the memory's speed; 0: none.
    double maxMilliseconds = 0;
    // Rows whose ms column is a figure the row measures itself, each
    // iteration through state.SetIterationTime (seconds): a longest stall, or
    // a quantity other than time as quantity / 1e6, so that the column holds
    // it in millions (file sizes in MB) and × ref its ratio. One iteration
    // per repetition unless iterations says otherwise.
    bool manualTime = false;
    // A line printed under the table (say, a quality figure); called after
    // the timings.
    std::function<std::string()> note;
    // Rows whose one command takes seconds: run it this often, in one
    // repetition, instead of Google Benchmark's choice; 0: its choice.
    int iterations = 0;
};

// A row's benchmarks are named after what it measures, lower case:
// "complement/8192-8-bit/ours", ".../reference", ".../memcpy", so that
// --benchmark_filter=complement (make bench BENCH_FILTER=complement) picks
// rows by name.
std::string RowKey(const Row& row);

void AddRow(Row row);

// The reference of the rows that open a file: a bare QImageReader::read of
// the file path() names, the picture released outside the timing.
std::function<void(benchmark::State&)> QtReadReference(std::function<QString()> path);

// Writes what the system holds of the open file to the disk, as a save of
// ours does before it counts as done (fsync; _commit on Windows).
void SyncToDisk(QFile& file);

// Runs fn during static initialization; returns true, for a static bool.
inline bool Register(const std::function<void()>& fn)
{
    fn();
    return true;
}

// Measures resident memory. Construct it before making the command's input
// (it returns free heap memory to the system and records the resident set),
// call Start() once the input is ready (the high-water mark restarts from
// the present), run the command, then Peak() is the most the process held
// above the first record: the input plus what the command itself needed.
class PeakMeter {
public:
    PeakMeter();
    void Start();
    std::size_t Peak() const;

private:
    std::size_t base_ = 0;
};

// Pictures for the rows: deterministic noise, an 8-bit grey image (grey
// ramp palette) or a 32-bit RGB32 one.
QImage GreyPicture(int width, int height, unsigned seed = 1);
QImage ColourPicture(int width, int height, unsigned seed = 1);
// "8192² 8-bit", "4096² colour".
std::string PictureName(int width, int height, bool colour);
inline std::size_t PictureBytes(int width, int height, bool colour)
{
    return std::size_t(width) * std::size_t(height) * (colour ? 4u : 1u);
}

// In a process started for a cold row: runs its command once, prints the
// milliseconds it took and returns the exit status; -1 in any other process.
int RunColdCommandIfAsked();

// Runs the registered benchmarks (command-line flags as Google Benchmark's)
// and prints the table. Returns the process's exit status.
int RunAndPrintTable(int argc, char** argv);

} // namespace bench
