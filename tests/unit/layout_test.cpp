// The layout document loaded from the program's resources.
#include <gtest/gtest.h>
#include <windows.h>

#include "appinstance.h"
#include "dialoghost.h"
#include "layoutresource.h"
#include "tracecapture.h"

namespace {

TEST(Layout, ParsesTheUtf16Document) {
    pugi::xml_document document;
    TraceCapture capture;
    ASSERT_TRUE(orv::LoadLayoutDocument(::GetModuleHandleW(nullptr), document));
    EXPECT_TRUE(TraceCapture::Lines().empty());
    const pugi::xml_node dlg = document.first_child().find_child_by_attribute(L"Dlg", L"name", L"InitDlg");
    ASSERT_TRUE(dlg);
    EXPECT_EQ(dlg.attribute(L"width").as_int(), 600);
    EXPECT_STREQ(dlg.child(L"Container").child(L"Label").child_value(), L"安装 $global_product_name$");
}

TEST(Layout, DialogClassIsTheSystemDialogClassUnderOurName) {
    orv::RegisterDialogClass(::GetModuleHandleW(nullptr));
    WNDCLASSW cls;
    ASSERT_TRUE(::GetClassInfoW(::GetModuleHandleW(nullptr), orv::kDialogClassName, &cls));
    WNDCLASSW dialog;
    ASSERT_TRUE(::GetClassInfoW(nullptr, L"#32770", &dialog));
    EXPECT_EQ(cls.lpfnWndProc, dialog.lpfnWndProc);
    EXPECT_EQ(cls.cbWndExtra, dialog.cbWndExtra);
}

}  // namespace
