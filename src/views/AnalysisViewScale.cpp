#include "views/AnalysisViewScale.h"

#include <QWidget>

#include <algorithm>
#include <cmath>

#include "common/Types.h"
#include "picture/DisplayGeometry.h"

namespace orvex {

int AnalysisViewScale::shownRows() {
    static const int rows = display::rowOfFrequency(kWorkingSampleRate / 2.0) + 1;
    return rows;
}

void AnalysisViewScale::setTimeZoom(double zoom) { mTime = std::clamp(zoom, kMinimumTimeZoom, kMaximumTimeZoom); }

void AnalysisViewScale::setPitchZoom(double zoom) {
    mPitch = std::clamp(zoom, kMinimumPitchZoom, kMaximumPitchZoom);
}

QSize AnalysisViewScale::widgetSize(std::int64_t columns) const {
    const double width = std::ceil(double(columns) * mTime);
    return {int(std::clamp(width, 1.0, double(QWIDGETSIZE_MAX))), int(std::ceil(widgetHeight()))};
}

// Widget pixel row Y shows view row (height - 1 - Y) / zoom, so that at zoom 1 the top pixel
// row is the top row.
QPointF AnalysisViewScale::toView(const QPointF& widget) const {
    return {std::max(0.0, widget.x() / mTime), std::max(0.0, (widgetHeight() - 1.0 - widget.y()) / mPitch)};
}

QRectF AnalysisViewScale::viewRectOf(const QRectF& r) const {
    return {r.x() / mTime, (widgetHeight() - r.y() - r.height()) / mPitch, r.width() / mTime, r.height() / mPitch};
}

QRectF AnalysisViewScale::widgetRectOf(const QRectF& r) const {
    return {r.x() * mTime, widgetHeight() - (r.y() + r.height()) * mPitch, r.width() * mTime, r.height() * mPitch};
}

}  // namespace orvex
