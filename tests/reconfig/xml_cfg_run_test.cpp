// Varnel.exe as a whole program reconfigures a simulated 4.0 device from the
// I/O device dialog of a device in the active configuration: the dialogs as
// the program shows them (screenshots for a look), the bytes the device got,
// and the configuration and the temporary folder as they were.
#include "../editor/varnel_driver.h"
#include "../config/cfg_test_util.h"
#include "tests/reconfig/device_peer.h"
#include "tests/reconfig/temp_files.h"
#include "resources/devices_ids.h"
#include "resources/reconfig_ids.h"
#include "resources/varnel_ids.h"
#include <gtest/gtest.h>
#include <functional>
#include <set>

using namespace varnel;

namespace {

bool WaitFor(const std::function<bool()>& cond, int ms = 15000) {
    for (int i = 0; i < ms / 25; ++i) {
        if (cond()) return true;
        Sleep(25);
    }
    return false;
}

HWND FindCaption(DWORD pid, const wchar_t* caption) {
    for (HWND w = FindWindowW(nullptr, caption); w; w = FindWindowExW(nullptr, w, nullptr, caption)) {
        DWORD p = 0;
        GetWindowThreadProcessId(w, &p);
        if (p == pid && IsWindowVisible(w)) return w;
    }
    return nullptr;
}

std::wstring DataFile(const char* name) { return krvtest::WinPath(std::string(CFGPATCH_DATA "/") + name); }

// The active configuration holds one I/O device, Nord, at the device's HTTP port.
bool WriteNordActive(DevicePeer& dev) {
    wchar_t port[16];
    swprintf(port, 16, L"%x", dev.Port("http"));
    return WriteActive(L"[OpcServer_Global]\r\nDeviceType=ffffffff\r\n[Nord]\r\nDeviceType=4\r\n"
                       L"Inputs=c\r\nOutputs=c\r\nTargetHost=127.0.0.1\r\nBinaryPort=c001\r\nHttpPort=" +
                       std::wstring(port) + L"\r\n");
}

// Starts Varnel with these answers for its boxes, opens Nord's I/O device
// dialog as a 4.0 device, its reconfiguration, and presses Start there.
void StartReconfiguration(Program& run, const std::vector<std::string>& answers, HWND& io, HWND& cfg) {
    run.folder = PrepareProgramFolder();
    ASSERT_TRUE(run.Start(L"", answers));
    ASSERT_TRUE(run.WaitWindow());
    run.SelectOnly(run.RowOf(L"Nord"));
    run.PostCommand(ID_DEVICE_PROPERTIES);
    io = run.WaitDialog();
    ASSERT_TRUE(io);
    SendMessageW(GetDlgItem(io, IDC_IO_V4), BM_CLICK, 0, 0);
    PostMessageW(GetDlgItem(io, IDC_IO_CONFIGURE), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return (cfg = FindCaption(run.Pid(), L"Gerät umkonfigurieren")) != nullptr; }));
    PostMessageW(GetDlgItem(cfg, IDC_CFG_START), BM_CLICK, 0, 0);
}

}  // namespace

TEST(ReconfigRun, VarnelReconfiguresADeviceFromItsDialog) {
    DevicePeer& dev = DevicePeer::Get();
    ASSERT_TRUE(dev.Ready());
    dev.SetMode("{\"body_file\": \"" CFGPATCH_DATA "/lattix40.json\", "
                "\"reply\": \"{\\\"Sess\\\":\\\"5150\\\",\\\"UserType\\\":1}\"}");
    const std::wstring active = ActivePath();
    KeptActive kept;
    ASSERT_TRUE(WriteNordActive(dev));
    const std::string written = cfgtest::ReadBytes(active);
    const std::set<std::wstring> tempBefore = TempFolderNames();
    const size_t before = dev.RequestCount();
    std::wstring backup, programFolder;
    {
        Program run;
        run.folder = PrepareProgramFolder();
        programFolder = run.folder;
        ASSERT_TRUE(run.Start(L""));
        ASSERT_TRUE(run.WaitWindow());
        int row = run.RowOf(L"Nord");
        ASSERT_GE(row, 0);
        run.SelectOnly(row);
        run.PostCommand(ID_DEVICE_PROPERTIES);
        HWND io = run.WaitDialog();
        ASSERT_TRUE(io);
        ASSERT_EQ(L" E/A-Server", WindowText(io));
        // A 4.0 device: the box sets the binary port of that generation.
        SendMessageW(GetDlgItem(io, IDC_IO_V4), BM_CLICK, 0, 0);
        EXPECT_EQ(L"49159", ItemText(io, IDC_IO_BINPORT));
        TypeInto(io, IDC_IO_BINPORT, L"49153");
        ASSERT_TRUE(IsWindowEnabled(GetDlgItem(io, IDC_IO_CONFIGURE)));
        PostMessageW(GetDlgItem(io, IDC_IO_CONFIGURE), BM_CLICK, 0, 0);
        HWND cfg = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (cfg = FindCaption(run.Pid(), L"Gerät umkonfigurieren")) != nullptr; }));
        EXPECT_FALSE(IsWindowEnabled(io)) << "the I/O dialog waits for the reconfiguration";
        EXPECT_EQ(L"Abbrechen", ItemText(cfg, IDCANCEL));
        Sleep(300);
        SaveScreenshot(run.folder + L"reconfig_before.bmp");

        PostMessageW(GetDlgItem(cfg, IDC_CFG_START), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitFor([&] { return ItemText(cfg, IDCANCEL) == L"Schließen"; })) << ItemText(cfg, IDC_CFG_STATUS);
        EXPECT_EQ(L"Konfigurationsdaten akzeptiert, kein Neustart erforderlich.", ItemText(cfg, IDC_CFG_STATUS));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(cfg, IDC_CFG_START)));
        backup = ItemText(cfg, IDC_CFG_BACKUP);
        std::wstring folder = active.substr(0, active.rfind(L'\\') + 1);
        EXPECT_EQ(folder, backup.substr(0, backup.rfind(L'\\') + 1)) << "beside the active configuration";
        Sleep(300);
        SaveScreenshot(run.folder + L"reconfig_after.bmp");

        ASSERT_TRUE(WaitFor([&] { return dev.RequestCount() == before + 3; }, 5000));
        EXPECT_EQ(cfgtest::ReadBytes(DataFile("lattix40.json")), cfgtest::ReadBytes(backup));
        EXPECT_EQ(cfgtest::ReadBytes(DataFile("lattix40_49153_subscribe.expected.json")),
                  UploadedFile(dev.Request(before + 2), "application/json"));
        std::string logout = dev.Request(before + 3);
        EXPECT_EQ("Sess=5150&B2.3=Abmelden", logout.substr(logout.find("\r\n\r\n") + 4));

        Click(cfg, IDCANCEL);
        ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(io) != FALSE; }));
        Click(io, IDCANCEL);
        PostMessageW(run.Main(), WM_CLOSE, 0, 0);
        EXPECT_EQ(0, run.WaitExit());
        EXPECT_TRUE(run.Boxes().empty()) << "no box, no question about unsaved changes";
    }
    EXPECT_EQ(written, cfgtest::ReadBytes(active)) << "the configuration is not touched";
    for (const std::wstring& n : TempFolderNames())
        EXPECT_TRUE(tempBefore.count(n) || programFolder.find(L"\\" + n + L"\\") != std::wstring::npos)
            << "left in the temporary folder: " << std::string(n.begin(), n.end());
    DeleteFileW(backup.c_str());
}

// An end of the session while the upload runs asks first; No keeps Varnel
// running and the upload goes on to the device's answer.
TEST(ReconfigRun, SessionEndDuringTheUploadAsksFirst) {
    DevicePeer& dev = DevicePeer::Get();
    ASSERT_TRUE(dev.Ready());
    dev.SetMode("{\"body_file\": \"" CFGPATCH_DATA "/lattix40.json\", \"reply_delay\": 3, "
                "\"reply\": \"{\\\"Sess\\\":\\\"5151\\\",\\\"UserType\\\":1}\"}");
    const std::wstring active = ActivePath();
    KeptActive kept;
    ASSERT_TRUE(WriteNordActive(dev));
    const size_t before = dev.RequestCount();
    std::wstring backup;
    Program run;
    HWND io = nullptr, cfg = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartReconfiguration(run, {"no"}, io, cfg));
    // The device has the upload and takes its time to answer.
    ASSERT_TRUE(WaitFor([&] { return dev.RequestCount() == before + 2; }));
    DWORD_PTR answer = 99;
    ASSERT_TRUE(SendMessageTimeoutW(run.Main(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 20000, &answer));
    EXPECT_EQ(0u, answer) << "the session end is refused";
    auto boxes = run.Boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"Es ist dringend ratsam, das einmal begonnene Schreiben von Konfigurationsdaten auch zu Ende zu "
              L"führen.\nWollen Sie wirklich abbrechen?",
              boxes[0].text);
    EXPECT_EQ(-1, run.WaitExit(300));
    ASSERT_TRUE(WaitFor([&] { return ItemText(cfg, IDCANCEL) == L"Schließen"; })) << ItemText(cfg, IDC_CFG_STATUS);
    EXPECT_EQ(L"Konfigurationsdaten akzeptiert, kein Neustart erforderlich.", ItemText(cfg, IDC_CFG_STATUS));
    backup = ItemText(cfg, IDC_CFG_BACKUP);
    // Once the upload is over the session may end without the question.
    ASSERT_TRUE(SendMessageTimeoutW(run.Main(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 20000, &answer));
    EXPECT_EQ(1u, answer);
    EXPECT_EQ(1u, run.Boxes().size());
    Click(cfg, IDCANCEL);
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(io) != FALSE; }));
    Click(io, IDCANCEL);
    PostMessageW(run.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(0, run.WaitExit());
    DeleteFileW(backup.c_str());
}

// Killed during the download, Varnel leaves no backup behind: what it had
// received was never under the backup's name, and goes with the process.
TEST(ReconfigRun, KillDuringTheDownloadLeavesNoPartialBackup) {
    DevicePeer& dev = DevicePeer::Get();
    ASSERT_TRUE(dev.Ready());
    dev.SetMode("{\"body_file\": \"" CFGPATCH_DATA "/lattix40.json\", \"slow\": [400, 0.4]}");
    const std::wstring active = ActivePath();
    KeptActive kept;
    ASSERT_TRUE(WriteNordActive(dev));
    const size_t before = dev.RequestCount();
    Program run;
    HWND io = nullptr, cfg = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartReconfiguration(run, {}, io, cfg));
    ASSERT_TRUE(WaitFor([&] { return dev.RequestCount() == before + 1; }));
    const std::wstring backup = ItemText(cfg, IDC_CFG_BACKUP);
    ASSERT_FALSE(backup.empty());
    Sleep(1200);  // a few pieces have come
    EXPECT_FALSE(GetFileAttributesW(backup.c_str()) != INVALID_FILE_ATTRIBUTES) << "a backup under its name is whole";
    HANDLE p = OpenProcess(PROCESS_TERMINATE, FALSE, run.Pid());
    ASSERT_TRUE(p);
    TerminateProcess(p, 9);
    CloseHandle(p);
    EXPECT_EQ(9, run.WaitExit());
    EXPECT_TRUE(WaitFor(
        [&] {
            return GetFileAttributesW(backup.c_str()) == INVALID_FILE_ATTRIBUTES &&
                   GetFileAttributesW((backup + L".part").c_str()) == INVALID_FILE_ATTRIBUTES;
        },
        5000))
        << "left: " << std::string(backup.begin(), backup.end());
}
