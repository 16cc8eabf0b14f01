#include "ui/spectrum_window/form6.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>

#include "ui/platform/dialogs.h"
#include "ui/platform/language.h"
#include "ui/platform/screen_fit.h"
#include "ui/platform/look.h"
#include "ui/platform/message_box.h"
#include "ui/platform/messages.h"
#include "ui/spectrum_plot/spectrum_export.h"
#include "ui/spectrum_plot/spectrum_plot.h"

namespace mirelo {
namespace {
// The line of beam quality below the designed controls: its height and its top, in twips.
constexpr int kQualityLineTwips = 420;
constexpr int kQualityLineTop = 8370;
// The drawing area inside Picture3's 2-pixel sunken border: 13635 x 7035 twips.
constexpr int kImageWidth = 13635 / look::kTwipsPerPixel;
constexpr int kImageHeight = 7035 / look::kTwipsPerPixel;

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, const QRect& geometry) {
    auto* b = new QPushButton(parent);
    b->setObjectName(QLatin1String(name));
    i18n::TrText(b, "Form6", caption);
    i18n::Tr(b, "accessibleName", "Form6", caption);
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
    i18n::Tr(this, "windowTitle", "Form6", QT_TRANSLATE_NOOP("Form6", "X-ray spectrum"));
    // The title-bar close ends this window; the next plot builds a new one.
    setAttribute(Qt::WA_DeleteOnClose);
    // An open spectrum window never keeps the program running once the main window has closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    look::FixWindowColours(this);
    // The designed window, one line taller for the beam quality under its controls, on a page that
    // scrolls when the screen cannot hold the window whole.
    const QSize designed(look::Px(14250), look::Px(8535 + kQualityLineTwips));
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("Form6Page"));
    page->setFixedSize(designed);
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->addWidget(ScrollingPage(page));

    Picture3 = new PlotPicture(page);
    Picture3->setObjectName(QStringLiteral("Picture3"));
    Picture3->setGeometry(look::TwipsRect(240, 240, 13695, 7095));
    Picture3->setFocusPolicy(Qt::TabFocus);

    Command1 = MakeButton(page, "Command1", QT_TRANSLATE_NOOP("Form6", "Close"), look::TwipsRect(12240, 7680, 1335, 615));

    Label1 = new QLabel(page);
    i18n::TrText(Label1, "Form6", QT_TRANSLATE_NOOP("Form6", "入射Ｘ線スペクトル"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(look::TwipsRect(5160, 7680, 3240, 540));
    Label1->setFont(look::Meiryo(18));
    QPalette pal = Label1->palette();
    pal.setColor(QPalette::WindowText, look::kBlue);
    Label1->setPalette(pal);

    Command2 = MakeButton(page, "Command2", QT_TRANSLATE_NOOP("Form6", "Data save"), look::TwipsRect(360, 7680, 2175, 615));
    Command2->setEnabled(false);  // until a spectrum is drawn

    QualityLine = new QLabel(page);
    QualityLine->setObjectName(QStringLiteral("QualityLine"));
    QualityLine->setGeometry(look::TwipsRect(240, kQualityLineTop, 13695, 405));
    QualityLine->setFont(look::Meiryo(10.5));
    QualityLine->setTextInteractionFlags(Qt::TextSelectableByMouse);  // a physicist copies it into a record
    QualityLine->setAccessibleDescription(QStringLiteral("線質"));  // the name is the line itself

    setTabOrder(Picture3, Command1);
    setTabOrder(Command1, Command2);

    connect(Command1, &QPushButton::clicked, this, &Form6::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form6::Command2_Click);
    AddPlotCommands();
    FitOnScreen(this, designed);
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
    Picture3->drawing().Cls();  // the image and the record that "save the plot" writes
    QualityLine->clear();
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
    return WriteFileAtomically(path, QByteArray(text.data(), static_cast<qsizetype>(text.size())), reason);
}

}  // namespace mirelo
