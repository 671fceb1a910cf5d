// Every row kernel on every instruction set compiled in, each forced in
// turn, bit for bit against the plain reference: rows at byte offsets 0 ... 63
// and of widths around every vector size; then the commands on whole
// pictures. Also the reuse of 8-bit pictures' memory.
#include "analysis/Analysis.h"
#include "image/operations/Operations.h"
#include "image/quantizer/Quantizer.h"
#include "image/kernels/Kernels.h"
#include "support/Reference.h"
#include "support/TestPictures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace testpictures;

namespace {

// Runs the kernels on one target until destroyed, then on the best again.
class Forced {
public:
    explicit Forced(std::int64_t target) { kernels::Force(target); }
    ~Forced() { kernels::Force(0); }
};

using Bytes8 = std::vector<std::uint8_t>;

// A row of n elements of T at byte offset `offset` of a buffer of random
// bytes that runs 64 bytes past it: comparing whole buffers also catches a
// write outside the row.
struct Row {
    Bytes8 bytes;
    std::size_t offset;
    template <typename T>
    T* At() { return reinterpret_cast<T*>(bytes.data() + offset); }
};

Row RandomRow(std::size_t n, std::size_t offset, Random& random, std::uint8_t mask = 0xFF)
{
    Row row{Bytes8(offset + n + 64), offset};
    for (std::uint8_t& b : row.bytes)
        b = std::uint8_t(random() & mask);
    return row;
}

// One row operation: runs the kernel and the reference on copies of the same
// random rows of `width` elements at byte offset `offset`, and says whether
// every byte came out the same.
struct Operation {
    const char* name;
    std::function<bool(int width, std::size_t offset, Random& random)> same;
};

bool XorSame(int width, std::size_t offset, Random& random, std::uint32_t pattern)
{
    Row ours = RandomRow(std::size_t(width), offset, random), theirs = ours;
    kernels::XorPattern()(ours.At<std::uint8_t>(), std::size_t(width), pattern);
    reference::XorPattern(theirs.At<std::uint8_t>(), std::size_t(width), pattern);
    return ours.bytes == theirs.bytes;
}

bool EdgeSame(int width, std::size_t offset, Random& random, int bpp)
{
    // Gentle rows (levels 0 ... 63) give responses across the whole range,
    // not just 0 and 255; each row at an offset of its own.
    const std::size_t n = std::size_t(width * bpp);
    const Row up = RandomRow(n, (offset * 7) % 64, random, 63), mid = RandomRow(n, (offset * 13) % 64, random, 63);
    const Row down = RandomRow(n, (offset + 32) % 64, random, 0xFF);
    Row ours = RandomRow(n, offset, random), theirs = ours;
    const auto* u = up.bytes.data() + up.offset;
    const auto* m = mid.bytes.data() + mid.offset;
    const auto* d = down.bytes.data() + down.offset;
    kernels::Edge()(bpp, u, m, d, ours.At<std::uint8_t>(), width);
    reference::Laplacian(u, m, d, theirs.At<std::uint8_t>(), width, bpp);
    return ours.bytes == theirs.bytes;
}

template <typename T>
bool ReverseSame(int width, std::size_t offset, Random& random)
{
    Row ours = RandomRow(sizeof(T) * std::size_t(width), offset, random), theirs = ours;
    const Row ahead = RandomRow(sizeof(T) * std::size_t(width), 0, random);
    if constexpr (sizeof(T) == 1)
        kernels::ReverseBytes()(ours.At<T>(), width, width % 2 ? ahead.bytes.data() : nullptr);
    else
        kernels::ReverseWords()(ours.At<T>(), width, width % 2 ? ahead.bytes.data() : nullptr);
    reference::Reverse(theirs.At<T>(), width);
    return ours.bytes == theirs.bytes;
}

bool GreySame(int width, std::size_t offset, Random& random)
{
    // Grey pixels (any alpha), and for odd widths one pixel anywhere whose
    // red or green differs from blue by one bit.
    Row src = RandomRow(4 * std::size_t(width), offset & ~std::size_t(3), random);
    auto* pixels = src.At<std::uint32_t>();
    for (int x = 0; x < width; ++x)
        pixels[x] = (pixels[x] & 0xFF0000FFu) | (pixels[x] & 0xFF) * 0x10100u;
    if (width % 2)
        pixels[random() % unsigned(width)] ^= random() % 2 ? 0x10000u << (random() % 8) : 0x100u << (random() % 8);
    Row ours = RandomRow(std::size_t(width), offset, random), theirs = ours;
    const bool grey = kernels::GreyRow()(pixels, ours.At<std::uint8_t>(), width);
    return grey == reference::GreyRow(pixels, theirs.At<std::uint8_t>(), width) && ours.bytes == theirs.bytes;
}

bool CellsSame(int width, std::size_t offset, Random& random)
{
    Row src = RandomRow(4 * std::size_t(width), offset & ~std::size_t(3), random);
    Row ours = RandomRow(2 * std::size_t(width), offset & ~std::size_t(1), random), theirs = ours;
    kernels::Cells()(src.At<std::uint32_t>(), ours.At<std::uint16_t>(), width);
    reference::Cells(src.At<std::uint32_t>(), theirs.At<std::uint16_t>(), width);
    return ours.bytes == theirs.bytes;
}

bool LookUpSame(int width, std::size_t offset, Random& random)
{
    Row table = RandomRow(4 * 256, 0, random), index = RandomRow(std::size_t(width), offset, random);
    Row ours = RandomRow(4 * std::size_t(width), offset & ~std::size_t(3), random), theirs = ours;
    const auto* t = table.At<std::int32_t>();
    kernels::LookUp()(index.At<std::uint8_t>(), t, ours.At<std::int32_t>(), width);
    reference::LookUp(index.At<std::uint8_t>(), t, theirs.At<std::int32_t>(), width);
    return ours.bytes == theirs.bytes;
}

using namespace std::placeholders;
const Operation kOperations[] = {
    {"complement of bytes", std::bind(XorSame, _1, _2, _3, reference::kComplementBytes)},
    {"complement of colour channels", std::bind(XorSame, _1, _2, _3, reference::kComplementColour)},
    {"xor with an uneven pattern", std::bind(XorSame, _1, _2, _3, 0x80C0E0F1u)},
    {"edges of 8-bit rows", std::bind(EdgeSame, _1, _2, _3, 1)},
    {"edges of 32-bit rows", std::bind(EdgeSame, _1, _2, _3, 4)},
    {"reversal of bytes", ReverseSame<std::uint8_t>},
    {"reversal of 32-bit pixels", // words at their 4-byte boundaries, as in every picture
     [](int width, std::size_t offset, Random& random) {
         return ReverseSame<std::uint32_t>(width, offset & ~std::size_t(3), random);
     }},
    {"grey check and conversion", GreySame},
    {"histogram cells", CellsSame},
    {"look-up", LookUpSame},
};

// Every width up to past the longest vector with its two-pixel margins, then
// around two and four vectors, and one long row.
std::vector<int> Widths()
{
    std::vector<int> widths;
    for (int w = 1; w <= 72; ++w)
        widths.push_back(w);
    for (int w : {95, 96, 97, 127, 128, 129, 130, 131, 132, 133, 135, 136, 137, 191, 255, 256, 257, 259, 260, 1021})
        widths.push_back(w);
    return widths;
}

} // namespace

TEST(Kernels, EveryTargetMatchesTheReferenceAtEveryWidthAndOffset)
{
    Random random(19);
    const std::vector<std::int64_t> targets = kernels::Targets();
    for (const std::int64_t target : targets) {
        const Forced forced(target);
        ASSERT_EQ(kernels::ActiveTarget(), target);
        for (const Operation& operation : kOperations) {
            int failures = 0;
            for (const int width : Widths())
                for (std::size_t offset = 0; offset < 64 && failures < 5; ++offset)
                    if (!operation.same(width, offset, random)) {
                        ++failures;
                        ADD_FAILURE() << operation.name << " on " << kernels::TargetName(target) << ": " << width
                                      << " wide at offset " << offset;
                    }
        }
    }
}

TEST(Kernels, EveryTargetGivesTheCommandsReferenceBytes)
{
    // Widths around 8, 16, 32, 64 and 128 bytes or pixels, a long odd row,
    // and pictures one, two or three pixels high or wide (rows and columns
    // that are their own neighbours).
    const std::vector<std::pair<int, int>> sizes = {
        {1, 1},   {2, 3},   {3, 3},   {7, 3},   {8, 3},   {9, 3},   {15, 3},  {16, 3},   {17, 3},  {31, 3},
        {32, 3},  {33, 3},  {63, 3},  {64, 3},  {65, 3},  {66, 2},  {127, 3}, {128, 3},  {129, 4}, {130, 1},
        {191, 2}, {256, 3}, {257, 3}, {4097, 3}, {1, 7},  {7, 1},   {2, 2},   {2, 5},    {5, 2},   {1, 40},
        {40, 1},  {17, 13}, {64, 64}, {65, 33}, {99, 7}, {3, 129}, {16, 5},  {100, 9}};
    std::uint32_t seed = 100;
    for (const std::int64_t target : kernels::Targets()) {
        const Forced forced(target);
        for (const auto& [w, h] : sizes)
            for (const QImage& image : {RandomGrey(w, h, seed += 3), RandomColour(w, h, seed + 1, false),
                                        RandomColour(w, h, seed + 2, true)}) {
                const auto after = [&image](void (*command)(TBitmap&)) {
                    TBitmap bitmap;
                    bitmap.SetImage(image);
                    command(bitmap);
                    return Bytes(bitmap);
                };
                const std::string where = std::string(kernels::TargetName(target)) + ", " + std::to_string(w) + " x " +
                                          std::to_string(h) + ", " + std::to_string(image.depth()) + "-bit";
                EXPECT_EQ(after(Complement), reference::Complemented(image)) << "complement, " << where;
                EXPECT_EQ(after(EdgeDetect), reference::Laplacian(image)) << "edges, " << where;
                EXPECT_EQ(after(MirrorHorizontally), reference::Mirrored(image)) << "mirror, " << where;
            }
    }
}

TEST(Kernels, EveryTargetTellsGreyFromColourAndCapturesTheSameColours)
{
    for (const std::int64_t target : kernels::Targets()) {
        const Forced forced(target);
        const char* name = kernels::TargetName(target);
        for (const int w : {1, 7, 16, 33, 64, 130}) {
            const int h = 3;
            // At most 200 grey levels, so that one tinted pixel still leaves
            // few enough colours to be kept exactly.
            const QImage grey8 = Grey(w, h, [](int x, int y) { return (x * 7 + y * 13 + x * y) % 200; });
            const QImage grey = grey8.convertToFormat(QImage::Format_RGB32);
            TBitmap bitmap;
            bitmap.SetImage(grey);
            bitmap.SetPixelFormat(pf8bit);
            ASSERT_EQ(bitmap.PixelFormat(), pf8bit);
            EXPECT_EQ(Bytes(bitmap), Bytes(grey8)) << name << ", " << w << " x " << h;

            // One pixel off grey makes it a colour picture.
            QImage tinted = grey.copy();
            QRgb& p = reinterpret_cast<QRgb*>(tinted.scanLine(h - 1))[w - 1];
            p ^= 0x000100; // green differs by one
            TBitmap colour;
            colour.SetImage(tinted);
            CaptureBitmap(colour);
            EXPECT_EQ(colour.Canvas()->Pixels(w - 1, h - 1), ColorFromRgb(p)) << name << ", " << w << " x " << h;
            EXPECT_EQ(At(CaptureMatrix, w - 1, h - 1), ColorFromRgb(p)) << name;
        }
        // The capture stores what the canvas shows, on every target.
        TBitmap chart;
        chart.SetImage(RandomColour(523, 517, 9, false));
        CaptureBitmap(chart);
        int wrong = 0;
        for (int y = 0; y < MatrixSize; ++y)
            for (int x = 0; x < MatrixSize; ++x)
                wrong += At(CaptureMatrix, x, y) != chart.Canvas()->Pixels(x, y);
        EXPECT_EQ(wrong, 0) << name;
    }
}

TEST(Kernels, TheVectorTargetsAreThereAndTheEnvironmentVariableKeepsTheScalarOne)
{
    const std::vector<std::int64_t> targets = kernels::Targets();
    ASSERT_FALSE(targets.empty());
    EXPECT_EQ(kernels::ActiveTarget(), targets.front()); // the best this processor has
    EXPECT_TRUE(kernels::IsScalar(targets.back()));
    const char* forced = std::getenv("IMAGEBENCH_PORTABLE");
    if (forced && *forced && QByteArray(forced) != "0")
        EXPECT_EQ(targets.size(), 1u);
#if defined(__x86_64__) || defined(_M_X64) || defined(__aarch64__)
    else // every 64-bit ARM processor has NEON, every x86-64 one of this century SSSE3
        EXPECT_GT(targets.size(), 1u);
#endif
}

TEST(Bitmap, EightBitConversionsOneAfterTheOtherEachHaveTheirOwnBytes)
{
    // Large pictures, converted one after the other, each with its own
    // bytes and none of the last one's.
    for (int level : {10, 200}) {
        TBitmap bitmap;
        bitmap.SetImage(Colour(4096, 1100, [level](int x, int) {
            const int v = (x + level) & 255;
            return qRgb(v, v, v);
        }));
        bitmap.SetPixelFormat(pf8bit);
        ASSERT_EQ(bitmap.PixelFormat(), pf8bit);
        EXPECT_EQ(bitmap.ScanLine(1099)[4095], (4095 + level) & 255);
        EXPECT_EQ(bitmap.ScanLine(0)[0], level);
        EXPECT_EQ(bitmap.Canvas()->Pixels(7, 3), RGB(level + 7, level + 7, level + 7));
    }
}

TEST(Bitmap, AGreyImageHeldByNobodyElseIsTakenOverNotCopied)
{
    QImage grey(301, 20, QImage::Format_Grayscale8);
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x)
            grey.scanLine(y)[x] = uchar(x ^ (y * 7));
    const QImage kept = grey.copy();
    const uchar* bits = grey.constBits();
    const QImage normalized = TBitmap::Normalized(std::move(grey));
    EXPECT_EQ(normalized.constBits(), bits);
    ASSERT_EQ(normalized.format(), QImage::Format_Indexed8);
    ASSERT_EQ(normalized.colorCount(), 256);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(normalized.color(i), qRgb(i, i, i));
    for (int y = 0; y < kept.height(); ++y)
        EXPECT_EQ(std::memcmp(normalized.constScanLine(y), kept.constScanLine(y), std::size_t(kept.width())), 0);

    // An image another holder still shows is copied; that holder's stays grey.
    const QImage other = kept;
    const QImage copied = TBitmap::Normalized(other);
    EXPECT_NE(copied.constBits(), other.constBits());
    EXPECT_EQ(copied.format(), QImage::Format_Indexed8);
    EXPECT_EQ(other.format(), QImage::Format_Grayscale8);
}
