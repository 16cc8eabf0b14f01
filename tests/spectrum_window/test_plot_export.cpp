// The plot on screen saved as PNG and SVG from the spectrum window.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include "ui/platform/dialogs.h"
#include "ui/platform/message_box.h"
#include "test_support.h"
#include "ui/state/shared_state.h"

namespace mirelo {
namespace {

class PlotExport : public ::testing::Test {
protected:
    void SetUp() override {
        MessageBox::setScripted(true);
        Dialogs::setScripted(true);
        // A hump with a line at 50 keV, nothing above 100 keV.
        BinArray s{};
        for (int i = 2; i <= 200; ++i) {
            s[i] = 0.2 + 0.002 * i;
        }
        s[100] = 1.0;
        state.Spectrum = s;
    }
    void TearDown() override {
        delete holder.Instance();
        MessageBox::setScripted(false);
        Dialogs::setScripted(false);
    }
    // Saves the plot through the window's command into `name`; returns the file's bytes.
    QByteArray Save(const QString& name) {
        Form6* f = holder.Instance();
        const QString path = dir.filePath(name);
        Dialogs::queueFileName(path);
        f->SavePlotAction->trigger();
        EXPECT_EQ(Dialogs::takeAsked().size(), 1);
        const auto shown = MessageBox::takeShown();
        EXPECT_EQ(shown.size(), 1);
        EXPECT_EQ(shown.value(0).kind, MessageBox::Kind::Information) << shown.value(0).text.toStdString();
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }

    Module1 state;
    SpectrumWindowHolder holder{state};  // as the main window holds it
    QTemporaryDir dir;
};

TEST_F(PlotExport, PngIsTheImageOnScreen) {
    holder.Draw();
    const QImage png = QImage::fromData(Save(QStringLiteral("plot.png")), "PNG");
    EXPECT_EQ(png.convertToFormat(QImage::Format_RGB32), holder.Instance()->Picture3->surface().image());
}

TEST_F(PlotExport, SvgParsesAndDrawsTheSamePlot) {
    holder.Draw();
    const QByteArray svg = Save(QStringLiteral("plot.svg"));
    // Well-formed XML, an SVG root and the axis texts as text, not pixels.
    QXmlStreamReader xml(svg);
    QString root;
    QStringList texts;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement) {
            if (root.isEmpty()) {
                root = xml.name().toString();
            }
            if (xml.name() == QLatin1String("text")) {
                texts << xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            }
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(root, QStringLiteral("svg"));
    EXPECT_TRUE(texts.contains(QStringLiteral("Photon energy in keV"))) << texts.join(u'|').toStdString();

    // Rendered at the size of the screen's image, it shows the red curve's highest point where the
    // screen shows it: the 50 keV line at the top of the frame.
    QSvgRenderer renderer(svg);
    ASSERT_TRUE(renderer.isValid());
    const QImage screen = holder.Instance()->Picture3->surface().image();
    QImage drawn(screen.size(), QImage::Format_RGB32);
    drawn.fill(Qt::white);
    QPainter p(&drawn);
    renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(screen.size())));
    p.end();
    const auto topRed = [](const QImage& image) {
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.red() > 200 && c.green() < 100 && c.blue() < 100) {
                    return QPoint(x, y);
                }
            }
        }
        return QPoint(-1, -1);
    };
    const QPoint a = topRed(screen);
    const QPoint b = topRed(drawn);
    ASSERT_NE(a, QPoint(-1, -1));
    EXPECT_LE((a - b).manhattanLength(), 3) << a.x() << "," << a.y() << " vs " << b.x() << "," << b.y();
}

TEST_F(PlotExport, NothingToSaveBeforeAPlot) {
    holder.Get();
    holder.Instance()->SavePlotAction->trigger();
    EXPECT_TRUE(Dialogs::takeAsked().isEmpty());
    EXPECT_EQ(MessageBox::takeShown().size(), 1);
}

}  // namespace
}  // namespace mirelo
