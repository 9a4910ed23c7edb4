// Card descriptions that stay the same across runs.

#include <gtest/gtest.h>

#include "platform/sound/Backends.h"

using qdl::sound::detail::stableDeviceName;

TEST(DeviceNames, TheAlsaCardIndexIsDroppedAndEverythingElseKept) {
  // A USB card is "hw:1" today and may be "hw:2" after the next plug-in.
  EXPECT_EQ(stableDeviceName("USB Audio CODEC: - (hw:1,0)"), "USB Audio CODEC: -");
  EXPECT_EQ(stableDeviceName("USB Audio CODEC: - (hw:2,0)"), "USB Audio CODEC: -");
  EXPECT_EQ(stableDeviceName("HDA Intel PCH: ALC892 Analog (hw:0,0)"),
            "HDA Intel PCH: ALC892 Analog");
  EXPECT_EQ(stableDeviceName("HDA Intel PCH: HDMI 0 (hw:0,3)"), "HDA Intel PCH: HDMI 0");
  // Names without an index, or with one elsewhere, stay as they are.
  EXPECT_EQ(stableDeviceName("pulse"), "pulse");
  EXPECT_EQ(stableDeviceName("quandrel_a"), "quandrel_a");
  EXPECT_EQ(stableDeviceName("Card (hw:1,0) Front"), "Card (hw:1,0) Front");
  EXPECT_EQ(stableDeviceName("(hw:0,0)"), "(hw:0,0)");
}
