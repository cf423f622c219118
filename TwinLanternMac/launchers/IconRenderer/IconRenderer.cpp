#include "TwinLanternMac/launchers/IconRenderer/IconRenderer.h"

#include "TwinLanternMac/launchers/IconRenderer/BadgeLayout.h"
#include "TwinLanternMac/launchers/IconRenderer/IcnsFile.h"
#include "core/base/FileUtil.h"
#include "core/base/TwinLanternError.h"

#include <QBuffer>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>

#include <vector>

namespace twinlantern::IconRenderer {

namespace {

const char* const drawFailure = "Couldn't draw the launcher icon.";

bool haveGuiApplication() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

void writeFile(const std::string& path, const std::string& bytes) {
    if (auto failure = writeFileAtomically(path, bytes, 0644)) {
        throw TwinLanternError::ioErrno("write " + path, failure->error);
    }
}

} // namespace

std::optional<QImage> image(const QImage& base, ProfileColor color, std::string_view badge,
                            int pixels) {
    if (!haveGuiApplication() || pixels <= 0) {
        return std::nullopt;
    }
    QImage out(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull()) {
        return std::nullopt;
    }
    out.fill(Qt::transparent);
    const BadgeLayout layout = badgeLayout(badge, pixels);
    {
        QPainter painter(&out);
        if (!painter.isActive()) {
            return std::nullopt;
        }
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                               QPainter::TextAntialiasing);
        const double size = pixels;
        painter.drawImage(QRectF(0, 0, size, size), base);

        const double d = layout.diameter;
        const QRectF square(0.52 * size, 0.52 * size, d, d);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(square);
        const RGB c = rgb(color);
        const double inset = 0.07 * d;
        painter.setBrush(QColor(c.r, c.g, c.b));
        painter.drawEllipse(square.adjusted(inset, inset, -inset, -inset));

        if (!layout.text.empty()) {
            QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
            font.setWeight(QFont::Bold);
            font.setPixelSize(std::max(1, qRound(layout.fontSize)));
            const QString text =
                QString::fromUtf8(layout.text.data(), static_cast<qsizetype>(layout.text.size()));
            const QFontMetricsF metrics(font);
            const QSizeF box = metrics.size(Qt::TextSingleLine, text);
            const QPointF centre = square.center();
            painter.setFont(font);
            painter.setPen(Qt::white);
            painter.drawText(QPointF(centre.x() - box.width() / 2,
                                     centre.y() - box.height() / 2 + metrics.ascent()),
                             text);
        }
    }
    return out;
}

std::optional<std::string> png(const QImage& base, ProfileColor color, std::string_view badge,
                               int pixels) {
    const std::optional<QImage> drawn = image(base, color, badge, pixels);
    if (!drawn) {
        return std::nullopt;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) ||
        !drawn->convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG") || bytes.isEmpty()) {
        return std::nullopt;
    }
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void writeICNS(const QImage& base, ProfileColor color, std::string_view badge,
               const std::string& path) {
    std::vector<IcnsElement> elements;
    for (const IcnsRow& row : icnsRows) {
        std::optional<std::string> bytes = png(base, color, badge, row.pixels);
        if (!bytes) {
            throw TwinLanternError::io(drawFailure);
        }
        elements.push_back({row.type, std::move(*bytes)});
    }
    writeFile(path, icnsContainer(elements));
}

void writePNG(const QImage& base, ProfileColor color, std::string_view badge, int pixels,
              const std::string& path) {
    std::optional<std::string> bytes = png(base, color, badge, pixels);
    if (!bytes) {
        throw TwinLanternError::io(drawFailure);
    }
    writeFile(path, *bytes);
}

} // namespace twinlantern::IconRenderer
