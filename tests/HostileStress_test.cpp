#include "PictureFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

// Qt decodes 16-bit pictures at 8 bytes a pixel: 82 megapixels take 656 MB.
TEST(HostileStress, ASixteenBitPngWithinTheLimitIsMeasured)
{
    ScratchDirectory dir;
    ASSERT_TRUE(QImage(10000, 8200, QImage::Format_RGBX64).save("deep.png"));
    const QImage loaded = LoadPictureFile("deep.png");
    EXPECT_EQ(loaded.size(), QSize(10000, 8200));
    EXPECT_EQ(loaded.depth(), 64);
}

}
