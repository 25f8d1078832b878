// Varnel.exe as a whole program with the item-name editor and the serial
// device server dialog: what only the running program shows (the view's
// name rule after the editor, a new device in the saved file).
#include "../editor/varnel_driver.h"
#include "../config/cfg_test_util.h"
#include "resources/devices_more_ids.h"
#include "tests/send_input.h"
#include <gtest/gtest.h>
#include <functional>
#include <map>

using namespace varnel;
using krvtest::Key;

namespace {

const UINT kNewSerial = 32773, kItemNames = 32806, kSave = 57603;

bool WaitFor(const std::function<bool()>& cond) {
    for (int i = 0; i < 400; ++i) {
        if (cond()) return true;
        Sleep(25);
    }
    return false;
}

class MoreRun : public ::testing::Test {
protected:
    KeptActive kept;
    std::wstring active = ActivePath();
    Program run;
    void SetUp() override { run.folder = PrepareProgramFolder(); }
    void SaveAndClose() {
        run.Command(kSave);
        PostMessageW(run.Main(), WM_CLOSE, 0, 0);
        EXPECT_EQ(0, run.WaitExit());
    }
    const cfgtest::Keys* Section(const cfgtest::Sections& s, const std::wstring& name) {
        for (auto& sec : s)
            if (sec.first == name) return &sec.second;
        return nullptr;
    }
};

TEST_F(MoreRun, DeviceRenamedInTheItemEditorGetsAUniqueName) {
    ASSERT_TRUE(WriteActive(L"[OpcServer_Global]\r\nDeviceType=ffffffff\r\n"
                            L"[Box1]\r\nDeviceType=4\r\nTargetHost=10.0.0.1\r\n"
                            L"[Com1]\r\nDeviceType=2\r\nTargetHost=10.0.0.2\r\n"));
    ASSERT_TRUE(run.Start(L"", {"ok"}));
    ASSERT_TRUE(run.WaitWindow());
    int row = run.RowOf(L"Com1");
    ASSERT_GE(row, 0);
    run.SelectOnly(row);
    run.PostCommand(kItemNames);
    HWND dlg = run.WaitDialog();
    ASSERT_TRUE(dlg);
    EXPECT_EQ(L"OPC-Itemnamen bearbeiten", WindowText(dlg));
    HWND tree = GetDlgItem(dlg, IDC_TAG_TREE);
    HTREEITEM root = TreeView_GetRoot(tree);
    TreeView_SelectItem(tree, root);
    SetForegroundWindow(dlg);
    SendMessageW(dlg, WM_NEXTDLGCTL, (WPARAM)tree, TRUE);
    Key(VK_F2);
    HWND edit = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (edit = TreeView_GetEditControl(tree)) != nullptr; }));
    SendMessageW(edit, WM_SETTEXT, 0, (LPARAM)L"Box1");
    Key(VK_RETURN);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(edit); }));
    EXPECT_EQ(L"Box1", ItemText(dlg, IDC_TAG_PATH));
    Click(dlg, IDOK);
    run.Sync();
    // The name is taken: the view makes it unique and says so.
    auto boxes = run.Boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_NE(std::wstring::npos, boxes[0].text.find(L"Namenskonflikt"));
    std::wstring renamed = run.Cell(row, 1);
    EXPECT_NE(L"Box1", renamed);
    EXPECT_NE(L"Com1", renamed);
    SaveAndClose();
    cfgtest::Sections s = cfgtest::ParseProfile(active);
    EXPECT_TRUE(Section(s, L"Box1"));
    EXPECT_FALSE(Section(s, L"Com1"));
    EXPECT_TRUE(Section(s, renamed)) << renamed;
}

TEST_F(MoreRun, NewSerialDeviceThroughItsDialog) {
    ASSERT_TRUE(WriteActive(L"[OpcServer_Global]\r\nDeviceType=ffffffff\r\n"
                            L"[Box1]\r\nDeviceType=4\r\nTargetHost=10.0.0.1\r\n"));
    ASSERT_TRUE(run.Start(L"", {}));
    ASSERT_TRUE(run.WaitWindow());
    ASSERT_TRUE(run.ButtonEnabled(kNewSerial));
    run.PostCommand(kNewSerial);
    HWND dlg = run.WaitDialog();
    ASSERT_TRUE(dlg);
    EXPECT_EQ(L"Serieller Calvort", WindowText(dlg));
    EXPECT_EQ(L"Com1", ItemText(dlg, IDC_DEV_NAME));
    EXPECT_EQ(L"10.0.0.1", ItemText(dlg, IDC_DEV_HOST));  // the last device's host
    EXPECT_EQ(L"Hardware", ItemText(dlg, IDC_SER_HANDSHAKE));
    SendMessageW(GetDlgItem(dlg, IDC_DEV_HOST), WM_SETTEXT, 0, (LPARAM)L"10.0.0.9");
    TypeInto(dlg, IDC_SER_BAUD, L"19200");
    Click(dlg, IDOK);
    run.Sync();
    ASSERT_GE(run.RowOf(L"Com1"), 0);
    SaveAndClose();
    cfgtest::Sections s = cfgtest::ParseProfile(active);
    const cfgtest::Keys* com = Section(s, L"Com1");
    ASSERT_TRUE(com);
    std::map<std::wstring, std::wstring> keys(com->begin(), com->end());
    EXPECT_EQ(L"19200,n,8,1,h", keys[L"SerialParam"]);
    EXPECT_EQ(L"10.0.0.9", keys[L"TargetHost"]);
    EXPECT_EQ(L"end=;drop=;add=13;", keys[L"SerialFilter"]);
}

}  // namespace
