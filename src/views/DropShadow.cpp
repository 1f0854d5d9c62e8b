#include "views/DropShadow.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

#include "utilities/KVUtilities.h"
#include "views/BottomUpMapping.h"
#include "views/ThemePalette.h"

namespace orvex {

namespace {
constexpr int kPasses = 3;

// Means of 2 radius + 1 values by a fixed-point reciprocal, rounded.
struct BoxMean {
    explicit BoxMean(int radius) : reciprocal((65536 + radius) / (2 * radius + 1)) {}
    int operator()(int sum) const { return (sum * reciprocal + 32768) >> 16; }
    int reciprocal;
};

// The horizontal passes over n values that have zeros beyond both ends, in a buffer that stays
// in cache: each value becomes the mean of the 2 radius + 1 values around it.
void blurSpan(uchar* values, int n, int radius, std::vector<int>& from, std::vector<int>& to) {
    const BoxMean mean(radius);
    from.assign(values, values + n);
    to.resize(static_cast<std::size_t>(n));
    for (int pass = 0; pass < kPasses; ++pass) {
        int sum = 0;
        for (int i = 0; i < std::min(radius, n); ++i) sum += from[i];
        for (int i = 0; i < n; ++i) {
            if (i + radius < n) sum += from[i + radius];
            if (i - radius - 1 >= 0) sum -= from[i - radius - 1];
            to[i] = mean(sum);
        }
        from.swap(to);
    }
    std::copy(from.begin(), from.end(), values);
}

// A row's passes reach 3 radius beyond its coverage, so each stretch of coverage is blurred on
// its own with that margin, and a long run of zeros between two stretches is left as it is.
void blurRow(uchar* row, int n, int radius, std::vector<int>& from, std::vector<int>& to) {
    const int reach = kPasses * radius;
    int x = 0;
    while (true) {
        while (x < n && row[x] == 0) ++x;
        if (x == n) return;
        int end = x + 1, gap = 0;  // end: one past the stretch's last covered value
        for (int i = end; i < n && gap <= 2 * reach; ++i) {
            if (row[i] != 0) {
                end = i + 1;
                gap = 0;
            } else {
                ++gap;
            }
        }
        const int from0 = std::max(0, x - reach), to0 = std::min(n, end + reach);
        blurSpan(row + from0, to0 - from0, radius, from, to);
        x = to0;
    }
}

// One vertical pass from source into target, row by row with a running sum per column so that
// the inner loops walk along rows.
void blurColumns(const QImage& source, QImage& target, int radius, std::vector<int>& sums) {
    const int w = source.width(), h = source.height();
    const BoxMean mean(radius);
    sums.assign(static_cast<std::size_t>(w), 0);
    int* sum = sums.data();
    const auto add = [&](int y) {
        const uchar* row = source.constScanLine(y);
        for (int x = 0; x < w; ++x) sum[x] += row[x];
    };
    for (int y = 0; y < std::min(radius, h); ++y) add(y);
    for (int y = 0; y < h; ++y) {
        if (y + radius < h) add(y + radius);
        if (y - radius - 1 >= 0) {
            const uchar* leaving = source.constScanLine(y - radius - 1);
            for (int x = 0; x < w; ++x) sum[x] -= leaving[x];
        }
        uchar* out = target.scanLine(y);
        for (int x = 0; x < w; ++x) out[x] = static_cast<uchar>(mean(sum[x]));
    }
}
}  // namespace

DropShadow::DropShadow(QPointF offsetUpwards, double blurRadius, const QColor& colour)
    : mOffset(BottomUpMapping::toWidgetOffset(offsetUpwards)), mBlur(std::max(0.0, blurRadius)), mColour(colour) {}

DropShadow DropShadow::themed() {
    return DropShadow({2, -2}, 4, ThemePalette::toQColor(KVUtilities::themeColorDarkGray()));
}

// Three boxes of radius k spread like a Gaussian of variance k (k + 1).
int DropShadow::boxRadius(double blurRadius) {
    const double sigma = blurRadius / 2;
    if (sigma <= 0) return 0;
    return std::max(1, static_cast<int>(std::lround(std::sqrt(sigma * sigma + 0.25) - 0.5)));
}

void DropShadow::blur(QImage& alpha, double blurRadius) {
    const int radius = boxRadius(blurRadius);
    if (radius == 0 || alpha.isNull() || alpha.format() != QImage::Format_Alpha8) return;
    std::vector<int> from, to;
    for (int y = 0; y < alpha.height(); ++y) blurRow(alpha.scanLine(y), alpha.width(), radius, from, to);
    QImage other(alpha.size(), QImage::Format_Alpha8);
    for (int pass = 0; pass < kPasses; ++pass) {
        blurColumns(alpha, other, radius, from);
        std::swap(alpha, other);
    }
}

// The shapes are painted into a transparent layer over bounds plus the blur's reach, with the
// painter's transform and settings; the layer's alpha, blurred, masks the colour. The shadow
// is composited like the shapes, in the painter's current mode: under additive compositing it
// adds its colour instead of covering what lies beneath.
void DropShadow::paintShadow(QPainter& painter, const QRectF& bounds, const std::function<void(QPainter&)>& draw) const {
    const QPaintDevice* device = painter.device();
    if (!device || mColour.alpha() == 0 || bounds.isEmpty()) return;
    const qreal ratio = device->devicePixelRatioF();
    const int margin = static_cast<int>(std::ceil((kPasses * boxRadius(mBlur * ratio) + 1) / ratio));
    const QRect area = bounds.toAlignedRect().adjusted(-margin, -margin, margin, margin);
    QImage layer(area.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    layer.setDevicePixelRatio(ratio);
    {
        QPainter shapes(&layer);
        shapes.setRenderHints(painter.renderHints());
        shapes.setPen(painter.pen());
        shapes.setBrush(painter.brush());
        shapes.setFont(painter.font());
        shapes.translate(-area.topLeft());
        shapes.setWorldTransform(painter.worldTransform(), true);
        draw(shapes);
    }
    QImage mask = layer.convertToFormat(QImage::Format_Alpha8);
    mask.setDevicePixelRatio(1);
    blur(mask, mBlur * ratio);
    QImage shadow(layer.size(), QImage::Format_ARGB32_Premultiplied);
    shadow.fill(mColour);
    {
        QPainter tint(&shadow);
        tint.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        tint.drawImage(0, 0, mask);
    }
    shadow.setDevicePixelRatio(ratio);
    painter.save();
    painter.resetTransform();
    painter.drawImage(QPointF(area.topLeft()) + mOffset, shadow);
    painter.restore();
}

void DropShadow::paint(QPainter& painter, const QRectF& bounds, const std::function<void(QPainter&)>& draw) const {
    paintShadow(painter, bounds, draw);
    painter.save();
    draw(painter);
    painter.restore();
}

}  // namespace orvex
