#include "image/work/Reuse.h"

#include <QMutex>

#include <cstdlib>
#include <new>

namespace {

// Below this, fresh memory costs little and is not worth keeping.
constexpr std::size_t kSmallest = std::size_t(4) << 20;

struct Block {
    void* data;
    std::size_t bytes;
};

QBasicMutex spareLock;
Block spare{nullptr, 0};

// Called by QImage when the last image on a block goes: the block becomes
// the spare, and the spare before it is freed.
void Release(void* info)
{
    Block* block = static_cast<Block*>(info);
    void* old = nullptr;
    {
        const QMutexLocker guard(&spareLock);
        old = spare.data;
        spare = *block;
    }
    std::free(old);
    delete block;
}

} // namespace

QImage NewIndexed8(int width, int height)
{
    if (width <= 0 || height <= 0)
        return {};
    const qsizetype perLine = (qsizetype(width) + 3) & ~qsizetype(3); // rows 32-bit aligned, as QImage's own
    const std::size_t bytes = std::size_t(perLine) * std::size_t(height);
    if (bytes < kSmallest)
        return QImage(width, height, QImage::Format_Indexed8);

    void* data = nullptr;
    void* unfit = nullptr;
    {
        const QMutexLocker guard(&spareLock);
        if (spare.data && spare.bytes >= bytes && spare.bytes / 2 <= bytes)
            data = spare.data;
        else
            unfit = spare.data; // freed before asking for a new block
        spare = Block{nullptr, 0};
    }
    std::free(unfit);
    if (!data)
        data = std::malloc(bytes);
    Block* block = data ? new (std::nothrow) Block{data, bytes} : nullptr;
    if (!block) {
        std::free(data);
        return {};
    }
    QImage image(static_cast<uchar*>(data), width, height, perLine, QImage::Format_Indexed8, Release, block);
    if (image.isNull()) {
        std::free(data);
        delete block;
    }
    return image;
}
