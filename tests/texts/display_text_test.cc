#include "platform/display_text.h"

#include <gtest/gtest.h>

#include "texts/texts.h"

using platform::TextToUtf8;

TEST(TextToUtf8, DecodesByTheLanguageLetter) {
  EXPECT_EQ(TextToUtf8(SelectText(kOtherServer, 't'), 't'), "其它");
  EXPECT_EQ(TextToUtf8(SelectText(kOtherServer, 's'), 's'), "其它");
  EXPECT_EQ(TextToUtf8(SelectText(kFileInUse, 't'), 't'), "檔案使用中無法更新");
  EXPECT_EQ(TextToUtf8(SelectText(kFileInUse, 's'), 's'), "档案使用中无法更新");
  EXPECT_EQ(TextToUtf8(FilesRemainText(5, 't'), 't'), "還有5個檔案需要更新");
  EXPECT_EQ(TextToUtf8(FilesRemainText(5, 's'), 's'), "还有5个档案需要更新");
  EXPECT_EQ(TextToUtf8(SelectText(kExitQuestion, 'n'), 'n'), "Are you sure to exit ?");
  EXPECT_EQ(TextToUtf8("", 't'), "");
}

TEST(TextToUtf8, MarksBytesThatAreNotText) {
  // A lone lead byte at the end, and a lead byte before a byte that is no trail.
  EXPECT_EQ(TextToUtf8("a\xA4", 't'), "a\xEF\xBF\xBD");
  EXPECT_EQ(TextToUtf8("\xA4\x20\xA4\xA4", 't'), "\xEF\xBF\xBD \xE4\xB8\xAD");
  // Big5 bytes in an English text do not leak out as invalid UTF-8.
  EXPECT_EQ(TextToUtf8("x\xA4\xA4y", 'n'), "x\xEF\xBF\xBD\xEF\xBF\xBDy");
}
