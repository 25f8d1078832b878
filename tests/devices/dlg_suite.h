// What the device dialog suites share around dlg_driver.h: the program's
// CWinApp, a device record that comes from a real configuration file and is
// read back from the file saved after the dialog, and the fixture that
// records beeps and help.
#pragma once
#include "config/device_cfg.h"
#include "framework/WinApp.h"
#include "dlg_driver.h"
#include "tests/test_files.h"
#include <gtest/gtest.h>
#include <commctrl.h>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace dlgtest {

inline CWinApp& App() {
    static CWinApp app(L"Varnel");
    return app;
}

// A temporary folder of this test program's own (krv_<program>).
inline std::wstring RecordFolder() {
    wchar_t tmp[MAX_PATH], exe[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring name = exe;
    size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos) name.erase(dot);
    std::wstring dir = std::wstring(tmp) + L"krv_" + name + L"\\";
    if (!krvtest::MakeFolder(dir)) ADD_FAILURE() << "no folder for the records, error " << GetLastError();
    return dir;
}

// One device in a real configuration file, loaded into a store of its own;
// type -1 is the global device.
class FileRecord {
public:
    FileRecord(int type, const wchar_t* name, const std::function<void(CDeviceCfg&)>& setup)
        : m_path(RecordFolder() + L"rec_" + name + L".ini"), m_name(type == -1 ? L"OpcServer_Global" : name) {
        {
            CCfgStore s((RecordFolder() + L"unused.ini").c_str());
            if (type == -1) {
                s.EnsureGlobalDevice();
                setup(*s.FindGlobalDevice());
            } else {
                auto* d = new CDeviceCfg(name, type);
                d->BuildDefaultItemNames();
                setup(*d);
                s.AddDevice(d);
            }
            EXPECT_TRUE(s.Save(m_path.c_str()));
        }
        m_store.reset(new CCfgStore((RecordFolder() + L"unused.ini").c_str()));
        EXPECT_GT(m_store->Load(m_path.c_str(), true), 0);
        if (!Rec()) throw std::runtime_error("no record in the file");
    }
    CDeviceCfg* Rec() const { return Find(*m_store, m_name.c_str()); }
    // Saves the edited store and reads the record (or the one named) back from the file.
    CDeviceCfg* Saved(const wchar_t* name = nullptr) {
        EXPECT_TRUE(m_store->Save(m_path.c_str()));
        m_saved.reset(new CCfgStore((RecordFolder() + L"unused.ini").c_str()));
        EXPECT_GT(m_saved->Load(m_path.c_str(), true), 0);
        return Find(*m_saved, name ? name : m_name.c_str());
    }
    std::string FileText() const { return krvtest::ReadFileBytes(m_path); }

private:
    static CDeviceCfg* Find(CCfgStore& s, const wchar_t* name) {
        for (CDeviceCfg* d = s.GetFirstDevice(); d; d = s.GetNextDevice(d))
            if (d->OpcName == name) return d;
        return nullptr;
    }
    std::wstring m_path, m_name;
    std::unique_ptr<CCfgStore> m_store, m_saved;
};

// Beeps and help recorded for every test of the suite.
struct RecordingDialogs : ::testing::Test {
    Recorder rec;
    // For SetUpTestSuite: resources, the registry key and the common
    // controls (iccClasses) the suite's dialogs use.
    static void StartDialogs(DWORD iccClasses) {
        CString::SetResourceModule(GetModuleHandleW(nullptr));
        App().SetRegistryKey(L"Korvelin");
        INITCOMMONCONTROLSEX icc{sizeof icc, iccClasses};
        InitCommonControlsEx(&icc);
    }
    void SetUp() override { rec.Install(); }
    void TearDown() override { rec.Remove(); }
    // F1 on a control of the dialog, as the user presses it.
    std::vector<DWORD_PTR> HelpOnF1(HWND dlg, int id) {
        Focus(dlg, id);
        Key(VK_F1);
        WaitFor([&] { return !rec.Help().empty(); });
        return rec.Help();
    }
};

}  // namespace dlgtest
