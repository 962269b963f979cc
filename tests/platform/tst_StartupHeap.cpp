#include <QTest>

#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "platform/StartupHeap.h"

class tst_StartupHeap : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The reserve stays on the heap once freed, and a window-sized buffer
    // made after it comes from there instead of a mapping of its own.
    void reserveStaysOnTheHeap()
    {
#if defined(__GLIBC__)
        if constexpr (!StartupHeap::glibcHeap)
            QSKIP("AddressSanitizer's allocator");
        const std::size_t bytes = std::size_t(4) << 20;
        // Mapped ahead, or not at all on a kernel that cannot (before 5.14);
        // kept on the heap either way.
        const std::size_t reserved = StartupHeap::prepare(bytes);
        QVERIFY(reserved == 0 || reserved + 8192 >= bytes);
        const auto before = mallinfo2();
        QVERIFY(before.fordblks + 8192 >= bytes);

        void *volatile buffer = std::malloc(std::size_t(3) << 20);
        QVERIFY(buffer);
        QCOMPARE(mallinfo2().hblks, before.hblks);
        std::free(buffer);
        QVERIFY(mallinfo2().fordblks + 8192 >= bytes);
#else
        QCOMPARE(StartupHeap::prepare(), std::size_t(0));
#endif
    }
};

QTEST_GUILESS_MAIN(tst_StartupHeap)
#include "tst_StartupHeap.moc"
