// The layout loader: recipes, defaults, skipped elements and failures, on documents of the tests' own.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "ui/buttonuiobject.h"
#include "ui/carouseluiobject.h"
#include "ui/checkboxuiobject.h"
#include "ui/containeruiobject.h"
#include "ui/labeluiobject.h"
#include "ui/progressuiobject.h"
#include "ui/textboxuiobject.h"
#include "ui/uierror.h"
#include "ui/uiobjectfactory.h"
#include "uitest.h"

namespace orvtest {
namespace {

using ORVUE::ContainerUIObjectImpl;
using ORVUE::UIObjectFactory;

// Builds the first element of `xml` for `owner`; the tree is released when the fixture ends.
class Loader : public ::testing::Test {
protected:
    ~Loader() override { UIObjectFactory::Instance().Release(window_.Handle()); }
    ContainerUIObjectImpl* Build(const wchar_t* xml) {
        EXPECT_TRUE(document_.load_string(xml));
        return dynamic_cast<ContainerUIObjectImpl*>(
            UIObjectFactory::Instance().Build(window_.Handle(), document_.first_child()));
    }
    RecordingWindow window_;
    pugi::xml_document document_;
};

TEST_F(Loader, RecipesDefaultsAndSkippedElements) {
    ContainerUIObjectImpl* root = Build(LR"(
      <Container name="Dlg" rect="0,0,200,100" resId="9003" type="PNG" bkcolor="1,2,3" unknown="x">
        <CaptionContainer name="Header" rect="0,0,200,20"/>
        <Frame><Button name="Hidden" rect="0,0,20,20" resId="9001" type="PNG"/></Frame>
        <!-- a comment -->
        <Container name="Off" rect="0,20,200,100" enable="0">
          <Button name="Inner" rect="10,30,30,50" resId="9001" type="PNG"/>
        </Container>
        <Button name="Plain" rect="40,30,60,50" resId="9001" type="PNG"><Picture name="Nested" rect="0,0,5,5" resId="9007" type="PNG"/></Button>
        <Label name="Caption" rect="0,0,50,10"/>
        <LinkLabel name="Link" rect="0,60,50,70" visible="0">link</LinkLabel>
        <CheckBox name="Yes" rect="70,30,86,46" rectChk="0,0,1,1" resId="9002" type="PNG" visible="yes" checked="T"/>
        <CheckBox name="Off2" rect="90,30,106,46" resId="9002" type="PNG" visible="off"/>
        <Progress name="Bar" rect="100,80,200,90" resId="9004" type="PNG"><Front resId="9005" type="PNG" spl="5" spr="5"/></Progress>
        <Carousel name="Slides" rect="0,0,40,20" resId="9006" type="PNG" interval="70000"/>
        <VerticalContainer name="Rows" rect="0,0,10,10" row="0"/>
        <TextBox name="Path" rect="110,30,190,50" resId="9001" type="PNG">C:\Q</TextBox>
      </Container>)");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetName(), L"Dlg");
    ASSERT_EQ(root->Containers().size(), 3u);  // Frame is skipped with its subtree
    EXPECT_EQ(root->Containers()[0]->GetName(), L"Header");
    EXPECT_NE(dynamic_cast<ORVUE::CaptionContainerUIObjectImpl*>(root->Containers()[0].get()), nullptr);
    EXPECT_EQ(root->FindControl(L"Hidden"), nullptr);
    EXPECT_EQ(root->FindControl(L"Nested"), nullptr);  // controls' subtrees are not visited
    ContainerUIObjectImpl* off = root->FindContainer(L"Off");
    ASSERT_NE(off, nullptr);
    EXPECT_FALSE(off->FindControl(L"Inner")->IsEnabled());  // added to a disabled container
    EXPECT_FALSE(root->FindControl(L"Link")->IsVisible());
    EXPECT_TRUE(root->FindControl(L"Yes")->IsVisible());
    EXPECT_FALSE(root->FindControl(L"Off2")->IsVisible());
    EXPECT_TRUE(dynamic_cast<ORVUE::CheckBoxUIObjectImpl*>(root->FindControl(L"Yes"))->IsChecked());
    auto* box = dynamic_cast<ORVUE::TextBoxUIObjectImpl*>(root->FindControl(L"Path"));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->GetText(), L"C:\\Q");
    EXPECT_EQ(box->GetClientRect().left, 110);  // no clrect: the element's rect
    EXPECT_EQ(box->GetClientRect().bottom, 50);

    // A button without an action sends WM_USER itself.
    BOOL handled = FALSE;
    root->OnLButtonDown(WM_LBUTTONDOWN, 0, At(50, 40), handled);
    root->OnLButtonUp(WM_LBUTTONUP, 0, At(50, 40), handled);
    EXPECT_EQ(window_.Only(WM_USER).size(), 1u);
    // The carousel's interval reaches the timer request cut to 16 bits.
    auto* slides = dynamic_cast<ORVUE::CarouselUIObjectImpl*>(root->FindControl(L"Slides"));
    ASSERT_NE(slides, nullptr);
    slides->Play();
    const auto timers = window_.Only(ORVUE::ORVUM_SETANIMATIONTIMER);
    ASSERT_EQ(timers.size(), 1u);
    EXPECT_EQ(HIWORD(timers[0].wParam), 70000u & 0xFFFF);
    slides->Stop();

    // Painted: the root's background replaces the cleared surface; the front without a rect fills the
    // progress's own rectangle; the caption-less check box draws over its whole rectangle.
    Surface surface(200, 100);
    dynamic_cast<ORVUE::ProgressUIObjectImpl*>(root->FindControl(L"Bar"))->StepIt();
    root->Paint(surface.Graphics());
    EXPECT_TRUE(Near(surface.Pixel(5, 45), kBackgroundColour));
    EXPECT_TRUE(Near(surface.Pixel(101, 85), kProgressLeftCap));
    EXPECT_TRUE(Near(surface.Pixel(78, 38), kStrip6Colours[3])) << std::hex << surface.Pixel(78, 38);
}

TEST_F(Loader, FailuresThrowAndLeaveTheBuiltPartOwned) {
    EXPECT_EQ(Build(L"<Label name='x'/>"), nullptr);  // not a Container
    const wchar_t* broken[] = {
        L"<Container rect='0,0,10,10'><Label name='a'/><Button name='b' rect='0,0,5,5'/></Container>",
        L"<Container><Picture rect='0,0,5,5' resId='4242' type='PNG'/></Container>",
        L"<Container><LinkLabel resId='9001' type='PNG'>x</LinkLabel></Container>",
        L"<Container><Progress resId='9004' type='PNG'><Front spl='1'/></Progress></Container>",
        L"<Container resId='9003'/>",  // no type: the resource is not found
    };
    for (const wchar_t* xml : broken) {
        try {
            Build(xml);
            ADD_FAILURE() << "built without an image: " << testing::PrintToString(std::wstring(xml));
        } catch (const ORVUE::UIError& error) {
            EXPECT_EQ(error.Error(), E_FAIL);
        }
        // The root was registered before anything could throw.
        EXPECT_NE(UIObjectFactory::Instance().Root(window_.Handle()), nullptr);
    }
    auto* root = static_cast<ContainerUIObjectImpl*>(UIObjectFactory::Instance().Root(window_.Handle()));
    EXPECT_TRUE(root->Controls().empty());
}

}  // namespace
}  // namespace orvtest
