// version_probe EXE: reads what Windows reads from an application's resources
// and prints it, one item a line, in UTF-8:
//   fixed FileVersion 1.2.3.4 ProductVersion 1.2.0.0
//   string CompanyName=...            (each StringFileInfo text named below)
//   bitmap 10000 256x86 8             (LoadImage: width x height, bits per pixel)
//   icon ID_SPLASH_ICON 32x32         (FindResource and LoadImage of the group)
//   shell icons 1                     (ExtractIconEx: the icons Explorer sees)
// A missing item prints "no ..." instead. Exit code 0, or 1 when the file
// cannot be loaded at all.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string utf8(const wchar_t* text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    return out;
}

void printVersionInfo(const wchar_t* path) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    std::vector<BYTE> info(size);
    if (size == 0 || !GetFileVersionInfoW(path, 0, size, info.data())) {
        std::printf("no version information\n");
        return;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        std::printf("fixed FileVersion %u.%u.%u.%u ProductVersion %u.%u.%u.%u\n",
                    HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                    LOWORD(fixed->dwFileVersionLS), HIWORD(fixed->dwProductVersionMS),
                    LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
                    LOWORD(fixed->dwProductVersionLS));
    }
    WORD* translation = nullptr;
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                        &length) || length < 4) {
        std::printf("no translation\n");
        return;
    }
    const wchar_t* names[] = {L"CompanyName",    L"FileDescription", L"FileVersion",
                              L"LegalCopyright", L"ProductName",     L"ProductVersion"};
    for (const wchar_t* name : names) {
        wchar_t query[128];
        swprintf(query, sizeof query / sizeof query[0], L"\\StringFileInfo\\%04x%04x\\%ls", translation[0],
                 translation[1], name);
        wchar_t* value = nullptr;
        if (VerQueryValueW(info.data(), query, reinterpret_cast<void**>(&value), &length) && value)
            std::printf("string %s=%s\n", utf8(name).c_str(), utf8(value).c_str());
    }
}

void printPictureAndIcon(HMODULE module) {
    HANDLE picture = LoadImageA(module, MAKEINTRESOURCEA(10000), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR);
    BITMAP bitmap{};
    if (picture && GetObjectA(picture, sizeof bitmap, &bitmap))
        std::printf("bitmap 10000 %ldx%ld %u\n", bitmap.bmWidth, bitmap.bmHeight, bitmap.bmBitsPixel);
    else
        std::printf("no bitmap 10000\n");
    if (picture) DeleteObject(picture);

    HRSRC group = FindResourceA(module, "ID_SPLASH_ICON", MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    HANDLE icon = LoadImageA(module, "ID_SPLASH_ICON", IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR);
    ICONINFO iconInfo{};
    BITMAP colour{};
    if (group && icon && GetIconInfo(static_cast<HICON>(icon), &iconInfo)) {
        GetObjectA(iconInfo.hbmColor ? iconInfo.hbmColor : iconInfo.hbmMask, sizeof colour, &colour);
        std::printf("icon ID_SPLASH_ICON %ldx%ld\n", colour.bmWidth, colour.bmHeight);
        if (iconInfo.hbmColor) DeleteObject(iconInfo.hbmColor);
        if (iconInfo.hbmMask) DeleteObject(iconInfo.hbmMask);
    } else {
        std::printf("no icon ID_SPLASH_ICON\n");
    }
    if (icon) DestroyIcon(static_cast<HICON>(icon));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: version_probe EXE\n");
        return 2;
    }
    printVersionInfo(argv[1]);
    HMODULE module = LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        std::printf("cannot load %s: error %lu\n", utf8(argv[1]).c_str(), GetLastError());
        return 1;
    }
    printPictureAndIcon(module);
    FreeLibrary(module);
    std::printf("shell icons %u\n", ExtractIconExW(argv[1], -1, nullptr, nullptr, 0));
    return 0;
}
