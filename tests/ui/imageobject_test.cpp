// Skin images from the program's resources.
#include <gtest/gtest.h>

#include "ui/imageobject.h"
#include "ui/uierror.h"
#include "uitest.h"

namespace orvtest {
namespace {

TEST(ImageObject, DecodesResourcesAndRefusesMissingOnes) {
    ORVUE::ImageObject strip(L"PNG", kStrip4 | 0x10000);  // only the low 16 bits name the resource
    EXPECT_EQ(strip.Width(), 80u);
    EXPECT_EQ(strip.Height(), 20u);
    Surface surface(20, 20);
    EXPECT_EQ(surface.Graphics().DrawImage(&strip, Gdiplus::Rect(0, 0, 20, 20), 20, 0, 20, 20, Gdiplus::UnitPixel),
              Gdiplus::Ok);
    EXPECT_TRUE(Near(surface.Pixel(10, 10), kStrip4Colours[1]));

    try {
        ORVUE::ImageObject missing(L"PNG", 4242);
        ADD_FAILURE() << "a missing resource must throw";
    } catch (const ORVUE::UIError& error) {
        EXPECT_EQ(error.Error(), E_FAIL);
    }
    EXPECT_THROW(ORVUE::ImageObject(nullptr, kStrip4), ORVUE::UIError);  // no type: not found

    ORVUE::ImageObject garbage(L"PNG", kNotAnImage);  // no exception; draws fail quietly
    EXPECT_NE(surface.Graphics().DrawImage(&garbage, 0, 0), Gdiplus::Ok);
}

}  // namespace
}  // namespace orvtest
