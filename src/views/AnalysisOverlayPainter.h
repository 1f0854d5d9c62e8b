#pragma once

#include <QPainter>
#include <QRectF>

#include <string>
#include <vector>

#include "gesture/ToolGesture.h"
#include "views/AnalysisViewScale.h"

namespace orvex {

// What the analysis view draws over its two layers, gathered on the GUI thread for one paint.
struct AnalysisOverlayState {
    QRectF visible;       // view coordinates, y upwards
    QRectF shown;         // the same in widget pixels
    FramePos firstColumn = 0;
    std::int64_t columnCount = 0;
    FramePos playColumn = 0;
    AnalysisTool tool = AnalysisTool::multiPencil;
    SelectionMode selectionMode = SelectionMode::Add;
    bool shift = false;
    bool dragging = false;
    std::vector<KVPathPoint> gesturePoints;
    GestureRect gestureRect;
    double mouseX = 0.0, mouseY = 0.0;
    std::vector<std::vector<KVPathPoint>> paths;
    std::string statusMessage;
    bool focused = false;
    bool showOriginal = true;
    double a4Tuning = 440.0;
};

// Paints the overlays of the analysis view in its drawing order: pitch axis, play cursor, tool overlay,
// ruler of seconds, stored paths, status text, a pencil's strip range and the focus frame.
// Input is in view coordinates (y upwards), drawn at the view's zoom; texts, ticks and frames
// keep their size in pixels. GUI thread only.
class AnalysisOverlayPainter {
public:
    AnalysisOverlayPainter(QPainter& painter, const AnalysisViewScale& scale) : mPainter(painter), mScale(scale) {}

    void paint(const AnalysisOverlayState& state);

    // "X: %@ (%lld frames)\tY: %0.2f Hz (%@)" for the mouse, with the message on a second line;
    // the note is named for A4 at a4 Hz.
    static QString statusText(double mouseX, double mouseY, const std::string& message, double a4 = 440.0);

private:
    QPointF at(double x, double y) const { return mScale.toWidget(x, y); }
    QRectF rect(const GestureRect& r) const;
    // Text whose bottom-left corner sits at a widget pixel.
    void drawText(const QString& text, QPointF corner, const QFont& font, const QColor& colour);
    void pitchAxis(const AnalysisOverlayState& s);
    void playCursor(const AnalysisOverlayState& s);
    void toolOverlay(const AnalysisOverlayState& s);
    void pencilOverlay(const AnalysisOverlayState& s);
    void boxOverlay(const AnalysisOverlayState& s);
    void ruler(const AnalysisOverlayState& s);
    void paths(const AnalysisOverlayState& s);
    void status(const AnalysisOverlayState& s);
    void stripRange(const AnalysisOverlayState& s);
    void focusFrame(const AnalysisOverlayState& s);

    QPainter& mPainter;
    const AnalysisViewScale& mScale;
};

}  // namespace orvex
