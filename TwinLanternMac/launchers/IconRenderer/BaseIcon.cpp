#include "TwinLanternMac/launchers/IconRenderer/IconRenderer.h"

#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/PropertyList.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QPainter>

namespace twinlantern::IconRenderer {

namespace {

// App icons are a few megabytes; a larger file is not one we draw.
constexpr std::size_t maxIconBytes = 64u << 20;

std::optional<std::string> iconFilePath(const std::string& bundlePath) {
    const auto info = PropertyList::readDictionary(bundlePath + "/Contents/Info.plist", nullptr,
                                                   PropertyList::maxScannedFileBytes);
    if (!info) {
        return std::nullopt;
    }
    std::optional<std::string> name = info->string("CFBundleIconFile");
    if (!name || name->empty() || name->find('/') != std::string::npos) {
        return std::nullopt;
    }
    if (PathUtil::lastComponent(*name).find('.') == std::string::npos) {
        *name += ".icns";
    }
    return bundlePath + "/Contents/Resources/" + *name;
}

QImage largestImage(const std::string& path) {
    const ReadResult file = readWholeFile(path, maxIconBytes);
    if (!file.bytes) {
        return {};
    }
    QByteArray bytes(file.bytes->data(), static_cast<qsizetype>(file.bytes->size()));
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly)) {
        return {};
    }
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    QImage best;
    const int count = std::max(1, reader.imageCount());
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i)) {
            break;
        }
        QImage candidate = reader.read();
        if (!candidate.isNull() && (best.isNull() || candidate.width() * candidate.height() >
                                                         best.width() * best.height())) {
            best = std::move(candidate);
        }
    }
    return best;
}

QImage greySquare() {
    constexpr int size = 1024;
    QImage out(size, size, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(142, 142, 147));
    const double margin = 0.1 * size;
    painter.drawRoundedRect(QRectF(margin, margin, size - 2 * margin, size - 2 * margin),
                            0.18 * size, 0.18 * size);
    return out;
}

} // namespace

QImage baseIcon(const std::string& bundlePath) {
    if (const std::optional<std::string> path = iconFilePath(bundlePath)) {
        QImage icon = largestImage(*path);
        if (!icon.isNull()) {
            return icon;
        }
    }
    return greySquare();
}

} // namespace twinlantern::IconRenderer
