// The spectrum window: the real image, the refusals through the shared store, and its lifecycle.
#include <gtest/gtest.h>

#include <QPointer>
#include <QTest>

#include "ui/platform/message_box.h"
#include "test_support.h"
#include "ui/state/shared_state.h"
#include "ui/spectrum_window/draw_spectrum.h"
#include "ui/spectrum_window/form6.h"

namespace mirelo {
namespace {

using test::App;

const QColor kWhite(255, 255, 255);

class SpectrumWindow : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        MessageBox::setScripted(true);
    }
    void TearDown() override {
        delete holder.Instance();
        MessageBox::setScripted(false);
    }
    // An isolated largest bin at 50 keV (bin 100) on a broad hump; nothing above 80 keV.
    void StoreSpike() {
        BinArray s{};
        for (int i = 2; i <= 160; ++i) {
            s[i] = 0.25 + 0.001 * i;
        }
        s[100] = 1.0;
        state.Spectrum = s;
    }
    QImage Picture() { return holder.Instance()->Picture3->surface().image(); }

    Module1 state;
    SpectrumWindowHolder holder{state};  // as the main window holds it
};

QColor At(const QImage& image, int x, int y) { return image.pixelColor(x, y); }

TEST_F(SpectrumWindow, ImageColoursAndCrispLines) {
    StoreSpike();
    holder.Draw();
    ASSERT_NE(holder.Instance(), nullptr);
    const QImage img = Picture();
    ASSERT_EQ(img.size(), QSize(909, 469));

    // Background: outside the frame and inside it between grid lines.
    EXPECT_EQ(At(img, 5, 5), kWhite);
    EXPECT_EQ(At(img, 900, 460), kWhite);
    EXPECT_EQ(At(img, 170, 40), kWhite);

    // The frame: x 1000..5500 -> 151.5..833.25 px, y 100..2100 -> 18.76..393.96 px. A column crossing
    // the top edge away from grid lines and curve has exactly two black pixels and no grey fringe.
    const auto rowsOf = [&img](int x, int from, int to, const QColor& except) {
        std::vector<int> rows;
        for (int y = from; y <= to; ++y) {
            if (At(img, x, y) != except) {
                rows.push_back(y);
            }
        }
        return rows;
    };
    const std::vector<int> top = rowsOf(700, 5, 45, kWhite);  // the first grid row is at 56
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[1], top[0] + 1);
    EXPECT_NEAR(top[0], 18.76, 1.5);
    for (int y : top) {
        EXPECT_EQ(At(img, 700, y), QColor(0, 0, 0));
    }
    // The left edge, read along a row free of grid lines and curve.
    int blackCols = 0;
    for (int x = 140; x <= 165; ++x) {
        const QColor c = At(img, x, 100);
        if (c != kWhite) {
            EXPECT_EQ(c, QColor(0, 0, 0)) << x;
            ++blackCols;
        }
    }
    EXPECT_EQ(blackCols, 2);

    // A horizontal step of the hump at 70 keV (bin 140): two pure red pixels, nothing in between.
    const double y140 = 2100.0 - (0.25 + 0.14) * 2000.0;  // vmax is 1
    const int xBin140 = static_cast<int>((1000 + 15 * 140) * 909.0 / 6000.0);
    std::vector<int> step;
    for (int y = 40; y <= 390; ++y) {
        const QColor c = At(img, xBin140, y);
        if (c == QColor(255, 0, 0)) {
            step.push_back(y);
        } else {
            ASSERT_TRUE(c == kWhite || c == QColor(128, 128, 128)) << y;  // background or grid, no fringe
        }
    }
    ASSERT_EQ(step.size(), 2u) << "column " << xBin140;
    EXPECT_EQ(step[1], step[0] + 1);
    EXPECT_NEAR(step[0], y140 * 469.0 / 2500.0, 1.5);

    // The largest bin's step lies on the frame top, which is drawn over it in black; its risers
    // reach down from there, red, to the neighbouring steps.
    const int xPeak = static_cast<int>(std::lround((1000 + 15 * 100) * 909.0 / 6000.0));
    for (int y : top) {
        EXPECT_EQ(At(img, xPeak, y), QColor(0, 0, 0));
    }
    const int yUnder = top[1] + 10;
    // The step is 2.27 pixels wide, so its two 2-pixel risers lie side by side: four red columns
    // right under the pixel of the largest bin.
    std::vector<int> redCols;
    for (int x = xPeak - 6; x <= xPeak + 6; ++x) {
        if (At(img, x, yUnder) == QColor(255, 0, 0)) {
            redCols.push_back(x);
        }
    }
    ASSERT_EQ(redCols.size(), 4u);
    EXPECT_EQ(redCols.back() - redCols.front(), 3);
    EXPECT_EQ(At(img, xPeak, yUnder), QColor(255, 0, 0));
    EXPECT_EQ(At(img, xPeak - 6, yUnder), kWhite);

    // No colour other than white, black, grey, red and the anti-aliased text greys.
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = At(img, x, y);
            const bool red = c == QColor(255, 0, 0);
            ASSERT_TRUE(red || (c.red() == c.green() && c.green() == c.blue())) << x << "," << y;
        }
    }
}

TEST_F(SpectrumWindow, TwoPlotsGiveIdenticalImagesAndNothingOfAnEarlierPlotRemains) {
    StoreSpike();
    holder.Draw();
    const QImage first = Picture();
    holder.Draw();
    EXPECT_EQ(Picture(), first);

    const BinArray spike = state.Spectrum;
    BinArray other{};
    for (int i = 2; i <= 240; ++i) {
        other[i] = 1.0 / i;
    }
    state.Spectrum = other;
    holder.Draw();
    EXPECT_NE(Picture(), first);
    state.Spectrum = spike;
    holder.Draw();
    EXPECT_EQ(Picture(), first);
}

TEST_F(SpectrumWindow, TextIsDrawnInBlackAtItsTopLeftCorner) {
    StoreSpike();
    holder.Draw();
    const QImage img = Picture();
    // "Relative" starts at (200, 500) -> (30.3, 93.8) px: ink just right of and below that corner,
    // none above or to its left.
    const auto inkIn = [&img](const QRect& r) {
        int ink = 0;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                ink += At(img, x, y).lightness() < 128 ? 1 : 0;
            }
        }
        return ink;
    };
    EXPECT_GT(inkIn(QRect(30, 94, 60, 22)), 30);
    EXPECT_EQ(inkIn(QRect(0, 70, 29, 60)), 0);
    EXPECT_EQ(inkIn(QRect(25, 60, 80, 33)), 0);
}

TEST_F(SpectrumWindow, RefusalShowsNoWindow) {
    state.Spectrum = {};
    holder.Draw();
    auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, MessageBox::Kind::Warning);
    EXPECT_EQ(shown[0].text, QStringLiteral(" スペクトルデータがありません  "));
    EXPECT_EQ(holder.Instance(), nullptr);
}

// The window and "Data save" never disagree with the spectrum: a refused plot leaves the window
// blank with nothing to save; a new spectrum is drawn on an open window, and a window that cannot
// show it (hidden, or no photons) is blanked and hidden.
TEST_F(SpectrumWindow, TheWindowFollowsTheSpectrum) {
    QImage blank(909, 469, QImage::Format_RGB32);
    blank.fill(Qt::white);
    StoreSpike();
    holder.Draw();
    Form6* f = holder.Instance();
    const QImage spike = Picture();
    EXPECT_TRUE(f->Command2->isEnabled());

    const BinArray spikeSpectrum = state.Spectrum;
    state.Spectrum = {};
    holder.Draw();
    EXPECT_EQ(MessageBox::takeShown().size(), 1);
    EXPECT_EQ(Picture(), blank);
    EXPECT_FALSE(f->Command2->isEnabled());
    EXPECT_FALSE(f->Plotted().has_value());

    state.Spectrum = spikeSpectrum;
    holder.SpectrumChanged();  // open: drawn at once
    EXPECT_EQ(Picture(), spike);
    EXPECT_TRUE(f->isVisible() && f->Command2->isEnabled());
    for (const bool open : {true, false}) {
        f->setVisible(open);
        state.Spectrum = open ? BinArray{} : spikeSpectrum;
        holder.SpectrumChanged();
        EXPECT_FALSE(f->isVisible()) << open;
        EXPECT_EQ(Picture(), blank) << open;
        EXPECT_FALSE(f->Command2->isEnabled()) << open;
        holder.Draw();  // whatever it was, the next plot shows it again
        MessageBox::takeShown();
    }
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(Picture(), spike);
}

// Esc is "Close"; Enter presses the focused button; the focused picture shows a focus frame.
TEST_F(SpectrumWindow, Keyboard) {
    StoreSpike();
    holder.Draw();
    Form6* f = holder.Instance();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f));
    f->Command1->setFocus();
    const QImage unfocused = f->Picture3->grab().toImage();
    f->Picture3->setFocus();
    EXPECT_NE(f->Picture3->grab().toImage(), unfocused);
    QTest::keyClick(f->Picture3, Qt::Key_Escape);
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(holder.Instance(), f);
    holder.Show();
    QTest::keyClick(f->Command1, Qt::Key_Return);
    EXPECT_FALSE(f->isVisible());
}

TEST_F(SpectrumWindow, LayoutAndCaptions) {
    Form6& f = holder.Get();
    EXPECT_FALSE(f.isVisible()) << "created hidden";
    EXPECT_EQ(f.windowTitle(), QStringLiteral("X-ray spectrum"));
    EXPECT_EQ(f.size(), QSize(950, 569 + 28));  // the designed size and the beam-quality line
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_FALSE(f.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(f.windowModality(), Qt::NonModal);
    EXPECT_EQ(f.Picture3->geometry(), QRect(16, 16, 913, 473));
    EXPECT_EQ(f.Picture3->contentsRect().size(), QSize(909, 469));
    EXPECT_EQ(f.Label1->text(), QStringLiteral("入射Ｘ線スペクトル"));
    EXPECT_EQ(f.Label1->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(f.Command1->accessibleName(), QStringLiteral("Close"));
    EXPECT_EQ(f.Command2->accessibleName(), QStringLiteral("Data save"));
    EXPECT_EQ(f.Command1->palette().color(QPalette::Button), QColor(255, 255, 192));
    EXPECT_FALSE(f.Command2->isEnabled()) << "nothing to save yet";
    // Tab order: Picture3, Close, Data save (the label takes no focus).
    const auto nextTabStop = [](QWidget* w) {
        do {
            w = w->nextInFocusChain();
        } while (!(w->focusPolicy() & Qt::TabFocus));
        return w;
    };
    EXPECT_EQ(nextTabStop(f.Picture3), f.Command1);
    EXPECT_EQ(nextTabStop(f.Command1), f.Command2);
    EXPECT_EQ(f.Label1->focusPolicy(), Qt::NoFocus);
    // A new window's surface is blank white.
    const QImage img = f.Picture3->surface().image();
    EXPECT_EQ(img.convertToFormat(QImage::Format_RGB32), [&img] {
        QImage white(img.size(), QImage::Format_RGB32);
        white.fill(Qt::white);
        return white;
    }());
}

TEST_F(SpectrumWindow, DrawingWhileHiddenIsThereWhenShown) {
    Form6& f = holder.Get();
    f.Picture3->surface().SetDrawWidth(2);
    f.Picture3->surface().Line(1000, 1000, 5000, 1000, {255, 0, 0});
    holder.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.Command1->setFocus();  // no focus frame over the picture
    const QImage shown = f.Picture3->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect inner = f.Picture3->contentsRect();
    EXPECT_EQ(shown.copy(inner), f.Picture3->surface().image().convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(shown.pixelColor(inner.left() + 400, inner.top() + 187), QColor(255, 0, 0));
}

TEST_F(SpectrumWindow, CloseHidesAndKeepsTheTitleBarCloseDiscards) {
    StoreSpike();
    const int eventsBefore = PendingEventsProcessed();
    holder.Draw();
    EXPECT_EQ(PendingEventsProcessed(), eventsBefore + 1);
    QPointer<Form6> first = holder.Instance();
    ASSERT_FALSE(first.isNull());
    EXPECT_TRUE(first->isVisible());
    const QImage picture = Picture();

    // "Close" only hides: same window, same picture.
    QTest::mouseClick(first->Command1, Qt::LeftButton);
    EXPECT_FALSE(first->isVisible());
    ASSERT_EQ(holder.Instance(), first.data());
    EXPECT_EQ(Picture(), picture);

    // The next plot shows the same window again; a second call keeps it shown.
    holder.Draw();
    EXPECT_EQ(holder.Instance(), first.data());
    EXPECT_TRUE(first->isVisible());
    holder.Show();
    EXPECT_TRUE(first->isVisible());

    // The title-bar close discards the window.
    first->close();
    QTRY_VERIFY(first.isNull());
    EXPECT_EQ(holder.Instance(), nullptr);

    // Shown without a plot (the main window does this after a refused plot): blank and new.
    holder.Show();
    ASSERT_NE(holder.Instance(), nullptr);
    EXPECT_TRUE(holder.Instance()->isVisible());
    QImage white(909, 469, QImage::Format_RGB32);
    white.fill(Qt::white);
    EXPECT_EQ(Picture(), white);

    // And the next plot draws into it.
    holder.Draw();
    EXPECT_EQ(Picture(), picture);
}

TEST_F(SpectrumWindow, WindowDestroyedWhilePendingEventsRunDoesNotBreakThePlot) {
    StoreSpike();
    holder.Draw();
    QPointer<Form6> first = holder.Instance();
    const QImage full = Picture();
    // Runs inside the plot's pending-events step.
    QMetaObject::invokeMethod(&App(), [this] { delete holder.Instance(); }, Qt::QueuedConnection);
    holder.Draw();
    EXPECT_TRUE(first.isNull());
    ASSERT_NE(holder.Instance(), nullptr);
    EXPECT_TRUE(holder.Instance()->isVisible());
    // The new window got the curve and frame; the grid went with the old one.
    const QImage img = Picture();
    EXPECT_NE(img, full);
    EXPECT_EQ(img.pixelColor(700, 19), full.pixelColor(700, 19));
}

}  // namespace
}  // namespace mirelo
