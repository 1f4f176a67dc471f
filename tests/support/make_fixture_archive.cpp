// Writes the demo archive that the desktop application ships for trying it out.
//
//   make_fixture_archive demo OUT.bsa      version 105, LZ4 frames (Skyrim Special Edition)
//   make_fixture_archive demo104 OUT.bsa   version 104, zlib (Skyrim)
//
// The output is the same bytes on every run.
#include "tests/support/bsa_writer.h"

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

namespace {

using fixture::ArchiveSpec;
using fixture::EntrySpec;
using fixture::FolderSpec;
using fixture::Storage;

std::vector<uint8_t> Text(std::string_view text) {
    return {text.begin(), text.end()};
}

// A compressed entry when `packed` is set, otherwise one stored raw (bit 30 set, as for audio).
EntrySpec File(std::string name, std::vector<uint8_t> data, bool packed, Storage compression) {
    EntrySpec entry;
    entry.name = std::move(name);
    entry.data = std::move(data);
    entry.storage = packed ? compression : Storage::Raw;
    return entry;
}

ArchiveSpec DemoArchive(uint32_t version) {
    const Storage packed = version == 105 ? Storage::Lz4Frame : Storage::Zlib;
    const auto file = [&](std::string name, std::vector<uint8_t> data, bool compressed = true) {
        return File(std::move(name), std::move(data), compressed, packed);
    };
    using fixture::CompressibleBytes;
    using fixture::RandomBytes;

    ArchiveSpec recipe;
    recipe.version = version;
    recipe.flags = 0x3 | 0x4; // named folders and files, compressed by default

    EntrySpec bigTexture = file("ironarmor.dds", CompressibleBytes(1'500'000, 12));
    if (version == 105) {
        bigTexture.lz4.blockSizeId = 7; // some archives use 4 MiB blocks with a content checksum
        bigTexture.lz4.contentChecksum = true;
    }

    recipe.folders = {
        {"meshes\\actors\\character",
         {file("skeleton.nif", CompressibleBytes(48'000, 1)),
          file("\351p\351e.nif", CompressibleBytes(9'000, 2)), // "épée.nif" in Windows-1252
          file("idle.hkx", CompressibleBytes(20'000, 3))}},
        {"textures\\armor\\iron",
         {std::move(bigTexture), file("ironarmor_n.dds", CompressibleBytes(300'000, 13)),
          file("ironarmor_icon.dds", RandomBytes(4'096, 14), false)}},
        {"sound\\fx",
         {file("swing.wav", RandomBytes(22'050, 21), false),
          file("ambient.xwm", RandomBytes(60'000, 22), false)}},
        {"sound\\voice\\skyrim.esm\\femalenord",
         {file("greeting_0001a2b3_1.fuz", RandomBytes(15'000, 31), false)}},
        {"scripts",
         {file("questscript.pex", CompressibleBytes(3'000, 41)),
          file("actorutil.pex", CompressibleBytes(1'200, 42))}},
        {"interface",
         {file("hud.xml", Text("<hud>\r\n  <compass visible=\"true\"/>\r\n</hud>\r\n")),
          file("fontconfig.txt",
               Text("fontlib \"interface\\fonts_en.swf\"\r\nmap \"$ConsoleFont\" = \"Arial\"\r\n"))}},
        {"meshes\\terrain\\tamriel",
         {file("tamriel.lod", CompressibleBytes(6'000, 51)),
          file("tamriel.4.0.0.nif", CompressibleBytes(70'000, 52))}},
        {".",
         {file("readme.txt", Text("Parlivex demo archive.\r\nEvery file in it is made-up test content.\r\n"),
               false),
          file("caf\xE9.txt", Text("Caf\xE9 cr\xE8me, na\xEFve fa\347ade.\r\n"))}},
    };
    return recipe;
}

} // namespace

int main(int argc, char** argv) {
    const std::string kind = argc == 3 ? argv[1] : "";
    if (kind != "demo" && kind != "demo104") {
        std::fprintf(stderr, "usage: make_fixture_archive demo|demo104 OUT.bsa\n");
        return 2;
    }
    try {
        fixture::WriteArchiveFile(DemoArchive(kind == "demo" ? 105 : 104), argv[2]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_fixture_archive: %s\n", error.what());
        return 1;
    }
    return 0;
}
