// Replays the checked-in fuzz corpora through the fuzz harnesses' checks (of time
// per byte, only its count of the work, never its timing).
#include "tests/fuzz/HarvestFuzzCheck.h"
#include "tests/fuzz/HarvestTimeCheck.h"

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

TEST(HarvestFuzzCorpus, EveryInputAsThePieceOfALongPageIsReadInLinearWork)
{
    for (const char *folder : {QUARROW_FUZZ_CORPUS_DIR, QUARROW_TIME_CORPUS_DIR}) {
        const QDir corpus(QString::fromUtf8(folder));
        const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
        ASSERT_GE(names.size(), 10) << folder;
        for (const QString &name : names) {
            const QByteArray input = testsupport::readFile(corpus.filePath(name));
            const QString problem = harvestcheck::CheckHarvestWork(
                reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
            EXPECT_TRUE(problem.isEmpty()) << name.toStdString() << ": " << problem.toStdString();
        }
    }
}

} // namespace
