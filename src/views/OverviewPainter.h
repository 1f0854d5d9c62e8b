#pragma once

#include <QFont>
#include <QPainter>
#include <QSize>
#include <QString>

#include <vector>

#include "common/Types.h"
#include "control/KVOverviewBuilder.h"
#include "views/BottomUpMapping.h"

namespace orvex {

// Draws the parts shared by the waveform overviews (the input overview and the master output):
// the dark glossy background, the analysed range, the ten-tick time ruler, the min/max
// waveform of one or two channels, the frame, the title and the play cursor. Positions are
// frames of a file of totalFrames frames spread over the picture's width; y counts from the
// bottom as in the views' own descriptions.
class OverviewPainter {
public:
    OverviewPainter(QPainter& painter, QSize size, FrameCount totalFrames);

    // Frames per pixel; a picture of width 0 counts as 1 pixel wide.
    static double framesPerPixel(FrameCount totalFrames, int width);
    double framesPerPixel() const { return mFramesPerPixel; }
    double xOfFrame(FramePos frame) const { return static_cast<double>(frame) / mFramesPerPixel; }
    const BottomUpMapping& mapping() const { return mY; }
    QPainter& painter() { return mPainter; }

    void background();
    // Shades [start, end); nothing when both are 0. Its caption "Current Analysis" is drawn
    // with the title, so that the two never overlap.
    void analysedRange(FramePos start, FramePos end);
    // Ten ticks at multiples of a tenth of the length, each with its time label.
    void timeRuler();
    // Mono: one envelope around the middle; stereo: left above, right below.
    void waveform(std::int64_t channels, const std::vector<KVOverviewColumn>& columns);
    // The frame over the theme's drop shadow, the title at the bottom left and the analysed
    // range's caption.
    void frameAndTitle(const QString& title);
    // A height for a label starting at x = left on the bottom edge where it would meet the
    // title: above the title there, yFromBottom elsewhere.
    static double clearOfTitle(const QString& title, double left, double yFromBottom);
    // Where a label ending at right starts once kept inside the picture.
    double labelLeft(const QString& text, double right, const QFont& font) const;
    // A red line over the whole height, darkening what lies under it.
    void playCursor(FramePos frame);

    // Text with its bottom-left corner (baseline less the descent) at (x, yFromBottom), moved
    // left or right as needed to stay inside the picture.
    void label(const QString& text, double x, double yFromBottom, const QColor& colour, const QFont& font);
    // The same with the text's right end at right.
    void labelEndingAt(const QString& text, double right, double yFromBottom, const QColor& colour, const QFont& font);
    static QFont boldFont(int pointSize);

private:
    void envelope(const std::vector<KVOverviewColumn>& columns, float KVOverviewColumn::*value, double centre,
                  double scale);

    QPainter& mPainter;
    QSize mSize;
    FrameCount mTotal;
    double mFramesPerPixel;
    BottomUpMapping mY;
    double mCaptionX = -1;  // x of the analysed range's caption; negative when there is none
};

}  // namespace orvex
