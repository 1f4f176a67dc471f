#include "app/about.h"

#include <QtGlobal>
#include <vector>

#include "app/qt_text.h"
#include "compression/library_versions.h"
#include "parlivex_version.h"

namespace {

// Parlivex itself has no licence file yet: the box says so rather than claim one. The libraries' licences
// are those of the versions Debian ships.
constexpr char kLicences[] =
    "Parlivex's own licence is not stated yet.\n"
    "Qt is used under the GNU LGPL version 3, zlib under the zlib licence, liblz4 under the BSD 2-clause "
    "licence, ICU under the Unicode licence.";

} // namespace

QString AboutText() {
    std::vector<TLibraryVersion> libraries = CoreLibraryVersions();
    libraries.insert(libraries.begin(), TLibraryVersion{u"Qt", FromQString(QString::fromLatin1(qVersion()))});
    return QStringLiteral("Parlivex %1\n").arg(QString::fromLatin1(kParlivexVersion)) +
           QStringLiteral("Browse and extract the BSA archives of Skyrim and Skyrim Special Edition.\n\n") +
           ToQString(LibraryVersionsText(libraries)) + QStringLiteral("\n\n") + QString::fromUtf8(kLicences);
}
