// The sheet's texts that carry numbers: data amounts, photo counters, the cancel summary.
#include "ovpiktouploadtexts.h"

#include <gtest/gtest.h>

namespace {

QString text(double done, double total) {
    return OvPiktoUploadTexts::buildUploadedDataSizeMessage(done, total);
}

TEST(UploadDataText, KibBelowOneMibAndMibFromThereOn) {
    EXPECT_EQ(text(512, 3072), QStringLiteral("Загружено 512 КБ из 3.00 MБ"));
    EXPECT_EQ(text(1024, 1024), QStringLiteral("Загружено 1.00 MБ из 1.00 MБ"));
    EXPECT_EQ(text(1023, 1023), QStringLiteral("Загружено 1023 КБ из 1023 КБ"));
    EXPECT_EQ(text(0, 4096 + 512), QStringLiteral("Загружено 0 КБ из 4.50 MБ"));
}

TEST(UploadDataText, MegabyteSignIsLatinMThenCyrillicBe) {
    const QString amount = OvPiktoUploadTexts::formatDataSize(2048);
    ASSERT_EQ(amount, QStringLiteral("2.00 MБ"));
    ASSERT_EQ(amount.size(), 7);
    EXPECT_EQ(amount.at(5), QChar(u'M'));
    EXPECT_EQ(amount.at(6), QChar(u'\u0411'));
}

TEST(UploadDataText, SizesAreSinglePrecisionKib) {
    // 2^24 + 1 bytes is not a float: it rounds to 2^24 before the division.
    EXPECT_EQ(OvPiktoUploadTexts::kibFromBytes(16777217), 16384.0);
    EXPECT_EQ(OvPiktoUploadTexts::kibFromBytes(1536), 1.5);
}

TEST(UploadProgressText, OnePhotoThenThreePhotos) {
    EXPECT_EQ(OvPiktoUploadTexts::firstPhotoProgress(1), QStringLiteral("Загрузка фото..."));
    EXPECT_EQ(OvPiktoUploadTexts::firstPhotoProgress(3),
              QStringLiteral("Загружается 1 из 3 фото..."));
    EXPECT_EQ(OvPiktoUploadTexts::photoProgress(2, 3),
              QStringLiteral("Загружается 2 из 3 фото..."));
}

TEST(UploadResultText, CancelSummaryKeepsTheLeadAsItIs) {
    EXPECT_EQ(OvPiktoUploadTexts::cancelResult(OvPiktoUploadTexts::cancelledByUserLead(), 0),
              QStringLiteral("Загрузка отменена. Загружено 0 фото."));
    // A lead holding a placeholder is inserted as it is.
    EXPECT_EQ(OvPiktoUploadTexts::cancelResult(QStringLiteral("Нет связи %1."), 2),
              QStringLiteral("Нет связи %1. Загружено 2 фото."));
}

TEST(SkippedListLine, ArrowAndLineFeedOnlyWithLinebreak) {
    EXPECT_EQ(OvPiktoUploadTexts::skippedListLine(QStringLiteral("/p/big.jpg"), true),
              QStringLiteral("\u25B6 /p/big.jpg\n"));
    EXPECT_EQ(OvPiktoUploadTexts::skippedListLine(QStringLiteral("/p/big.jpg"), false),
              QStringLiteral("/p/big.jpg"));
}

} // namespace
