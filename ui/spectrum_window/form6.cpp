#include "ui/spectrum_window/form6.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QSaveFile>

#include "app/platform/look.h"
#include "app/platform/message_box.h"
#include "app/platform/messages.h"
#include "ui/spectrum_window/spectrum_export.h"
#include "ui/spectrum_window/spectrum_plot.h"

namespace mirelo {
namespace {
// The drawing area inside Picture3's 2-pixel sunken border: 13635 x 7035 twips.
constexpr int kImageWidth = 13635 / look::kTwipsPerPixel;
constexpr int kImageHeight = 7035 / look::kTwipsPerPixel;

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setAccessibleName(caption);
    b->setGeometry(geometry);
    b->setFont(look::Meiryo(15.75));
    look::FixColours(b, QPalette::Button, look::kButtonFace, QPalette::ButtonText, Qt::black);
    b->setAutoFillBackground(true);
    b->setAutoDefault(true);  // Enter presses the focused button
    return b;
}
}  // namespace

PlotPicture::PlotPicture(QWidget* parent)
    : QFrame(parent), surface_(kImageWidth, kImageHeight, kPlotUnitsX, kPlotUnitsY) {
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setLineWidth(2);
    surface_.changed = [this] { update(); };
}

void PlotPicture::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter p(this);
    p.drawImage(contentsRect().topLeft(), surface_.image());
    if (hasFocus()) {
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.drawRect(contentsRect().adjusted(1, 1, -2, -2));
    }
}

Form6::Form6() : QWidget(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("X-ray spectrum"));
    // The title-bar close ends this window; the next plot builds a new one.
    setAttribute(Qt::WA_DeleteOnClose);
    // An open spectrum window never keeps the program running once the main window has closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(look::Px(14250), look::Px(8535));
    look::FixWindowColours(this);

    Picture3 = new PlotPicture(this);
    Picture3->setObjectName(QStringLiteral("Picture3"));
    Picture3->setGeometry(look::TwipsRect(240, 240, 13695, 7095));
    Picture3->setFocusPolicy(Qt::TabFocus);

    Command1 = MakeButton(this, "Command1", QStringLiteral("Close"), look::TwipsRect(12240, 7680, 1335, 615));

    Label1 = new QLabel(QStringLiteral("入射Ｘ線スペクトル"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(look::TwipsRect(5160, 7680, 3240, 540));
    Label1->setFont(look::Meiryo(18));
    QPalette pal = Label1->palette();
    pal.setColor(QPalette::WindowText, look::kBlue);
    Label1->setPalette(pal);

    Command2 = MakeButton(this, "Command2", QStringLiteral("Data save"), look::TwipsRect(360, 7680, 2175, 615));
    Command2->setEnabled(false);  // until a spectrum is drawn

    setTabOrder(Picture3, Command1);
    setTabOrder(Command1, Command2);

    connect(Command1, &QPushButton::clicked, this, &Form6::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form6::Command2_Click);
}

void Form6::Command1_Click() { hide(); }

void Form6::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        Command1_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Form6::SetPlotted(const BinArray& spectrum) {
    plotted_ = spectrum;
    Command2->setEnabled(true);
}

void Form6::ClearPlot() {
    Picture3->surface().Cls();
    plotted_.reset();
    Command2->setEnabled(false);
}

void Form6::Command2_Click() {
    if (!plotted_) {
        return;
    }
    const QString name = QString::fromLatin1(kSpectrumFileName);
    QString reason;
    if (!SaveSpectrumFile(name, *plotted_, reason)) {
        MessageBox::warning(this, messages::kSaveFailed.arg(name, reason));
        return;
    }
    // The window may be closed by its title bar while pending events run.
    const QPointer<Form6> self(this);
    ProcessPendingEvents();
    MessageBox::information(self.data(), messages::kSpectrumSaved);
}

bool SaveSpectrumFile(const QString& path, const BinArray& spectrum, QString& reason) {
    const std::string text = SpectrumFileText(spectrum);
    QSaveFile file(path);
    // Unbuffered, so that every write reaches the file engine here and a short write (disk full,
    // file-size limit) is seen: a buffered QSaveFile in Qt 6.4 commits a file cut short at the
    // first partial write without reporting it.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        reason = file.errorString();
        return false;
    }
    const char* data = text.data();
    auto left = static_cast<qint64>(text.size());
    while (left > 0) {
        const qint64 written = file.write(data, left);
        if (written <= 0) {
            reason = file.errorString();
            file.cancelWriting();
            return false;
        }
        data += written;
        left -= written;
    }
    if (!file.commit()) {
        reason = file.errorString();
        return false;
    }
    return true;
}

}  // namespace mirelo
