#pragma once

#include <string>
#include <vector>

#include "ui/spectrum_plot/drawing_surface.h"

namespace mirelo {

// Remembers every drawing operation in order instead of painting.
class RecordingSurface final : public DrawingSurface {
public:
    enum class Kind { Cls, DrawWidth, Line, LineTo, Box, PSet, Print };
    struct Op {
        Kind kind;
        float x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // LineTo, PSet and Print use x1, y1 only
        Rgb colour{};
        int width = 0;  // DrawWidth only
        std::string text;  // Print only
    };

    void Cls() override { ops.push_back({Kind::Cls, 0, 0, 0, 0, {}, 0, {}}); }
    void SetDrawWidth(int pixels) override { ops.push_back({Kind::DrawWidth, 0, 0, 0, 0, {}, pixels, {}}); }
    void Line(float x1, float y1, float x2, float y2, Rgb colour) override {
        ops.push_back({Kind::Line, x1, y1, x2, y2, colour, 0, {}});
    }
    void LineTo(float x, float y, Rgb colour) override { ops.push_back({Kind::LineTo, x, y, 0, 0, colour, 0, {}}); }
    void Box(float x1, float y1, float x2, float y2, Rgb colour) override {
        ops.push_back({Kind::Box, x1, y1, x2, y2, colour, 0, {}});
    }
    void PSet(float x, float y, Rgb colour) override { ops.push_back({Kind::PSet, x, y, 0, 0, colour, 0, {}}); }
    void Print(float x, float y, const std::string& text) override {
        ops.push_back({Kind::Print, x, y, 0, 0, {}, 0, text});
    }

    std::vector<Op> ops;
};

}  // namespace mirelo
