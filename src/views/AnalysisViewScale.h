#pragma once

#include <QPointF>
#include <QRectF>
#include <QSize>

#include <cstdint>

namespace orvex {

// How the analysis picture lies in its widget: pixels per analysis frame (the zoom in time),
// pixels per display row (the zoom in pitch), and the rows shown: from row 0 up to the row of
// half the working rate, since the analysis holds nothing above it. View coordinates are those
// of the picture (x = frame, y = row upwards from the bottom); widget coordinates are pixels
// with y downwards. A value type; safe on any thread.
class AnalysisViewScale {
public:
    static constexpr double kMinimumTimeZoom = 1.0 / 16.0, kMaximumTimeZoom = 16.0;
    static constexpr double kMinimumPitchZoom = 0.5, kMaximumPitchZoom = 8.0;

    // Rows shown: up to and with the one that holds 22 050 Hz.
    static int shownRows();

    double timeZoom() const { return mTime; }
    double pitchZoom() const { return mPitch; }
    // Clamped to the limits above.
    void setTimeZoom(double zoom);
    void setPitchZoom(double zoom);

    // The widget's size for a picture this many columns wide.
    QSize widgetSize(std::int64_t columns) const;
    double widgetHeight() const { return shownRows() * mPitch; }
    // The widget pixel of view point (x, y): the top-left corner of column x's pixels for row y - 1.
    QPointF toWidget(double x, double y) const { return {x * mTime, (shownRows() - y) * mPitch}; }
    // The view point under a widget pixel, never below 0.
    QPointF toView(const QPointF& widget) const;
    // A rectangle of widget pixels in view coordinates (y upwards) and back.
    QRectF viewRectOf(const QRectF& widgetRect) const;
    QRectF widgetRectOf(const QRectF& viewRect) const;

private:
    double mTime = 1.0;
    double mPitch = 1.0;
};

}  // namespace orvex
