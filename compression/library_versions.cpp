#include "compression/library_versions.h"

#include <lz4.h>
#include <zlib.h>

#include "base/ustring.h"
#include "platform/locale.h"

std::vector<TLibraryVersion> CoreLibraryVersions() {
    std::vector<TLibraryVersion> libraries = {{u"zlib", FromUtf8(zlibVersion())},
                                              {u"liblz4", FromUtf8(LZ4_versionString())}};
    if (TLibraryVersion locale; platform::LocaleLibrary(locale.name, locale.version)) {
        libraries.push_back(locale);
    }
    return libraries;
}

std::u16string LibraryVersionsText(const std::vector<TLibraryVersion>& libraries) {
    std::u16string text;
    for (const TLibraryVersion& library : libraries) {
        if (!text.empty()) {
            text += u", ";
        }
        text += library.name + u' ' + library.version;
    }
    return text;
}
