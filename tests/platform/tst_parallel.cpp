#include <atomic>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

#include <QTest>

#include "platform/parallel.h"

class TestParallel : public QObject
{
    Q_OBJECT

private slots:
    void everyShareRunsOnce_data();
    void everyShareRunsOnce();
    void helperFailureReachesCaller_data();
    void helperFailureReachesCaller();
    void callerFailureWaitsForHelpers();
    void twoCores();
    void backgroundWork_data();
    void backgroundWork();
};

void TestParallel::everyShareRunsOnce_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<HelperFault>("fault");

    QTest::newRow("one share") << 1 << HelperFault::None;
    QTest::newRow("four shares") << 4 << HelperFault::None;
    QTest::newRow("a helper cannot start: its share runs here") << 4 << HelperFault::CannotStart;
    QTest::newRow("the only helper cannot start") << 2 << HelperFault::CannotStart;
}

void TestParallel::everyShareRunsOnce()
{
    QFETCH(int, count);
    QFETCH(HelperFault, fault);

    InjectHelperFault(fault);
    std::vector<std::atomic<int>> runs(static_cast<std::size_t>(count));
    std::vector<std::thread::id> ranOn(static_cast<std::size_t>(count));
    RunOnThreads(static_cast<std::size_t>(count), [&](std::size_t share) {
        ++runs[share];
        ranOn[share] = std::this_thread::get_id();
    });
    InjectHelperFault(HelperFault::None);

    for (const std::atomic<int> &r : runs)
        QCOMPARE(r.load(), 1);
    QCOMPARE(ranOn[0], std::this_thread::get_id());
    if (fault == HelperFault::CannotStart)
        QCOMPARE(ranOn[1], std::this_thread::get_id());
}

void TestParallel::helperFailureReachesCaller_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("injected");

    QTest::newRow("bad_alloc injected on the helper of two") << 2 << true;
    QTest::newRow("bad_alloc injected on the first helper of four") << 4 << true;
    QTest::newRow("bad_alloc thrown by the last share") << 4 << false;
}

void TestParallel::helperFailureReachesCaller()
{
    QFETCH(int, count);
    QFETCH(bool, injected);

    if (injected)
        InjectHelperFault(HelperFault::FailWithBadAlloc);
    std::atomic<int> done{0};
    QVERIFY_THROWS_EXCEPTION(std::bad_alloc,
                             RunOnThreads(static_cast<std::size_t>(count), [&](std::size_t share) {
                                 if (!injected && share == std::size_t(count - 1))
                                     throw std::bad_alloc();
                                 ++done;
                             }));
    // The other shares all ran to their end before the failure was passed on.
    QCOMPARE(done.load(), count - 1);
    // The fault is used once: the next run is sound.
    RunOnThreads(2, [](std::size_t) {});
}

void TestParallel::callerFailureWaitsForHelpers()
{
    std::atomic<bool> helperDone{false};
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, RunOnTwoCores([&](int part) {
                                 if (part == 0)
                                     throw std::runtime_error("here");
                                 std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                 helperDone = true;
                             }));
    QVERIFY(helperDone);
}

void TestParallel::twoCores()
{
    int seen[2] = {0, 0};
    RunOnTwoCores([&](int part) { ++seen[part]; });
    QCOMPARE(seen[0], 1);
    QCOMPARE(seen[1], 1);
}

void TestParallel::backgroundWork_data()
{
    QTest::addColumn<HelperFault>("fault");
    QTest::addColumn<bool>("throws");

    QTest::newRow("runs beside the caller") << HelperFault::None << false;
    QTest::newRow("cannot start: runs at join, on the caller") << HelperFault::CannotStart << false;
    QTest::newRow("its failure reaches join") << HelperFault::None << true;
    QTest::newRow("bad_alloc injected reaches join") << HelperFault::FailWithBadAlloc << false;
}

void TestParallel::backgroundWork()
{
    QFETCH(HelperFault, fault);
    QFETCH(bool, throws);

    InjectHelperFault(fault);
    std::atomic<int> runs{0};
    std::thread::id ranOn;
    BackgroundWork work([&] {
        ranOn = std::this_thread::get_id();
        ++runs;
        if (throws)
            throw std::runtime_error("helper");
    });
    InjectHelperFault(HelperFault::None);
    QCOMPARE(work.running(), fault != HelperFault::CannotStart);
    if (throws) {
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, work.join());
    } else if (fault == HelperFault::FailWithBadAlloc) {
        QVERIFY_THROWS_EXCEPTION(std::bad_alloc, work.join());
        QCOMPARE(runs.load(), 0);
        return;
    } else {
        work.join();
    }
    QCOMPARE(runs.load(), 1);
    QCOMPARE(ranOn == std::this_thread::get_id(), fault == HelperFault::CannotStart);
    // A second join neither runs the work again nor throws again.
    work.join();
    QCOMPARE(runs.load(), 1);
}

QTEST_GUILESS_MAIN(TestParallel)
#include "tst_parallel.moc"
