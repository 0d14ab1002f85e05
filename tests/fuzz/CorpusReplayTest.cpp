// Replays the checked-in fuzz corpus through the fuzz harness' check.
#include "tests/fuzz/HarvestFuzzCheck.h"

#include "tests/support/TestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

TEST(HarvestFuzzCorpus, EveryInputPassesTheCheck)
{
    const QDir corpus(QStringLiteral(QUARROW_FUZZ_CORPUS_DIR));
    const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
    ASSERT_GE(names.size(), 20);
    for (const QString &name : names) {
        const QByteArray input = testsupport::readFile(corpus.filePath(name));
        const QString problem = CheckHarvestInput(
            reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
        EXPECT_TRUE(problem.isEmpty()) << name.toStdString() << ": " << problem.toStdString();
    }
}

} // namespace
