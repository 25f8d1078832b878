// The manifest each built program carries must name the program's own
// architecture, for itself and for Common Controls 6: Windows (and Wine where
// both architectures are installed) refuses a 64-bit program bound to the x86
// assembly.
#include <gtest/gtest.h>
#include <windows.h>
#include <regex>
#include <string>
#include <vector>
#include "manifest_programs.h"
#include "tests/test_files.h"

using krvtest::WinPath;

namespace {

#ifdef _WIN64
const char kArch[] = "amd64";
#else
const char kArch[] = "x86";
#endif

// The bytes of the program's manifest resource (id 1); empty when it has none.
std::string ManifestOf(const std::string& unixPath) {
    HMODULE m =
        LoadLibraryExW(WinPath(unixPath).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!m) return {};
    std::string out;
    if (HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)))
        if (HGLOBAL g = LoadResource(m, r)) out.assign(static_cast<const char*>(LockResource(g)), SizeofResource(m, r));
    FreeLibrary(m);
    return out;
}

// Every processorArchitecture attribute, keyed by the assembly it belongs to.
std::vector<std::pair<std::string, std::string>> Architectures(const std::string& manifest) {
    std::vector<std::pair<std::string, std::string>> out;
    const std::regex identity("<assemblyIdentity([^>]*)>");
    const std::regex name("name=\"([^\"]*)\"");
    const std::regex arch("processorArchitecture=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(manifest.begin(), manifest.end(), identity); it != std::sregex_iterator();
         ++it) {
        const std::string attrs = (*it)[1];
        std::smatch n, a;
        std::regex_search(attrs, n, name);
        std::regex_search(attrs, a, arch);
        out.emplace_back(n.empty() ? "" : n[1].str(), a.empty() ? "" : a[1].str());
    }
    return out;
}

}  // namespace

TEST(Manifest, EveryProgramNamesItsOwnArchitecture) {
    ASSERT_GT(std::size(kPrograms), 0u);
    for (const char* program : kPrograms) {
        SCOPED_TRACE(program);
        const std::string manifest = ManifestOf(program);
        ASSERT_FALSE(manifest.empty());
        const auto assemblies = Architectures(manifest);
        ASSERT_EQ(2u, assemblies.size());  // the program itself and Common Controls
        EXPECT_EQ("Microsoft.Windows.Common-Controls", assemblies[1].first);
        for (const auto& [assembly, arch] : assemblies) EXPECT_EQ(kArch, arch) << assembly;
    }
}
