// The picture layer when memory runs out, made to happen on Linux by lowering
// the address-space limit of the process.
#include "image/bitmap/Graphics.h"
#include "image/operations/Operations.h"
#include "support/TestPictures.h"

#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <sys/resource.h>

using namespace testpictures;

#if !defined(__SANITIZE_ADDRESS__) && !(defined(__has_feature) && __has_feature(address_sanitizer))
// Lowers the address-space limit to what the process uses now plus a margin,
// for the lifetime of the object, so that a large allocation fails.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(std::size_t margin)
    {
        getrlimit(RLIMIT_AS, &previous_);
        QFile status(QStringLiteral("/proc/self/status"));
        status.open(QIODevice::ReadOnly);
        std::size_t used = 0;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmSize:"))
                used = line.mid(7).trimmed().split(' ').first().toULongLong() * 1024;
        rlimit small = previous_;
        small.rlim_cur = used + margin;
        active_ = used > 0 && setrlimit(RLIMIT_AS, &small) == 0;
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &previous_); }
    bool Active() const { return active_; }

private:
    rlimit previous_{};
    bool active_ = false;
};

TEST(PixelFormat, AConversionThatDoesNotFitInMemoryKeepsThePicture)
{
    for (const bool grey : {true, false}) {
        TBitmap bitmap;
        bitmap.SetImage(Colour(4096, 4096, [grey](int x, int y) {
            return grey ? qRgb(x & 255, x & 255, x & 255) : qRgb(x & 255, y & 255, 7);
        }));
        const QByteArray before = Bytes(bitmap);
        bool refused = false;
        {
            AddressSpaceLimit limit(8u << 20); // far less than the 16 MB the 8-bit copy needs
            ASSERT_TRUE(limit.Active());
            try {
                ConvertTo8bit(bitmap);
            } catch (const Exception& error) {
                refused = QString::fromUtf8(error.what()).contains(QStringLiteral("not enough memory"));
            }
        }
        EXPECT_TRUE(refused) << (grey ? "grey" : "colour");
        EXPECT_EQ(bitmap.PixelFormat(), pf32bit);
        EXPECT_EQ(Bytes(bitmap), before);
    }
}
#endif
