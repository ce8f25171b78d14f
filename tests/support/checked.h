#pragma once

#include <QTest>

// Calls a helper that checks with QVERIFY and QCOMPARE, whose failure only
// returns from the helper, and stops the test there too.
#define CHECKED(call)                                                                              \
    do {                                                                                           \
        call;                                                                                      \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (false)
