#pragma once

#include "support/BenchWindow.h"

#include <QObject>
#include <QTest>
#include <memory>

namespace zorv::testing {

// Tests of the main window at work: a fresh bench before each test function,
// and after it the check that no dialog came that the test did not expect.
class BenchTest : public QObject {
    Q_OBJECT

protected:
    std::unique_ptr<BenchWindow> m_bench;

    PwrSupWindow& window() { return m_bench->window(); }
    Pty& pty() { return m_bench->pty(); }
    ScriptedDialogs& dialogs() { return m_bench->dialogs(); }
    QString inFolder(const QString& name) const { return m_bench->folder() + u'/' + name; }

protected slots:
    void init()
    {
        m_bench = std::make_unique<BenchWindow>();
        QVERIFY(m_bench->isValid());
    }

    void cleanup()
    {
        if (m_bench)
            QCOMPARE(dialogs().unexpected, QStringList());
        m_bench.reset();
    }
};

} // namespace zorv::testing
