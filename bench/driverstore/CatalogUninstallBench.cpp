// Times UninstallByCatalog over an Inf folder of 500, 1,000 and 2,000 generated INF files, of
// which 2 name the catalog, against a baseline that only enumerates the same folder and reads
// the first 4 KiB of each file. The files go into the real Inf folder and are removed at exit;
// the removal call itself is replaced by a counter, so nothing is ever uninstalled.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/UniqueResource.h"
#include "driverstore/CatalogUninstaller.h"

namespace {

const size_t Sizes[] = {500, 1000, 2000};
const int Repetitions = 15;

unsigned handedOver = 0;

BOOL WINAPI CountUninstall(PCWSTR, DWORD, PVOID) {
    ++handedOver;
    return TRUE;
}

std::wstring InfFolder() {
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows, length) + L"\\Inf\\";
}

// A driver INF of about 2.5 KiB: the [Version] section first, as real ones have it.
std::string InfText(const std::string& catalog, size_t index) {
    const std::string id = std::to_string(index);
    std::string text = "; Generated for a benchmark\r\n"
                       "[Version]\r\n"
                       "Signature=\"$Windows NT$\"\r\n"
                       "Class=Net\r\n"
                       "ClassGuid={4D36E972-E325-11CE-BFC1-08002BE10318}\r\n"
                       "Provider=%Maker%\r\n"
                       "DriverVer=01/02/2020,1.2.3." +
                       id + "\r\nCatalogFile=" + catalog +
                       "\r\n\r\n"
                       "[Manufacturer]\r\n%Maker%=Maker,NTx86,NTamd64\r\n\r\n"
                       "[Maker.NTx86]\r\n%Device%=Install, PCI\\VEN_1234&DEV_" +
                       id + "\r\n\r\n[Maker.NTamd64]\r\n%Device%=Install, PCI\\VEN_1234&DEV_" + id +
                       "\r\n\r\n"
                       "[Install]\r\nCharacteristics=0x84\r\nBusType=5\r\nAddReg=Install.Reg\r\n"
                       "CopyFiles=Install.Files\r\n\r\n"
                       "[Install.Services]\r\nAddService=bench" +
                       id +
                       ",2,Install.Service\r\n\r\n[Install.Service]\r\nServiceType=1\r\n"
                       "StartType=3\r\nErrorControl=1\r\nServiceBinary=%12%\\bench" +
                       id + ".sys\r\n\r\n[Install.Files]\r\nbench" + id + ".sys\r\n\r\n";
    text += "[Install.Reg]\r\n";
    for (int i = 0; i < 24; ++i)
        text += "HKR, Ndi\\params\\Option" + std::to_string(i) + ", ParamDesc, 0, \"%Option" +
                std::to_string(i) + "%\"\r\n";
    text += "\r\n[Strings]\r\nMaker=\"Bench Maker\"\r\nDevice=\"Bench Device " + id + "\"\r\n";
    return text;
}

// The generated files; all removed when it goes, also after a failure.
class GeneratedInfs {
public:
    GeneratedInfs(const std::wstring& folder, const std::wstring& stem, const std::string& catalog)
        : folder_(folder), stem_(stem), catalog_(catalog) {}
    GeneratedInfs(const GeneratedInfs&) = delete;
    GeneratedInfs& operator=(const GeneratedInfs&) = delete;
    ~GeneratedInfs() {
        for (const std::wstring& path : paths_)
            DeleteFileW(path.c_str());
    }

    // Adds files up to `count`. Two of the first 500 name the catalog searched for, so every
    // size holds exactly two.
    bool GrowTo(size_t count) {
        while (paths_.size() < count) {
            const size_t index = paths_.size();
            const std::string catalog = index == 1 || index == 499
                                            ? catalog_
                                            : "other" + std::to_string(GetCurrentProcessId()) +
                                                  "-" + std::to_string(index) + ".cat";
            const std::string text = InfText(catalog, index);
            const std::wstring path = folder_ + stem_ + std::to_wstring(index) + L".inf";
            UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file)
                return false;
            paths_.push_back(path);
            DWORD written = 0;
            if (!WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written,
                           nullptr) ||
                written != text.size())
                return false;
        }
        return true;
    }

private:
    std::wstring folder_;
    std::wstring stem_;
    std::string catalog_;
    std::vector<std::wstring> paths_;
};

// Enumerates the folder as the walk does and reads the first 4 KiB of every file.
size_t Baseline(const std::wstring& folder) {
    size_t files = 0;
    WIN32_FIND_DATAW found;
    const UniqueFindHandle search(FindFirstFileW((folder + L"*.inf").c_str(), &found));
    if (!search)
        return 0;
    do {
        UniqueFileHandle file(CreateFileW((folder + found.cFileName).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        char buffer[4096];
        DWORD read = 0;
        if (file && ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr))
            ++files;
    } while (FindNextFileW(search.Get(), &found));
    return files;
}

double Seconds() {
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Timing {
    double walk;
    double baseline;
};

// The machine is shared: the two runs alternate so that both see the same load, and the
// fastest of each is kept as the figure least disturbed by it.
template <typename Walk, typename Base> Timing FastestMilliseconds(Walk walk, Base baseline) {
    walk(); // warm the file cache
    baseline();
    Timing fastest = {1e300, 1e300};
    for (int i = 0; i < Repetitions; ++i) {
        double start = Seconds();
        walk();
        fastest.walk = std::min(fastest.walk, (Seconds() - start) * 1000.0);
        start = Seconds();
        baseline();
        fastest.baseline = std::min(fastest.baseline, (Seconds() - start) * 1000.0);
    }
    return fastest;
}

} // namespace

int main() {
    const std::wstring folder = InfFolder();
    const std::wstring pid = std::to_wstring(GetCurrentProcessId());
    const std::wstring catalog = L"pwbench-" + pid + L".cat";
    GeneratedInfs infs(folder, L"pwbench-" + pid + L"-",
                       std::string(catalog.begin(), catalog.end()));
    g_uninstallOemInf = CountUninstall;

    std::printf("%8s %8s %14s %14s %8s %14s\n", "files", "in dir", "walk ms", "baseline ms",
                "ratio", "walk us/file");
    for (const size_t size : Sizes) {
        if (!infs.GrowTo(size)) {
            std::fprintf(stderr, "cannot write the INF files (error %lu)\n", GetLastError());
            return 1;
        }
        const size_t inFolder = Baseline(folder);
        bool ok = true;
        const Timing timing = FastestMilliseconds(
            [&] {
                handedOver = 0;
                ok = UninstallByCatalog(catalog) == S_OK && handedOver == 2 && ok;
            },
            [&] { Baseline(folder); });
        if (!ok) {
            std::fprintf(stderr, "the walk did not hand over the packages naming the catalog\n");
            return 1;
        }
        std::printf("%8zu %8zu %14.2f %14.2f %8.2f %14.2f\n", size, inFolder, timing.walk,
                    timing.baseline, timing.walk / timing.baseline,
                    timing.walk * 1000.0 / static_cast<double>(size));
    }
    return 0;
}
