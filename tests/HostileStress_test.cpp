#include "PictureFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

// A 16-bit picture of 82 megapixels is within the limit, although Qt would decode it at 8 bytes
// a pixel, 656 MB.
TEST(HostileStress, ASixteenBitPngWithinTheLimitIsMeasured)
{
    ScratchDirectory dir;
    ASSERT_TRUE(QImage(10000, 8200, QImage::Format_RGBX64).save("deep.png"));
    const QImage loaded = LoadPictureFile("deep.png");
    EXPECT_EQ(loaded.size(), QSize(10000, 8200));
    EXPECT_EQ(loaded.depth(), 24);
}

}
