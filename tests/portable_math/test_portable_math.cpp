// The platform-independent exp, log and pow: the special values the C standard fixes, and the error
// against the x87 extended-precision functions over the ranges the engine passes them.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>

#include "portable_math/portable_math.h"

namespace mirelo::portable {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Special {
    const char* what;
    double got, want;  // want NaN: any NaN
};

TEST(PortableMath, SpecialValuesAreTheStandardOnes) {
    const Special cases[] = {
        {"exp(0)", Exp(0), 1},          {"exp(-0)", Exp(-0.0), 1},      {"exp(-inf)", Exp(-kInf), 0},
        {"exp(inf)", Exp(kInf), kInf},  {"exp(710)", Exp(710), kInf},   {"exp(-746)", Exp(-746), 0},
        {"exp(nan)", Exp(kNaN), kNaN},  {"log(1)", Log(1), 0},          {"log(0)", Log(0), -kInf},
        {"log(-1)", Log(-1), kNaN},     {"log(inf)", Log(kInf), kInf},  {"log(nan)", Log(kNaN), kNaN},
        {"pow(x,0)", Pow(kNaN, 0), 1},  {"pow(1,y)", Pow(1, kNaN), 1},  {"pow(2,10)", Pow(2, 10), 1024},
        {"pow(0.5,-3)", Pow(0.5, -3), 8}, {"pow(-2,3)", Pow(-2, 3), -8}, {"pow(-8,1/3)", Pow(-8, 1.0 / 3), kNaN},
        {"pow(0,-1)", Pow(0, -1), kInf}, {"pow(10,400)", Pow(10, 400), kInf}, {"pow(9,0.5)", Pow(9, 0.5), 3},
    };
    for (const auto& c : cases) {
        if (std::isnan(c.want)) {
            EXPECT_TRUE(std::isnan(c.got)) << c.what << " = " << c.got;
        } else {
            EXPECT_EQ(c.got, c.want) << c.what;
        }
    }
}

// Error in units in the last place of the result.
double UlpsOff(double got, long double exact) {
    const double nearest = static_cast<double>(exact);
    const double ulp = std::nextafter(std::fabs(nearest), kInf) - std::fabs(nearest);
    return static_cast<double>(std::fabs(static_cast<long double>(got) - exact) / ulp);
}

struct Sweep {
    const char* name;
    std::function<double(double, double)> got;
    std::function<long double(long double, long double)> exact;
    double lowX, highX, lowY, highY;
    double bound;  // the routines' proven worst case, in ulps
};

TEST(PortableMath, ErrorsStayWithinTheRoutinesBounds) {
    const Sweep sweeps[] = {
        {"exp, the spectrum's attenuations", [](double x, double) { return Exp(x); },
         [](long double x, long double) { return std::exp(x); }, -700, 700, 0, 0, 0.52},
        {"exp, near 0", [](double x, double) { return Exp(x); },
         [](long double x, long double) { return std::exp(x); }, -1e-6, 1e-6, 0, 0, 0.52},
        {"log", [](double x, double) { return Log(x); },
         [](long double x, long double) { return std::log(x); }, 1e-6, 1e6, 0, 0, 0.52},
        {"log, near 1", [](double x, double) { return Log(x); },
         [](long double x, long double) { return std::log(x); }, 0.9, 1.1, 0, 0, 0.52},
        {"pow, energies between table rows", [](double x, double y) { return Pow(x, y); },
         [](long double x, long double y) { return std::pow(x, y); }, 0.01, 100, -2, 2, 0.55},
    };
    std::mt19937_64 random(7);
    for (const auto& s : sweeps) {
        std::uniform_real_distribution<double> pickX(s.lowX, s.highX), pickY(s.lowY, s.highY);
        double worst = 0;
        for (int n = 0; n < 100000; ++n) {
            const double x = pickX(random), y = pickY(random);
            worst = std::max(worst, UlpsOff(s.got(x, y), s.exact(x, y)));
        }
        EXPECT_LE(worst, s.bound) << s.name;
    }
}

}  // namespace
}  // namespace mirelo::portable
