#pragma once

// A robust sub-pixel fit of the one bright line in a picture that arrives a row at a time. It
// needs only the standard library, so that any layer can use it.

#include <cstdint>
#include <optional>
#include <vector>

// The line found in a picture, in picture coordinates: x to the right, y down, pixel centres at
// integer coordinates (pixel (0,0) covers [-0.5,0.5]^2).
struct FittedLine {
    double angle = 0;                      // degrees in (-90, 90], counter-clockwise on screen: rising to the right is positive
    std::optional<double> slope;           // dy/dx in picture coordinates (y down); empty for a vertical line
    double centreX = 0, centreY = 0;       // a point on the line, the centre of the samples used
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0; // where the found line stops, x1 <= x2 (for a vertical line y1 <= y2)
    double rms = 0;                        // RMS perpendicular distance of the inlier samples from the line, pixels
    double angleSd = 0;                    // standard error of angle, degrees
    std::int64_t samples = 0;              // line-centre samples the fit used (inliers)
};

// One centre of the line across its width: `across` is the sub-pixel position of the centre in
// the column (or row) `along`; `strength` ranks the candidates of one column or row.
struct LineSample {
    double across = 0;
    float strength = 0;
};

// A line-centre sample; of two lines with as many samples, the one whose samples stand out
// more is the line.
struct LinePoint {
    double x = 0, y = 0;
    float strength = 1;
};

class LineFit {
public:
    // level: the program's brightness level; here, what a line must stand out by above its local
    // background (on the mean of the three channels), so that uneven light needs no tuning.
    LineFit(int width, int height, int level);
    // Rows come top to bottom, `width` pixels each. bytesPerPixel: 3 (three colour bytes in any
    // order), 4 (three colour bytes, then one that is ignored), 1 (grey). Rows past `height`
    // are ignored.
    void AddRow(const std::uint8_t* pixels, int bytesPerPixel);
    // The fitted line of the rows seen, or nothing when no line is found; rows that come after
    // are ignored, and calling it again gives the same.
    std::optional<FittedLine> Finish();

    int Rows() const { return rows_; }

    // The robust fit of a line through line-centre samples, or nothing when too few of them lie
    // on one line.
    static std::optional<FittedLine> FitPoints(std::vector<LinePoint> points);

    // How far apart, in rows down a column or in columns along a row, the pixels are that a pixel
    // is compared with to tell a ridge from its background: past the half-width of a blurred line.
    static constexpr int Reach = 12;
    // Candidates kept per column and per row; bounds the memory whatever the picture holds.
    static constexpr int Kept = 3;

private:
    // A run of ridge pixels down one column that is still growing.
    struct OpenRun {
        std::int32_t first = 0;
        std::int32_t last = -1000;
        std::int32_t weight = 0;
    };

    // A run closes a row or two after its last pixel; by then its rows and the background beyond
    // them, up to Reach + 7 rows above, must still be held.
    static constexpr int RingRows = 32;
    static_assert(RingRows >= 2 * Reach + 8 && (RingRows & (RingRows - 1)) == 0);

    std::uint16_t* ringRow(int row) { return ring_.data() + static_cast<std::size_t>(row & (RingRows - 1)) * width_; }
    void scanAcross(const std::uint16_t* sums, int row);
    void scanDown(int row, const std::uint16_t* above, const std::uint16_t* below);
    void ridgeInColumn(int x, int row, int weight);
    void closeColumnRun(int x);
    void closeStaleRuns(int row);

    int width_;
    int height_;
    int rows_ = 0;
    int threshold_;
    int scannedDown_ = 0; // rows whose ridges down the columns have been looked for
    bool finished_ = false;
    std::optional<FittedLine> result_;
    std::vector<std::uint16_t> ring_;
    std::vector<OpenRun> open_;
    std::vector<std::int32_t> openColumns_;
    std::vector<std::int32_t> hits_;        // where the ridges of one row are, as they are looked for
    std::vector<LineSample> columnSamples_; // Kept a column
    std::vector<LineSample> rowSamples_;    // Kept a row
};
