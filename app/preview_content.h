#pragma once
// What a preview shows of an entry, made on a job's thread (app/preview_job.h), never on the window's: the
// entry read through a reader of the job's own, then taken for a texture, an image Qt reads, text or
// anything else; and a texture's surfaces decoded into pictures. Nothing here touches a widget, and each
// step looks at its cancel flag where it can stop early; a cancelled step's result is to be dropped.
#include <QImage>
#include <QString>
#include <atomic>
#include <memory>

#include "archive/bsa_file.h"
#include "base/bytes.h"
#include "extract/entry_source.h"
#include "texture/dds_header.h"

enum class TPreviewKind { Image, Text, Binary, Error };

struct TEntryRead {
    bool read = false;
    QString reason;  // why not: the reader's reason, "out of memory"
    QString storage; // "LZ4 frame, 1234 bytes stored, 5678 bytes uncompressed"
    std::shared_ptr<const TBytes> data;
};

// Describes and reads entry with reader (an archive's through the core's one fetch step,
// extract/entry_fetch.h, or a loose file's), whole: the preview needs all of it at once, and reading it in
// pieces would cost a copy of it. The one step of the preview that does not look at a cancel flag: it takes
// as long as reading the entry does.
TEntryRead ReadPreviewedEntry(TEntrySource& reader, TEntryRef entry);

struct TPreviewContent {
    TPreviewKind kind = TPreviewKind::Error;
    QString reason;       // Error: why it cannot be shown
    bool texture = false; // Image: a DDS texture, described by dds
    DdsInfo dds;
    QImage picture;      // Image, not a texture: the picture read, in RGBA8888
    QString imageFormat; // Image, not a texture: "PNG", "JPEG", "BMP" or "TGA"
    QString text;        // Text: the text; Binary: the hex view
};

// What the bytes of an entry whose name ends in `extension` (lower case, with its dot) are shown as: a DDS
// texture by its extension (its header read here), PNG, JPEG, BMP (by Qt) and TGA (texture/tga_decode.h) by
// theirs (decoded here), text when
// the extension says so or any bytes read as text (extract/entry_text.h), else the hex view.
TPreviewContent PrepareContent(const TBytes& data, const QString& extension,
                               const std::atomic<bool>& cancelled);

// Which channels of a picture are shown: all of them, the colour without the alpha (opaque), or one channel
// alone as opaque grey.
enum class TChannels { All, Rgb, Red, Green, Blue, Alpha };

// The picture's pixels (RGBA8888) as `channels` shows them: the same picture for All, else a new one; a null
// image when cancelled on the way.
QImage ChannelView(const QImage& rgba, TChannels channels, const std::atomic<bool>& cancelled);

// The PNG file of a picture (its pixels as RGBA, 8 bits each). Raises ETextureError when the picture cannot
// be encoded; running out of memory lets the allocator's exception pass.
TBytes PictureAsPng(const QImage& picture);

// Which picture of a texture or image: mip level `level` of layer `layer`, with the channels chosen.
struct TPictureRequest {
    uint32_t layer = 0;
    uint32_t level = 0;
    TChannels channels = TChannels::All;
    bool operator==(const TPictureRequest&) const = default;
};

struct TDecodedPicture {
    QImage level;    // the level's pixels, RGBA8888
    QImage shown;    // the same as the channels chosen show it (ChannelView)
    QString failure; // why not: the texture's reason, "out of memory"
};

// The picture `request` asks for. `level` holds the level's pixels when they were decoded before (and for an
// image Qt read); otherwise they are decoded from the texture in data, which dds describes, on every core.
TDecodedPicture DecodePicture(const TBytes& data, const DdsInfo& dds, TPictureRequest request, QImage level,
                              const std::atomic<bool>& cancelled);
