#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "common/UniqueResource.h"

namespace {

// The build trees are on the host; Wine shows the host's root as drive Z:.
std::wstring WindowsPath(const char* hostPath) {
    std::wstring path(hostPath, hostPath + std::strlen(hostPath));
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return hostPath[0] == '/' ? L"Z:" + path : path;
}

struct Image {
    const char* preset;
    const char* hostPath;
    WORD machine;
    const char* architecture;
    WORD minimumMinorVersion; // of Windows 5.x
};

void PrintTo(const Image& image, std::ostream* out) {
    *out << image.preset;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.Get(), &size))
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) &&
           read == bytes.size();
}

// The parts of a PE image's headers that the tests look at, read from the file's bytes so
// that an image of either architecture can be examined.
struct PeImage {
    WORD machine = 0;
    WORD subsystem = 0;
    WORD majorSubsystemVersion = 0;
    WORD minorSubsystemVersion = 0;
    std::vector<std::string> imports;
};

template <typename T> bool At(const std::string& bytes, size_t offset, T& value) {
    if (offset > bytes.size() || bytes.size() - offset < sizeof(T))
        return false;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return true;
}

// Fails the test with what is wrong.
void ParsePe(const std::string& bytes, PeImage& image) {
    IMAGE_DOS_HEADER dos;
    ASSERT_TRUE(At(bytes, 0, dos) && dos.e_magic == IMAGE_DOS_SIGNATURE) << "no MZ header";
    const size_t nt = static_cast<size_t>(dos.e_lfanew);
    DWORD signature = 0;
    ASSERT_TRUE(At(bytes, nt, signature) && signature == IMAGE_NT_SIGNATURE) << "no PE header";
    IMAGE_FILE_HEADER file;
    ASSERT_TRUE(At(bytes, nt + 4, file));
    image.machine = file.Machine;
    const size_t optional = nt + 4 + sizeof file;
    WORD magic = 0;
    ASSERT_TRUE(At(bytes, optional, magic));

    IMAGE_DATA_DIRECTORY importDirectory = {};
    if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        IMAGE_OPTIONAL_HEADER32 header;
        ASSERT_TRUE(At(bytes, optional, header));
        image.subsystem = header.Subsystem;
        image.majorSubsystemVersion = header.MajorSubsystemVersion;
        image.minorSubsystemVersion = header.MinorSubsystemVersion;
        importDirectory = header.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    } else {
        ASSERT_EQ(IMAGE_NT_OPTIONAL_HDR64_MAGIC, magic);
        IMAGE_OPTIONAL_HEADER64 header;
        ASSERT_TRUE(At(bytes, optional, header));
        image.subsystem = header.Subsystem;
        image.majorSubsystemVersion = header.MajorSubsystemVersion;
        image.minorSubsystemVersion = header.MinorSubsystemVersion;
        importDirectory = header.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    }

    std::vector<IMAGE_SECTION_HEADER> sections(file.NumberOfSections);
    for (size_t i = 0; i < sections.size(); ++i)
        ASSERT_TRUE(
            At(bytes, optional + file.SizeOfOptionalHeader + i * sizeof sections[i], sections[i]));
    auto offsetOf = [&sections](DWORD rva) -> size_t {
        for (const IMAGE_SECTION_HEADER& section : sections)
            if (rva >= section.VirtualAddress &&
                rva < section.VirtualAddress + section.SizeOfRawData)
                return rva - section.VirtualAddress + section.PointerToRawData;
        return std::string::npos;
    };

    ASSERT_NE(0u, importDirectory.VirtualAddress) << "no import directory";
    size_t descriptorOffset = offsetOf(importDirectory.VirtualAddress);
    for (;; descriptorOffset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        IMAGE_IMPORT_DESCRIPTOR descriptor;
        ASSERT_TRUE(At(bytes, descriptorOffset, descriptor)) << "import directory cut short";
        if (descriptor.Name == 0)
            break;
        const size_t name = offsetOf(descriptor.Name);
        ASSERT_LT(name, bytes.size());
        image.imports.push_back(bytes.c_str() + name);
    }
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

// The first start tag named `tag` ("<tag ...>"), or "" when there is none.
std::string Element(const std::string& xml, const std::string& tag, size_t from = 0) {
    const size_t start = xml.find("<" + tag + " ", from);
    if (start == std::string::npos)
        return std::string();
    return xml.substr(start, xml.find('>', start) - start + 1);
}

std::string Attribute(const std::string& element, const std::string& name) {
    const std::string key = " " + name + "=\"";
    const size_t start = element.find(key);
    if (start == std::string::npos)
        return "(none)";
    const size_t value = start + key.size();
    return element.substr(value, element.find('"', value) - value);
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
    reinterpret_cast<std::vector<ULONG_PTR>*>(names)->push_back(
        IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name) : 0);
    return TRUE;
}

class PinewickImage : public testing::TestWithParam<Image> {
protected:
    void SetUp() override {
        path_ = WindowsPath(GetParam().hostPath);
        if (GetFileAttributesW(path_.c_str()) == INVALID_FILE_ATTRIBUTES)
            FAIL() << "The " << GetParam().preset << " build's pinewick.exe is missing at "
                   << GetParam().hostPath << ": build the " << GetParam().preset
                   << " preset before running the tests.";
    }

    std::wstring path_;
};

TEST_P(PinewickImage, IsAGuiImageForItsArchitectureImportingSystemDllsOnly) {
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(path_, bytes));
    PeImage image;
    ASSERT_NO_FATAL_FAILURE(ParsePe(bytes, image));

    EXPECT_EQ(GetParam().machine, image.machine);
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, image.subsystem);
    EXPECT_EQ(5, image.majorSubsystemVersion);
    EXPECT_EQ(GetParam().minimumMinorVersion, image.minorSubsystemVersion);

    // DLLs that every Windows from XP on carries; the C++ runtime is linked in.
    const std::set<std::string> system = {
        "advapi32.dll", "gdi32.dll",    "kernel32.dll", "msvcrt.dll",  "ntdll.dll",  "ole32.dll",
        "oleaut32.dll", "setupapi.dll", "shell32.dll",  "shlwapi.dll", "user32.dll", "version.dll"};
    EXPECT_NE(image.imports.end(),
              std::find_if(image.imports.begin(), image.imports.end(),
                           [](const std::string& dll) { return Lower(dll) == "kernel32.dll"; }));
    for (const std::string& dll : image.imports)
        EXPECT_EQ(1u, system.count(Lower(dll))) << dll << " is not a system DLL";
}

TEST_P(PinewickImage, CarriesTheAdministratorManifestForItsArchitecture) {
    const UniqueModule module(LoadLibraryExW(
        path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module) << GetLastError();

    std::vector<ULONG_PTR> ids;
    EnumResourceNamesW(module.Get(), MAKEINTRESOURCEW(24), CollectName,
                       reinterpret_cast<LONG_PTR>(&ids));
    EXPECT_EQ(std::vector<ULONG_PTR>{1}, ids) << "one manifest, id 1";

    const HRSRC resource = FindResourceW(module.Get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(nullptr, resource);
    const HGLOBAL loaded = LoadResource(module.Get(), resource);
    ASSERT_NE(nullptr, loaded);
    const std::string xml(static_cast<const char*>(LockResource(loaded)),
                          SizeofResource(module.Get(), resource));

    const std::string identity = Element(xml, "assemblyIdentity");
    EXPECT_EQ("win32", Attribute(identity, "type"));
    EXPECT_EQ("pinewick", Attribute(identity, "name"));
    EXPECT_EQ(GetParam().architecture, Attribute(identity, "processorArchitecture"));
    EXPECT_EQ(PINEWICK_VERSION ".0", Attribute(identity, "version"));

    EXPECT_EQ("urn:schemas-microsoft-com:asm.v3", Attribute(Element(xml, "trustInfo"), "xmlns"));
    const std::string level = Element(xml, "requestedExecutionLevel");
    EXPECT_EQ("requireAdministrator", Attribute(level, "level"));
    EXPECT_EQ("false", Attribute(level, "uiAccess"));

    EXPECT_EQ("urn:schemas-microsoft-com:compatibility.v1",
              Attribute(Element(xml, "compatibility"), "xmlns"));
    std::set<std::string> systems;
    for (size_t at = xml.find("<supportedOS "); at != std::string::npos;
         at = xml.find("<supportedOS ", at + 1))
        systems.insert(Attribute(Element(xml, "supportedOS", at), "Id"));
    const std::set<std::string> vistaTo81 = {
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}"};
    EXPECT_EQ(vistaTo81, systems);
}

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(info.data(), path.c_str(), &value, &length) || length == 0)
        return L"(none)";
    return static_cast<const wchar_t*>(value);
}

TEST_P(PinewickImage, CarriesTheVersionOfTheProject) {
    const DWORD size = GetFileVersionInfoSizeW(path_.c_str(), nullptr);
    ASSERT_NE(0u, size);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path_.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    const std::string version = PINEWICK_VERSION;
    const std::string fixedVersion = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                     std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                     std::to_string(HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(version, fixedVersion);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

    const std::wstring wideVersion(version.begin(), version.end());
    EXPECT_EQ(L"Pinewick", VersionString(info, L"ProductName"));
    EXPECT_EQ(wideVersion + L".0", VersionString(info, L"FileVersion"));
    EXPECT_EQ(wideVersion, VersionString(info, L"ProductVersion"));
    EXPECT_EQ(L"pinewick.exe", VersionString(info, L"OriginalFilename"));
    EXPECT_NE(L"(none)", VersionString(info, L"FileDescription"));
}

INSTANTIATE_TEST_SUITE_P(
    Builds, PinewickImage,
    testing::Values(Image{"win32", PINEWICK_WIN32_EXE, IMAGE_FILE_MACHINE_I386, "x86", 1},
                    Image{"win64", PINEWICK_WIN64_EXE, IMAGE_FILE_MACHINE_AMD64, "amd64", 2}),
    [](const testing::TestParamInfo<Image>& info) { return std::string(info.param.preset); });

} // namespace
