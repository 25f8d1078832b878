// Benchmark program: the JSON and XML patches on configurations of 1 MB and
// 10 MB. Prints the time of each and the ratio, which is about 10 when the
// patch is linear in the file's size.
#include <windows.h>

#include <cstdio>
#include <string>

#include "reconfig/json_patch.h"
#include "reconfig/xml_patch.h"

namespace {

std::string JsonOf(size_t size) {
    std::string s = "{\n  \"OPC\": {\n    \"OPCServerEnable\": \"0\",\n    \"OPCLocalPort\": \"8000\",\n"
                    "    \"OPCInputTrigger\": \"0\",\n    \"OpcOutputEnable\": \"0\"\n  },\n  \"Inputs\": [\n";
    for (int i = 1; s.size() < size; ++i) {
        char b[200];
        snprintf(b, sizeof b,
                 "    {\n      \"Channel\": \"%d\",\n      \"Name\": \"Eingang %d\",\n"
                 "      \"Filter\": \"10\"\n    },\n",
                 i, i);
        s += b;
    }
    s += "    {}\n  ]\n}\n";
    return s;
}

std::string XmlOf(size_t size) {
    std::string s = "<?xml version=\"1.0\"?>\r\n<Dev>\r\n <Cfg>\r\n  <Sections>\r\n   <BasicSettings>\r\n"
                    "    <Enable_BINARY_1>OFF</Enable_BINARY_1>\r\n    <TcpServer1>\r\n"
                    "     <LocalPort>8000</LocalPort>\r\n     <ApplicationMode1>\r\n"
                    "      <OPC_Device>OFF</OPC_Device>\r\n     </ApplicationMode1>\r\n    </TcpServer1>\r\n"
                    "   </BasicSettings>\r\n   <OutputMode>\r\n";
    // Half the file in a kept element, half in a left-out one.
    int i = 1;
    for (; s.size() < size / 2; ++i) {
        char b[200];
        snprintf(b, sizeof b,
                 "    <Output%d>\r\n     <Binary_1>OFF</Binary_1>\r\n     <Web>ON</Web>\r\n"
                 "    </Output%d>\r\n",
                 i, i);
        s += b;
    }
    s += "   </OutputMode>\r\n   <InputSettings>\r\n";
    for (; s.size() < size; ++i) {
        char b[200];
        snprintf(b, sizeof b, "    <Input%d>\r\n     <Name>Eingang %d</Name>\r\n    </Input%d>\r\n", i, i, i);
        s += b;
    }
    s += "   </InputSettings>\r\n  </Sections>\r\n </Cfg>\r\n</Dev>\r\n";
    return s;
}

void Write(const wchar_t* path, const std::string& s) {
    if (FILE* f = _wfopen(path, L"wb")) {
        fwrite(s.data(), 1, s.size(), f);
        fclose(f);
    }
}

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

// Best of three runs, in seconds.
double Time(bool json, const wchar_t* src, const wchar_t* dst) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        LARGE_INTEGER a, b;
        QueryPerformanceCounter(&a);
        CPatchResult r = json ? PatchJsonFile(src, dst, 49153, true) : PatchXmlFile(src, dst, 49153, true);
        QueryPerformanceCounter(&b);
        if (r.outcome != kPatchUpload) printf("unexpected outcome %d\n", r.outcome);
        double t = Seconds(a, b);
        if (t < best) best = t;
    }
    return best;
}

}  // namespace

int main() {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    std::wstring src = std::wstring(dir) + L"cfgpatch_bench.src";
    std::wstring dst = std::wstring(dir) + L"cfgpatch_bench.dst";
    for (bool json : {true, false}) {
        double t1 = 0;
        for (size_t mb : {1, 10}) {
            std::string data = json ? JsonOf(mb << 20) : XmlOf(mb << 20);
            Write(src.c_str(), data);
            double t = Time(json, src.c_str(), dst.c_str());
            printf("%s %2u MB: %8.1f ms, %6.1f MB/s", json ? "JSON" : "XML ", unsigned(mb), t * 1000,
                   double(data.size()) / (1 << 20) / t);
            if (mb == 1)
                t1 = t;
            else
                printf(", 10 MB / 1 MB = %.2f", t / t1);
            printf("\n");
        }
    }
    DeleteFileW(src.c_str());
    DeleteFileW(dst.c_str());
    return 0;
}
