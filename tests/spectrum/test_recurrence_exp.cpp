// The exponential the recurrence restarts from, against the x87 extended-precision one, over the
// arguments the spectrum passes it; and its lanes against the scalar version.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "spectrum/recurrence_exp.h"

namespace mirelo::recurrence {
namespace {

// Relative error against expl, in units of roundoff (2^-53).
double UnitsOff(double x) {
    const long double exact = std::exp(static_cast<long double>(x));
    const long double got = Exp(x);
    return static_cast<double>(std::fabs((got - exact) / exact) / std::ldexp(1.0L, -53));
}

struct Range {
    const char* name;
    double low, high;
};

// Where the error bound is proven: every argument from the floor to 709, and the places where the
// reduction changes k (odd multiples of ln 2 / 2) or r is largest.
const Range kRanges[] = {
    {"AroundZero", -1e-3, 1e-3},   {"Reduced", -0.35, 0.35},        {"Small", -5, 5},
    {"Decaying", -705, 0},         {"Growing", 0, 709},             {"NearFloor", -705, -690},
    {"NearOverflow", 690, 709},    {"RoundoffSized", -1e-15, 1e-15},
};

class ExpAccuracy : public ::testing::TestWithParam<Range> {};

TEST_P(ExpAccuracy, WithinThreeUnitsOfRoundoff) {
    const Range& range = GetParam();
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> pick(range.low, range.high);
    double worst = 0, worstAt = 0;
    for (int n = 0; n < 200000; ++n) {
        const double x = pick(random);
        const double off = UnitsOff(x);
        if (off > worst) {
            worst = off;
            worstAt = x;
        }
    }
    // Arguments at which the rounded quotient x / ln 2 changes, where |r| is largest.
    for (int k = -1016; k <= 1022; ++k) {
        const double edge = (k + 0.5) * 0.6931471805599453;
        for (double x : {std::nextafter(edge, -1e9), edge, std::nextafter(edge, 1e9)}) {
            if (x >= range.low && x <= range.high && UnitsOff(x) > worst) {
                worst = UnitsOff(x);
                worstAt = x;
            }
        }
    }
    EXPECT_LE(worst, 3.0) << "at " << worstAt;
}

INSTANTIATE_TEST_SUITE_P(Arguments, ExpAccuracy, ::testing::ValuesIn(kRanges),
                         [](const ::testing::TestParamInfo<Range>& p) { return std::string(p.param.name); });

TEST(Exp, OutsideTheProvenRange) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double x, expected;
    } cases[] = {
        {0, 1}, {-705.5, 0}, {-1e5, 0}, {-inf, 0}, {-746, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Exp(c.x), c.expected) << c.x;
    }
    EXPECT_TRUE(std::isnan(Exp(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_GT(Exp(-704.9), 0);
    EXPECT_TRUE(std::isfinite(Exp(709)));
}

typedef double Quad __attribute__((vector_size(4 * sizeof(double))));

TEST(Exp, EveryLaneAsTheScalar) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> pick(-720, 709);
    for (int n = 0; n < 10000; ++n) {
        Quad x, y;
        for (int k = 0; k < 4; ++k) {
            x[k] = pick(random);
        }
        ExpInto(y, x);
        for (int k = 0; k < 4; ++k) {
            const double scalar = Exp(x[k]);
            EXPECT_EQ(std::memcmp(&scalar, &y[k], sizeof scalar), 0) << x[k];
        }
    }
}

}  // namespace
}  // namespace mirelo::recurrence
