#include "app/preview_content.h"

#include <algorithm>
#include <array>
#include <new>
#include <span>
#include <thread>

#include "app/qt_text.h"
#include "extract/entry_fetch.h"
#include "extract/entry_text.h"
#include "texture/dds_decode.h"
#include "texture/png_writer.h"
#include "texture/texture_error.h"
#include "texture/tga_decode.h"

namespace {

bool IsTextExtension(const QString& ext) {
    static const std::array<const char*, 10> kText = {".txt", ".ini", ".xml", ".json", ".csv",
                                                      ".psc", ".lst", ".cfg", ".log",  ".md"};
    return std::any_of(kText.begin(), kText.end(), [&](const char* e) { return ext == QLatin1String(e); });
}

// The format name Qt's image readers know the extension by, or null.
const char* QtImageFormat(const QString& ext) {
    if (ext == QLatin1String(".png"))
        return "PNG";
    if (ext == QLatin1String(".jpg") || ext == QLatin1String(".jpeg"))
        return "JPEG";
    if (ext == QLatin1String(".bmp"))
        return "BMP";
    return nullptr;
}

// A picture over decoded pixels, which it takes over without a copy.
QImage WrapDecoded(RgbaImage&& decoded) {
    auto pixels = std::make_unique<PixelBytes>(std::move(decoded.pixels));
    QImage image(
        pixels->data(), int(decoded.width), int(decoded.height), qsizetype(decoded.width) * 4,
        QImage::Format_RGBA8888, [](void* held) { delete static_cast<PixelBytes*>(held); }, pixels.get());
    if (image.isNull()) {
        throw std::bad_alloc();
    }
    pixels.release(); // the picture frees them
    return image;
}

// Threads for decoding a large texture: as many as there are cores, within reason.
unsigned DecodingThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

} // namespace

QImage ChannelView(const QImage& rgba, TChannels channels, const std::atomic<bool>& cancelled) {
    if (channels == TChannels::All) {
        return rgba;
    }
    QImage view(rgba.size(), QImage::Format_RGBA8888);
    if (view.isNull()) {
        throw std::bad_alloc();
    }
    const int alone = channels == TChannels::Red     ? 0
                      : channels == TChannels::Green ? 1
                      : channels == TChannels::Blue  ? 2
                      : channels == TChannels::Alpha ? 3
                                                     : -1;
    for (int y = 0; y < rgba.height(); ++y) {
        if (y % 64 == 0 && cancelled.load(std::memory_order_relaxed)) {
            return QImage();
        }
        const uchar* from = rgba.constScanLine(y);
        uchar* to = view.scanLine(y);
        for (int x = 0; x < rgba.width(); ++x) {
            if (alone < 0) {
                std::copy_n(from + 4 * x, 3, to + 4 * x);
            } else {
                to[4 * x] = to[4 * x + 1] = to[4 * x + 2] = from[4 * x + alone];
            }
            to[4 * x + 3] = 255;
        }
    }
    return view;
}

TBytes PictureAsPng(const QImage& picture) {
    const QImage rgba = picture.convertToFormat(QImage::Format_RGBA8888);
    RgbaImage image;
    image.width = uint32_t(rgba.width());
    image.height = uint32_t(rgba.height());
    const size_t row = size_t(image.width) * 4;
    image.pixels.resize(row * image.height);
    for (int y = 0; y < rgba.height(); ++y) {
        std::copy_n(rgba.constScanLine(y), row, image.pixels.data() + row * size_t(y));
    }
    return EncodePng(image);
}

TEntryRead ReadPreviewedEntry(TEntrySource& reader, TEntryRef entry) {
    TEntryRead result;
    TEntryDescription description;
    if (reader.Describe(entry, description)) {
        result.storage = QStringLiteral("%1, %2 bytes stored")
                             .arg(ToQString(PackingName(description.packing)))
                             .arg(description.storage.storedSize);
    }
    auto data = std::make_shared<TBytes>();
    if (const TFetchResult fetched = reader.Fetch(entry, *data); !fetched) {
        result.reason = ToQString(fetched.reason);
        return result;
    }
    result.storage += QStringLiteral(", %1 bytes uncompressed").arg(data->size());
    result.read = true;
    result.data = std::move(data);
    return result;
}

TPreviewContent PrepareContent(const TBytes& data, const QString& extension,
                               const std::atomic<bool>& cancelled) {
    TPreviewContent content;
    if (extension == QLatin1String(".dds")) {
        try {
            content.dds = ReadDdsHeader(std::span<const uint8_t>(data));
        } catch (const ETextureError& e) {
            content.reason = ToQString(e.Message());
            return content;
        }
        content.kind = TPreviewKind::Image;
        content.texture = true;
        return content;
    }
    if (extension == QLatin1String(".tga")) {
        // Read here rather than by Qt's plugin, which refuses TGA files without the footer of TGA 2.0.
        try {
            content.picture = WrapDecoded(DecodeTga(std::span<const uint8_t>(data)));
        } catch (const ETextureError& e) {
            content.reason = ToQString(e.Message());
            return content;
        } catch (const std::bad_alloc&) {
            content.reason = QStringLiteral("out of memory");
            return content;
        }
        content.kind = TPreviewKind::Image;
        content.imageFormat = QStringLiteral("TGA");
        return content;
    }
    if (const char* format = QtImageFormat(extension)) {
        QImage loaded;
        if (!loaded.loadFromData(data.data(), int(std::min<size_t>(data.size(), INT32_MAX)), format)) {
            content.reason = QStringLiteral("not a readable %1 image").arg(QLatin1String(format));
            return content;
        }
        if (cancelled.load()) {
            return content;
        }
        content.kind = TPreviewKind::Image;
        content.imageFormat = QLatin1String(format);
        content.picture = loaded.convertToFormat(QImage::Format_RGBA8888);
        return content;
    }
    std::u16string text;
    if ((IsTextExtension(extension) || !data.empty()) && DecodeAsText(data, text)) {
        content.kind = TPreviewKind::Text;
        content.text = ToQString(text);
    } else {
        content.kind = TPreviewKind::Binary;
        content.text = ToQString(HexView(data));
    }
    return content;
}

TDecodedPicture DecodePicture(const TBytes& data, const DdsInfo& dds, TPictureRequest request, QImage level,
                              const std::atomic<bool>& cancelled) {
    TDecodedPicture result;
    try {
        if (level.isNull()) {
            RgbaImage decoded = DecodeDdsSurface(dds, std::span<const uint8_t>(data), request.layer,
                                                 request.level, DecodingThreads(), &cancelled);
            if (cancelled.load()) {
                return result;
            }
            level = WrapDecoded(std::move(decoded));
        }
        result.shown = ChannelView(level, request.channels, cancelled);
        result.level = std::move(level);
    } catch (const ETextureError& e) {
        result.failure = ToQString(e.Message());
    } catch (const std::bad_alloc&) {
        result.failure = QStringLiteral("out of memory");
    }
    return result;
}
