#pragma once
// The libraries the core runs with, and their versions as they report them at run time (which may differ
// from the headers the program was built with), for "--version" and the window's "About".
#include <string>
#include <vector>

struct TLibraryVersion {
    std::u16string name;    // "zlib"
    std::u16string version; // "1.2.13"
};

// zlib and liblz4, then the locale library where the core uses one (ICU on Linux; Windows has its own).
std::vector<TLibraryVersion> CoreLibraryVersions();

// "zlib 1.2.13, liblz4 1.9.4, ICU 72.1".
std::u16string LibraryVersionsText(const std::vector<TLibraryVersion>& libraries);
