// The setup's own skin as this program carries it: every image the layout names, and the layout itself.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <vector>

#include "ui/imageobject.h"
#include "ui/layoutdocument.h"
#include "ui/uiobjectfactory.h"
#include "uitest.h"

namespace orvtest {
namespace {

enum class Kind { kDialog, kStrip, kPlain };
struct SkinImage {
    UINT id;
    UINT width, height;
    Kind kind;
    UINT frameWidth;  // strips: the width of one frame
    UINT frameRows;   // strips: the rows a control shows
};
constexpr SkinImage kSkin[] = {
    {301, 600, 490, Kind::kDialog, 0, 0},     {302, 80, 20, Kind::kStrip, 20, 20},
    {303, 96, 16, Kind::kStrip, 16, 16},      {304, 532, 32, Kind::kStrip, 265, 32},
    {305, 148, 32, Kind::kStrip, 37, 32},     {307, 600, 490, Kind::kDialog, 0, 0},
    {308, 680, 45, Kind::kStrip, 170, 45},    {309, 1800, 490, Kind::kStrip, 600, 386},
    {311, 560, 15, Kind::kPlain, 0, 0},       {312, 560, 15, Kind::kPlain, 0, 0},
    {313, 600, 490, Kind::kDialog, 0, 0},     {315, 680, 45, Kind::kStrip, 170, 45},
    {316, 600, 490, Kind::kDialog, 0, 0},     {317, 20, 20, Kind::kPlain, 0, 0},
    {318, 20, 20, Kind::kPlain, 0, 0},        {340, 320, 220, Kind::kDialog, 0, 0},
    {341, 360, 35, Kind::kStrip, 90, 35},     {342, 360, 35, Kind::kStrip, 90, 35},
};

// The image's premultiplied pixels, row by row.
std::vector<uint32_t> Pixels(ORVUE::ImageObject& image) {
    const UINT width = image.Width(), height = image.Height();
    std::vector<uint32_t> pixels(width * height);
    Gdiplus::Rect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    Gdiplus::BitmapData data;
    if (image.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) != Gdiplus::Ok) return {};
    for (UINT y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const BYTE*>(data.Scan0) + y * data.Stride);
        std::copy(row, row + width, pixels.begin() + y * width);
    }
    image.UnlockBits(&data);
    return pixels;
}

uint32_t Alpha(uint32_t argb) { return argb >> 24; }

// How far apart two frames of a strip look over the rows a control shows: the mean over their pixels of
// the largest difference of one premultiplied channel.
double FrameDistance(const std::vector<uint32_t>& pixels, const SkinImage& s, UINT a, UINT b) {
    double sum = 0;
    for (UINT y = 0; y < s.frameRows; ++y)
        for (UINT x = 0; x < s.frameWidth; ++x) {
            const uint32_t p = pixels[y * s.width + a * s.frameWidth + x];
            const uint32_t q = pixels[y * s.width + b * s.frameWidth + x];
            int largest = 0;
            for (int shift = 0; shift < 32; shift += 8)
                largest = std::max(largest, std::abs(static_cast<int>((p >> shift) & 0xFF) -
                                                      static_cast<int>((q >> shift) & 0xFF)));
            sum += largest;
        }
    return sum / (s.frameWidth * s.frameRows);
}

TEST(ShippedSkin, ImagesHaveTheirSizesFramesAndShape) {
    for (const SkinImage& s : kSkin) {
        SCOPED_TRACE(s.id);
        ORVUE::ImageObject image(L"PNG", s.id);
        ASSERT_EQ(image.Width(), s.width);
        ASSERT_EQ(image.Height(), s.height);
        const std::vector<uint32_t> pixels = Pixels(image);
        ASSERT_EQ(pixels.size(), size_t{s.width} * s.height);
        auto at = [&](UINT x, UINT y) { return pixels[y * s.width + x]; };
        if (s.kind == Kind::kDialog) {  // a rounded window: see-through corners, solid inside
            EXPECT_EQ(Alpha(at(0, 0)), 0u);
            EXPECT_EQ(Alpha(at(s.width - 1, 0)), 0u);
            EXPECT_EQ(Alpha(at(0, s.height - 1)), 0u);
            EXPECT_EQ(Alpha(at(s.width - 1, s.height - 1)), 0u);
            EXPECT_EQ(Alpha(at(s.width / 2, s.height / 2)), 255u);
            EXPECT_EQ(Alpha(at(s.width / 2, 2)), 255u);
        }
        if (s.kind != Kind::kStrip) continue;
        const UINT frames = s.width / s.frameWidth;
        for (UINT i = 0; i < frames; ++i)
            for (UINT j = i + 1; j < frames; ++j) EXPECT_GE(FrameDistance(pixels, s, i, j), 4.0) << i << " " << j;
    }
    // The folder box's text is drawn by GDI onto an opaque background: the options dialog's background and
    // the box's normal and focused frames are solid under its client rectangle (159,356 to 416,385).
    ORVUE::ImageObject options(L"PNG", 301), box(L"PNG", 304);
    const std::vector<uint32_t> back = Pixels(options), frames = Pixels(box);
    for (UINT y = 356; y < 385; ++y)
        for (UINT x = 159; x < 416; ++x) {
            ASSERT_EQ(Alpha(back[y * 600 + x]), 255u) << x << "," << y;
            ASSERT_EQ(Alpha(frames[(y - 353) * 532 + x - 155]), 255u) << x << "," << y;
            ASSERT_EQ(Alpha(frames[(y - 353) * 532 + x - 155 + 265]), 255u) << x << "," << y;
        }
    // The slides share the window's rounded top corners.
    ORVUE::ImageObject slides(L"PNG", 309);
    const std::vector<uint32_t> slide = Pixels(slides);
    for (UINT left = 0; left < 1800; left += 600) {
        EXPECT_EQ(Alpha(slide[left]), 0u);
        EXPECT_EQ(Alpha(slide[left + 599]), 0u);
        EXPECT_EQ(Alpha(slide[200 * 1800 + left + 300]), 255u);
    }
}

TEST(ShippedSkin, LayoutBuildsEveryDialogFromCarriedImages) {
    pugi::xml_document document;
    const ORVUE::LayoutLoad load = ORVUE::LoadLayoutResource(::GetModuleHandleW(nullptr), document);
    ASSERT_EQ(load.status, orv::ResourceStatus::kLoaded);
    ASSERT_TRUE(load.parsed) << load.parsed.description();
    pugi::xml_node root = document.document_element();
    EXPECT_STREQ(root.name(), L"ORVCalendar");

    struct Dialog {
        const wchar_t* name;
        int width, height;
    };
    const Dialog dialogs[] = {{L"InitDlg", 600, 490}, {L"InstallDlg", 600, 490}, {L"UpdateInstallDlg", 600, 490},
                              {L"CompleteDlg", 600, 490}, {L"InfoTipDlg", 320, 220}};
    int count = 0;
    for (pugi::xml_node dlg = root.child(L"Dlg"); dlg; dlg = dlg.next_sibling(L"Dlg")) ++count;
    EXPECT_EQ(count, 5);
    for (const Dialog& d : dialogs) {
        SCOPED_TRACE(d.name);
        const pugi::xml_node dlg = root.find_child_by_attribute(L"Dlg", L"name", d.name);
        ASSERT_TRUE(dlg);
        EXPECT_EQ(dlg.attribute(L"width").as_int(), d.width);
        EXPECT_EQ(dlg.attribute(L"height").as_int(), d.height);
        EXPECT_STREQ(dlg.first_child().first_child().name(), L"CaptionContainer");
        // The whole tree builds and paints a rounded window, solid inside.
        RecordingWindow window;
        ORVUE::IORVBaseUIObject* tree = nullptr;
        ASSERT_NO_THROW(tree = ORVUE::UIObjectFactory::Instance().Build(window.Handle(), dlg.child(L"Container")));
        ASSERT_NE(tree, nullptr);
        ORVUE::PaintSurface surface(d.width, d.height);  // as the dialogs paint: through the DC
        tree->Paint(surface.Graphics());
        surface.Graphics().Flush(Gdiplus::FlushIntentionSync);
        EXPECT_EQ(Alpha(surface.Pixel(0, 0)), 0u);
        EXPECT_EQ(Alpha(surface.Pixel(d.width - 1, d.height - 1)), 0u);
        EXPECT_EQ(Alpha(surface.Pixel(d.width / 2, d.height / 2)), 255u);
        ORVUE::UIObjectFactory::Instance().Release(window.Handle());
    }

    // Every image the layout names is one of the skin's, of type PNG.
    std::set<UINT> carried;
    for (const SkinImage& s : kSkin) carried.insert(s.id);
    struct ImageNodes : pugi::xml_tree_walker {
        std::vector<pugi::xml_node> nodes;
        bool for_each(pugi::xml_node& node) override {
            if (node.attribute(L"resId")) nodes.push_back(node);
            return true;
        }
    } walker;
    root.traverse(walker);
    EXPECT_GT(walker.nodes.size(), 20u);
    for (const pugi::xml_node& node : walker.nodes) {
        EXPECT_EQ(carried.count(node.attribute(L"resId").as_uint()), 1u) << node.attribute(L"resId").value();
        EXPECT_STREQ(node.attribute(L"type").value(), L"PNG");
    }
}

}  // namespace
}  // namespace orvtest
