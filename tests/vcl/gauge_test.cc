#include "vcl/gauge.h"

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "support/headless_app.h"
#include "vcl/form.h"

namespace {

class GaugeTest : public test_support::HeadlessAppTest {
 protected:
  TForm form{nullptr};
  TGauge* gauge = new TGauge(&form);
};

TEST_F(GaugeTest, RangeRulesAndRefusalText) {
  EXPECT_EQ(gauge->MinValue(), 0);
  EXPECT_EQ(gauge->MaxValue(), 100);
  {
    SCOPED_TRACE("a maximum below the minimum is refused with min + 1 and INT_MAX");
    gauge->SetMinValue(5);
    try {
      gauge->SetMaxValue(4);
      FAIL() << "no exception";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Value must be between 6 and 2147483647");
    }
    EXPECT_EQ(gauge->MaxValue(), 100);
    gauge->SetMaxValue(5);  // equal to the minimum is allowed
    EXPECT_EQ(gauge->MaxValue(), 5);
  }
  {
    SCOPED_TRACE("a minimum above the maximum is refused");
    EXPECT_THROW(gauge->SetMinValue(6), Exception);
    EXPECT_EQ(gauge->MinValue(), 5);
  }
}

TEST_F(GaugeTest, ProgressIsClampedAndFollowsALowerMaximum) {
  gauge->SetProgress(150);
  EXPECT_EQ(gauge->Progress(), 100);
  gauge->SetProgress(-3);
  EXPECT_EQ(gauge->Progress(), 0);
  gauge->SetProgress(80);
  gauge->SetMaxValue(40);
  EXPECT_EQ(gauge->Progress(), 40);
  gauge->SetMaxValue(1000);
  EXPECT_EQ(gauge->Progress(), 40) << "raising the maximum leaves the progress";
}

TEST_F(GaugeTest, PercentAndBarWidth) {
  gauge->SetMaxValue(3);
  gauge->SetProgress(1);
  EXPECT_EQ(gauge->PercentDone(), 33);
  EXPECT_EQ(gauge->BarWidth(392), 129);  // 392 * 33 / 100 truncated
  EXPECT_EQ(gauge->BarWidth(2), 0);      // below one pixel: no bar
  gauge->SetProgress(3);
  EXPECT_EQ(gauge->BarWidth(392), 392);
  {
    SCOPED_TRACE("max == min gives P = 0");
    gauge->SetMaxValue(0);
    EXPECT_EQ(gauge->PercentDone(), 0);
  }
  {
    SCOPED_TRACE("wide ranges do not overflow");
    gauge->SetMaxValue(2000000000);
    gauge->SetProgress(1999999999);
    EXPECT_EQ(gauge->PercentDone(), 99);
  }
}

TEST_F(GaugeTest, ProgressRepaintsOnlyWhenPercentChanges) {
  gauge->SetMaxValue(1000);
  const int base = gauge->RepaintCount();
  gauge->SetProgress(5);  // 0% -> 0%
  gauge->SetProgress(9);
  EXPECT_EQ(gauge->RepaintCount(), base);
  gauge->SetProgress(10);  // 1%
  EXPECT_EQ(gauge->RepaintCount(), base + 1);
  gauge->SetProgress(19);  // still 1%
  EXPECT_EQ(gauge->RepaintCount(), base + 1);
  gauge->SetProgress(1000);
  EXPECT_EQ(gauge->RepaintCount(), base + 2);
  gauge->SetProgress(5000);  // clamped to the same value
  EXPECT_EQ(gauge->RepaintCount(), base + 2);
}

}  // namespace
