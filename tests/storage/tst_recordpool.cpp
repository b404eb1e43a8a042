#include "TestEnvironment.h"

#include "ftp/Win32FindData.h"
#include "storage/RecordPool.h"

#include <QtTest>

#include <algorithm>
#include <cstring>
#include <set>

namespace {

bool allZero(const void *p, std::size_t size)
{
    const auto *bytes = static_cast<const unsigned char *>(p);
    return std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; });
}

} // namespace

class TestRecordPool : public QObject {
    Q_OBJECT
private slots:
    void hundredEntryRecordsFillOneBlock()
    {
        RecordPool pool;
        QVERIFY(pool.isEmpty());
        std::set<char *> seen;
        char *first = nullptr;
        for (int i = 0; i < 100; ++i) {
            auto *r = reinterpret_cast<char *>(pool.allocateRecord<TWin32FindData>());
            if (!first)
                first = r;
            QCOMPARE(r, first + i * 320); // packed one after another, none overlapping
            seen.insert(r);
        }
        QCOMPARE(pool.blockCount(), std::size_t(1));
        auto *next = reinterpret_cast<char *>(pool.allocateRecord<TWin32FindData>());
        QCOMPARE(pool.blockCount(), std::size_t(2));
        QVERIFY(!seen.count(next));
        QVERIFY(next < first || next >= first + RecordPool::kBlockSize);
    }

    void recordsComeZeroFilledAlsoAfterRelease()
    {
        RecordPool pool;
        for (int round = 0; round < 3; ++round) {
            for (int i = 0; i < 250; ++i) {
                TWin32FindData *r = pool.allocateRecord<TWin32FindData>();
                QVERIFY(allZero(r, sizeof *r));
                std::memset(r, 0xFF, sizeof *r);
            }
            QCOMPARE(pool.blockCount(), std::size_t(3));
            pool.release();
            QVERIFY(pool.isEmpty());
            QCOMPARE(pool.blockCount(), std::size_t(0));
        }
    }

    void oddSizesStayInsideTheirBlock()
    {
        RecordPool pool;
        char *a = static_cast<char *>(pool.allocate(31999));
        char *b = static_cast<char *>(pool.allocate(2)); // does not fit after a
        QCOMPARE(pool.blockCount(), std::size_t(2));
        QVERIFY(b < a || b >= a + RecordPool::kBlockSize);
        QVERIFY(pool.allocate(RecordPool::kBlockSize));
        QVERIFY_THROWS_EXCEPTION(std::bad_alloc, pool.allocate(RecordPool::kBlockSize + 1));
        QVERIFY_THROWS_EXCEPTION(std::bad_alloc, pool.allocate(0));
    }
};

VREX_TEST_MAIN(TestRecordPool, QCoreApplication)
#include "tst_recordpool.moc"
