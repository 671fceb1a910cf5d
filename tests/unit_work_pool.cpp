// The work pool and the progress that work reports through its promise:
// the share done as the window's dialog sees it, Cancel against the moment
// a result is put in place, and every parallel pass finishing also when no
// thread of the pool is free for it.
#include "image/files/PictureFiles.h"
#include "image/work/Pool.h"
#include "image/work/Progress.h"
#include "image/work/RowBands.h"
#include "support/TestPictures.h"

#include <QFuture>
#include <QPromise>
#include <QSemaphore>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

using namespace testpictures;

TEST(Progress, ThePromiseCarriesTheShareDone)
{
    const struct {
        qint64 total, done;
        int maximum, value; // the promise's range is 0..0 while the share is unknown
    } rows[] = {
        {0, 0, 0, 0},        {0, 500, 0, 0},         {200, 0, 1000, 0},  {200, 50, 1000, 250},
        {3, 1, 1000, 333},   {200, 200, 1000, 1000}, {200, 900, 1000, 1000},
        {qint64(12000) * 9000 * 4, qint64(6000) * 9000 * 4, 1000, 500},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.total << " " << row.done);
        QPromise<void> promise;
        promise.start();
        TProgress progress;
        progress.ReportTo(&promise);
        progress.SetTotal(row.total);
        // In steps, as parts of a pass report them.
        progress.Advance(row.done / 2);
        progress.Advance(row.done - row.done / 2);
        const QFuture<void> future = promise.future();
        EXPECT_EQ(future.progressMinimum(), 0);
        EXPECT_EQ(future.progressMaximum(), row.maximum);
        EXPECT_EQ(future.progressValue(), row.value);
        EXPECT_EQ(progress.Done(), row.done);
        progress.ReportTo(nullptr);
        promise.finish();
    }
    // Counting anew in other units starts the share from nothing.
    QPromise<void> promise;
    promise.start();
    TProgress progress;
    progress.ReportTo(&promise);
    progress.SetTotal(1000);
    progress.Advance(900);
    progress.Restart(10);
    progress.Advance(1);
    EXPECT_EQ(promise.future().progressValue(), 100);
    progress.ReportTo(nullptr);
    promise.finish();
}

TEST(Progress, CancelAndTheCommitOfAResultDecideOnce)
{
    enum Step { Cancel, Commit };
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::vector<bool> outcomes; // Cancel: accepted; Commit: went ahead
        bool cancelled;
    } rows[] = {
        {"cancel, then commit", {Cancel, Commit}, {true, false}, true},
        {"commit, then cancel", {Commit, Cancel}, {true, false}, false},
        {"cancel twice", {Cancel, Cancel, Commit}, {true, true, false}, true},
        {"commit alone", {Commit}, {true}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TProgress progress;
        for (std::size_t i = 0; i < row.steps.size(); ++i) {
            if (row.steps[i] == Cancel) {
                EXPECT_EQ(progress.Cancel(), row.outcomes[i]) << i;
                continue;
            }
            bool committed = true;
            try {
                progress.Commit();
            } catch (const TCancelled&) {
                committed = false;
            }
            EXPECT_EQ(committed, row.outcomes[i]) << i;
        }
        EXPECT_EQ(progress.Cancelled(), row.cancelled);
    }
}

namespace {

// Keeps every thread of the work pool busy until it goes.
class TBusyPool {
public:
    TBusyPool()
    {
        for (int i = 0; i < WorkPool().maxThreadCount(); ++i)
            busy_.push_back(StartOnPool([this](QPromise<void>&) {
                started_.release();
                release_.acquire();
            }));
        started_.acquire(WorkPool().maxThreadCount());
    }
    ~TBusyPool()
    {
        release_.release(int(busy_.size()));
        for (QFuture<void>& future : busy_)
            future.waitForFinished();
    }

private:
    QSemaphore started_, release_;
    std::vector<QFuture<void>> busy_;
};

} // namespace

TEST(WorkPool, PassesFinishWhetherOrNotThePoolHasAThreadFree)
{
    // Large enough for several deflate segments in the PNG writer, the
    // reader's inflating ahead and its bringing in of the picture's memory.
    const QImage picture = RandomColour(1500, 1100, 21, false);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const bool busy : {false, true}) {
        SCOPED_TRACE(busy ? "every thread of the pool busy" : "the pool free");
        std::unique_ptr<TBusyPool> hold;
        if (busy)
            hold = std::make_unique<TBusyPool>();

        std::vector<std::atomic<int>> visits(std::size_t(picture.height()));
        TProgress rows;
        ForEachRowInParts(picture, &rows, 4, [&](int, int y, const std::uint32_t*) { ++visits[std::size_t(y)]; });
        EXPECT_TRUE(std::all_of(visits.begin(), visits.end(), [](const std::atomic<int>& n) { return n == 1; }));
        EXPECT_EQ(rows.Done(), picture.height());

        const QString path = dir.filePath(busy ? QStringLiteral("busy.png") : QStringLiteral("free.png"));
        TProgress written, read;
        WritePictureFile(picture, path, &written);
        const QImage back = ReadPictureFile(path, &read);
        EXPECT_EQ(Bytes(back.convertToFormat(QImage::Format_RGB32)), Bytes(picture));
        EXPECT_EQ(written.Done(), picture.height());
        EXPECT_EQ(read.Done(), picture.height());
    }
}
