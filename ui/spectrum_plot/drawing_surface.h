#pragma once

#include <cstdint>
#include <string>

namespace mirelo {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A picture area with its own logical coordinates (origin top-left, y downwards) and a retained
// image. Kept free of any toolkit so that the plot can be checked operation by operation.
class DrawingSurface {
public:
    virtual ~DrawingSurface() = default;

    // Erases the image to the background colour.
    virtual void Cls() = 0;
    // Pen width in pixels, used by every line, outline and point that follows.
    virtual void SetDrawWidth(int pixels) = 0;
    // Straight line between two points; (x2, y2) becomes the current position.
    virtual void Line(float x1, float y1, float x2, float y2, Rgb colour) = 0;
    // Straight line from the current position; (x, y) becomes the current position.
    virtual void LineTo(float x, float y, Rgb colour) = 0;
    // Outline of the rectangle with corners (x1, y1) and (x2, y2).
    virtual void Box(float x1, float y1, float x2, float y2, Rgb colour) = 0;
    // One point; it becomes the current position.
    virtual void PSet(float x, float y, Rgb colour) = 0;
    // Text (UTF-8) whose top-left corner is at (x, y).
    virtual void Print(float x, float y, const std::string& text) = 0;
};

}  // namespace mirelo
