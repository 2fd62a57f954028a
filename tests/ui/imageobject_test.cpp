// Skin images from the program's resources.
#include <gtest/gtest.h>

#include "ui/controlsupport.h"
#include "ui/imageobject.h"
#include "ui/paintsurface.h"
#include "ui/preparedimages.h"
#include "ui/uierror.h"
#include "uitest.h"
#include "utility/resourcedata.h"
#include "utility/scopeguard.h"
#include "utility/uniquehandle.h"

#include <shlwapi.h>

#include <cstring>
#include <memory>
#include <vector>

namespace orvtest {
namespace {

// The bitmap's pixels as premultiplied ARGB, row by row.
std::vector<uint32_t> PremultipliedPixels(Gdiplus::Bitmap& image) {
    const INT width = static_cast<INT>(image.GetWidth()), height = static_cast<INT>(image.GetHeight());
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    Gdiplus::Rect all(0, 0, width, height);
    Gdiplus::BitmapData data;
    if (image.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) != Gdiplus::Ok) return {};
    for (INT y = 0; y < height; ++y) {
        std::memcpy(&pixels[static_cast<size_t>(y) * width], static_cast<const BYTE*>(data.Scan0) + y * data.Stride,
                    sizeof(uint32_t) * width);
    }
    image.UnlockBits(&data);
    return pixels;
}

// What GDI+ itself makes of resource `id`: decoded, then drawn unchanged onto a premultiplied bitmap.
std::vector<uint32_t> DrawnPixels(UINT id) {
    const orv::ResourceBytes bytes = orv::LoadResourceBytes(::GetModuleHandleW(nullptr), L"PNG", MAKEINTRESOURCEW(id));
    if (bytes.status != orv::ResourceStatus::kLoaded) return {};
    orv::ComRef<IStream> stream;
    *reinterpret_cast<IStream**>(stream.Put()) =
        ::SHCreateMemStream(static_cast<const BYTE*>(bytes.data), static_cast<UINT>(bytes.size));
    Gdiplus::Bitmap decoded(stream.Get());
    const INT width = static_cast<INT>(decoded.GetWidth()), height = static_cast<INT>(decoded.GetHeight());
    Gdiplus::Bitmap drawn(width, height, PixelFormat32bppPARGB);
    {
        Gdiplus::Graphics graphics(&drawn);
        graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        graphics.DrawImage(&decoded, 0, 0, width, height);
    }
    return PremultipliedPixels(drawn);
}

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

// The skin's translucent edges must look as GDI+ draws them, whichever way the pixels were converted.
TEST(ImageObject, PixelsAreThoseGdiplusDraws) {
    for (UINT id : {301u, 302u, 303u, 304u, 305u, 308u, 309u, 313u, 317u, 340u, 341u, UINT{kStrip4}}) {
        SCOPED_TRACE(id);
        ORVUE::ImageObject image(L"PNG", id);
        const std::vector<uint32_t> expected = DrawnPixels(id);
        ASSERT_FALSE(expected.empty());
        EXPECT_TRUE(PremultipliedPixels(image) == expected);
        const std::unique_ptr<ORVUE::ImageObject> prepared = ORVUE::ImageObject::Prepare(L"PNG", id);
        ASSERT_TRUE(prepared);
        EXPECT_TRUE(PremultipliedPixels(*prepared) == expected);
    }
    EXPECT_FALSE(ORVUE::ImageObject::Prepare(L"PNG", 4242));  // missing: left to the object that needs it
    EXPECT_FALSE(ORVUE::ImageObject::Prepare(L"PNG", kNotAnImage));
}

// A skin image on a surface is blended by GDI, which knows nothing of the graphics' clip and modes: the
// part drawn keeps to the clip, a source-copy graphics replaces what is under it, and a graphics of no
// surface is drawn on by GDI+ alike.
TEST(ImageObject, DrawnPartsKeepTheClipAndTheCompositingMode) {
    ORVUE::ImageObject strip(L"PNG", kStrip4);
    ORVUE::ImageObject clear(20, 20);
    for (bool onBits : {false, true}) {
        SCOPED_TRACE(onBits);
        ORVUE::PaintSurface surface(30, 20, onBits);
        ASSERT_TRUE(surface.Valid());
        surface.Fill(kBackgroundColour);
        Gdiplus::Graphics& graphics = surface.Graphics();
        graphics.SetClip(Gdiplus::Rect(5, 0, 10, 20));
        ORVUE::DrawImagePart(graphics, &strip, 0, 0, 20, 0, 20, 20);
        graphics.ResetClip();
        EXPECT_EQ(surface.Pixel(4, 10), kBackgroundColour);
        EXPECT_TRUE(Near(surface.Pixel(5, 10), kStrip4Colours[1]));
        EXPECT_TRUE(Near(surface.Pixel(14, 3), kStrip4Colours[1]));
        EXPECT_EQ(surface.Pixel(15, 10), kBackgroundColour);

        ORVUE::DrawImagePart(graphics, &clear, 20, 0, 0, 0, 20, 20);  // blended: nothing changes
        EXPECT_EQ(surface.Pixel(25, 10), kBackgroundColour);
        graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        ORVUE::DrawImagePart(graphics, &clear, 20, 0, 0, 0, 20, 20);  // copied: cut to the surface
        graphics.SetCompositingMode(Gdiplus::CompositingModeSourceOver);
        EXPECT_EQ(surface.Pixel(25, 10), 0u);
        EXPECT_EQ(surface.Pixel(19, 10), kBackgroundColour);
    }
    Gdiplus::Bitmap own(20, 20, PixelFormat32bppPARGB);
    {
        Gdiplus::Graphics graphics(&own);
        ORVUE::DrawImagePart(graphics, &strip, 0, 0, 40, 0, 20, 20);
    }
    EXPECT_TRUE(Near(PremultipliedPixels(own)[210], kStrip4Colours[2]));
}

}  // namespace
}  // namespace orvtest

namespace orvtest {
namespace {

struct PreparedHandOver {
    ORVUE::PreparedImages* images;
    UINT id;
};

DWORD WINAPI PrepareLater(void* param) {
    auto* handOver = static_cast<PreparedHandOver*>(param);
    ::Sleep(50);  // the dialog asks first and must wait
    handOver->images->Put(ORVUE::PreparedImages::MakeKey(L"PNG", handOver->id),
                          ORVUE::ImageObject::Prepare(L"PNG", handOver->id));
    handOver->images->Finish();
    return 0;
}

// Images decoded by another thread: a planned one is waited for and handed over once; whatever was not
// planned, or was taken already, is decoded where it is asked for, so the dialog never goes without.
TEST(ImageObject, LoadTakesWhatAnotherThreadPrepared) {
    ORVUE::PreparedImages images;
    images.Plan({ORVUE::PreparedImages::MakeKey(L"PNG", kStrip4)});
    ORVUE::SetPreparedImages(&images);
    auto unset = orv::MakeScopeExit([] { ORVUE::SetPreparedImages(nullptr); });
    EXPECT_FALSE(images.Take(L"PNG", kStrip6));  // not planned: no waiting

    PreparedHandOver handOver{&images, kStrip4};
    orv::UniqueHandle producer(::CreateThread(nullptr, 0, PrepareLater, &handOver, 0, nullptr));
    ASSERT_TRUE(producer);
    const std::unique_ptr<ORVUE::ImageObject> first = ORVUE::ImageObject::Load(L"PNG", kStrip4 | 0x10000);
    ASSERT_EQ(::WaitForSingleObject(producer.Get(), 5000), WAIT_OBJECT_0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Width(), 80u);
    EXPECT_FALSE(images.Take(L"PNG", kStrip4));  // handed over once
    const std::unique_ptr<ORVUE::ImageObject> second = ORVUE::ImageObject::Load(L"PNG", kStrip4);
    ASSERT_TRUE(second);
    EXPECT_TRUE(PremultipliedPixels(*second) == PremultipliedPixels(*first));
    EXPECT_THROW(ORVUE::ImageObject::Load(L"PNG", 4242), ORVUE::UIError);  // missing: reported as before
}

}  // namespace
}  // namespace orvtest
