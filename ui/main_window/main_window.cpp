#include "ui/main_window/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QSettings>
#include <cmath>

#include "ui/platform/field_reading.h"
#include "ui/platform/language.h"
#include "ui/platform/look.h"
#include "ui/platform/message_box.h"
#include "ui/platform/messages.h"
#include "ui/platform/screen_fit.h"
#include "common/dose_text.h"
#include "common/number_text.h"
#include "common/sci_format.h"
#include "dose/area_unit.h"
#include "dose/volume_dose.h"
#include "spectrum/input_rules.h"
#include "spectrum/spectrum.h"
#include "tables/table_error_text.h"
#include "tables/table_reader.h"
#include "ui/state/shared_state.h"

namespace mirelo {
namespace {

using namespace messages;

constexpr const char* kAreaUnitKey = "areaDose/unit";

void SetColor(QWidget* w, QPalette::ColorRole role, const QColor& color) {
    QPalette pal = w->palette();
    pal.setColor(role, color);
    w->setPalette(pal);
}

// A caption label: text, font, and optionally colour, background and border.
struct Caption {
    const char* name;
    const char* text;  // the source text, translated by i18n::Tr
    QRect geometry;
    QFont font;
    QColor color = Qt::black;
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
};

QLabel* MakeCaption(QWidget* parent, const Caption& c) {
    auto* l = look::Make<QLabel>(parent, c.name, c.geometry);
    // A label made empty shows data (the tube voltage, the photon count), which no translation touches.
    if (*c.text != '\0') {
        i18n::TrText(l, "Form1", c.text);
    }
    l->setFont(c.font);
    l->setAlignment(c.align);
    SetColor(l, QPalette::WindowText, c.color);
    return l;
}

void Bordered(QLabel* l, const QColor& background) {
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setLineWidth(1);
    l->setAutoFillBackground(true);
    SetColor(l, QPalette::Window, background);
}

QPushButton* MakeCommand(QWidget* parent, const char* name, const char* caption, QRect geometry, const QFont& font) {
    auto* b = look::Make<QPushButton>(parent, name, geometry);
    i18n::TrText(b, "Form1", caption);
    b->setFont(font);
    look::FixColours(b, QPalette::Button, look::kButtonFace, QPalette::ButtonText, Qt::black);
    b->setAutoDefault(true);  // Enter presses the focused button, as Space does
    return b;
}

// The three small images: the window icon (a beam falling on a body), Picture1 (an X-ray tube) and
// Picture2 (a patient).
QPixmap WindowIconImage() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 230, 80));
    p.drawPolygon(QPolygonF({QPointF(16, 3), QPointF(6, 22), QPointF(26, 22)}));
    p.setBrush(QColor(40, 80, 200));
    p.drawEllipse(QRectF(11, 1, 10, 6));
    p.setBrush(QColor(230, 150, 120));
    p.drawRoundedRect(QRectF(2, 22, 28, 8), 3, 3);
    return pm;
}

QPixmap TubeImage() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::darkGray, 1));
    p.setBrush(QColor(200, 220, 240));
    p.drawEllipse(QRectF(3, 6, 26, 12));
    p.setBrush(QColor(90, 90, 90));
    p.drawRect(QRectF(8, 10, 5, 4));
    p.drawRect(QRectF(19, 10, 5, 4));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 210, 0));
    p.drawPolygon(QPolygonF({QPointF(16, 17), QPointF(9, 31), QPointF(23, 31)}));
    return pm;
}

QPixmap PatientImage() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(120, 60, 40), 1));
    p.setBrush(QColor(240, 190, 150));
    p.drawEllipse(QRectF(12, 2, 8, 8));
    p.drawRoundedRect(QRectF(9, 11, 14, 12), 3, 3);
    p.drawRect(QRectF(10, 23, 5, 8));
    p.drawRect(QRectF(17, 23, 5, 8));
    return pm;
}

// A picture box: shows its image, takes the keyboard focus in its place of the tab order and has no
// behaviour.
class PictureBox : public QWidget {
public:
    using QWidget::QWidget;
    void setImage(const QPixmap& image) {
        image_ = image;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawPixmap(QPoint((width() - image_.width()) / 2, (height() - image_.height()) / 2), image_);
        if (hasFocus()) {
            p.setPen(QPen(Qt::black, 1, Qt::DotLine));
            p.drawRect(rect().adjusted(0, 0, -1, -1));
        }
    }

private:
    QPixmap image_;
};

// Where the piece `prefix` of a one-line label ends, in the coordinates of the label's parent.
double TextEnd(const QLabel* host, const QString& prefix) {
    const QFontMetricsF fm(host->font());
    const QRect r = host->contentsRect();
    double start = r.left();
    const double whole = fm.horizontalAdvance(host->text());
    if (host->alignment() & Qt::AlignHCenter) {
        start += (r.width() - whole) / 2;
    } else if (host->alignment() & Qt::AlignRight) {
        start = r.right() + 1 - whole;
    }
    return host->x() + start + fm.horizontalAdvance(prefix);
}

// The middle dots and the superscript 2 are separate labels laid over a caption's blanks. The design
// places them for Meiryo's widths; with a substitute face they are moved onto the same blanks, so
// that "Gy・cm²" still reads as one unit.
void CentreOnGap(const QLabel* host, const QString& left, const QString& right, QLabel* mark) {
    const QString text = host->text();
    const double from = TextEnd(host, text.left(text.indexOf(left, 0, Qt::CaseInsensitive) + left.size()));
    const double to = TextEnd(host, text.left(text.indexOf(right, 0, Qt::CaseInsensitive)));
    mark->setAlignment(Qt::AlignCenter);
    mark->move(qRound((from + to) / 2 - mark->width() / 2.0), mark->y());
}

void PlaceAfter(const QLabel* host, const QString& word, QLabel* mark) {
    const QString text = host->text();
    mark->move(qRound(TextEnd(host, text.left(text.indexOf(word, 0, Qt::CaseInsensitive) + word.size()))) + 1, mark->y());
}

}  // namespace

void EndProgram() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        w->hide();
    }
    QCoreApplication::exit(0);
}

Form1::Form1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      drawSpectrum([this] { form6_.Draw(); }),
      showForm6([this] { form6_.Show(); }),
      endProgram(&EndProgram),
      form6_(state_) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("  Mirelo ( ") + kLongTitle + QStringLiteral(" )"));
    setWindowIcon(QIcon(WindowIconImage()));
    setFont(look::Meiryo(9.75));
    look::FixWindowColours(this);
    const QRect client = look::TwipsRect(0, 0, 17610, 8535);

    // The program's commands in a menu bar; the designed window sits unchanged below it.
    MenuBar = new QMenuBar(this);
    MenuBar->setObjectName(QStringLiteral("MenuBar"));
    ClientArea = new QWidget(this);
    ClientArea->setObjectName(QStringLiteral("ClientArea"));
    ClientArea->setFixedSize(client.size());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(MenuBar);
    // The designed window scrolls inside a window that a small or scaled screen cannot hold whole.
    layout->addWidget(ScrollingPage(ClientArea));
    QWidget* const area = ClientArea;

    const QFont meiryo1425 = look::Meiryo(14.25);
    const QFont meiryo1575 = look::Meiryo(15.75);
    const QFont meiryo2025 = look::Meiryo(20.25);
    const QFont meiryo975 = look::Meiryo(9.75);
    const QColor blue = look::kBlue;
    const Qt::Alignment centre = Qt::AlignCenter;

    // Title: the program's name in red over a yellow copy that shows as its shadow.
    Label27 = MakeCaption(area, {"Label27", "Mirelo", look::TwipsRect(1080, 120, 1785, 645),
                                 look::TimesNewRoman(27.75, true), QColor(255, 255, 0)});
    Label34 = MakeCaption(area, {"Label34", "Mirelo", look::TwipsRect(1050, 105, 1785, 645),
                                 look::TimesNewRoman(27.75, true), QColor(255, 0, 0)});
    Label45 = MakeCaption(area, {"Label45", "Patient Volume Dose Calculator", look::TwipsRect(3720, 240, 6690, 465),
                                 look::TimesNewRoman(20.25, true)});
    // The version a user can quote when reporting a result.
    const QString versionText = QStringLiteral("Mirelo ") + QStringLiteral(MIRELO_VERSION);
    Label45->setToolTip(versionText);
    Label34->setToolTip(versionText);

    // Headline.
    Label80 = MakeCaption(area, {"Label80", QT_TRANSLATE_NOOP("Form1", "Ｘ線透視撮影時の面積線量 ( Gy  cm  ) から"),
                                 look::TwipsRect(1440, 960, 8100, 615), meiryo2025, blue});
    Label17 = MakeCaption(area, {"Label17", QT_TRANSLATE_NOOP("Form1", "・"), look::TwipsRect(7200, 960, 405, 615), meiryo2025, blue});
    Label87 = MakeCaption(area, {"Label87", "2", look::TwipsRect(8190, 900, 195, 465), meiryo1575, blue});
    Label8 = MakeCaption(area, {"Label8", QT_TRANSLATE_NOOP("Form1", "患者容積線量 ( Kg  Gy = J ) を算定する"),
                                look::TwipsRect(2640, 1560, 7440, 615), meiryo2025, blue});
    Label18 = MakeCaption(area, {"Label18", QT_TRANSLATE_NOOP("Form1", "・"), look::TwipsRect(5970, 1560, 405, 615), meiryo2025, blue});
    Label16 = MakeCaption(area, {"Label16", "(Integral dose calculated using soft tissue absorbed dose)",
                                 look::TwipsRect(1920, 2160, 8175, 405), look::TimesNewRoman(18)});

    // Step markers.
    Label19 = MakeCaption(area, {"Label19", QT_TRANSLATE_NOOP("Form1", "①"), look::TwipsRect(600, 2880, 405, 615), meiryo2025, blue});
    Label20 = MakeCaption(area, {"Label20", QT_TRANSLATE_NOOP("Form1", "②"), look::TwipsRect(600, 6000, 405, 615), meiryo2025, blue});
    Label23 = MakeCaption(area, {"Label23", QT_TRANSLATE_NOOP("Form1", "③"), look::TwipsRect(6600, 3000, 405, 615), meiryo2025, blue});
    Label22 = MakeCaption(area, {"Label22", QT_TRANSLATE_NOOP("Form1", "④"), look::TwipsRect(6600, 4560, 405, 615), meiryo2025, blue});
    Label24 = MakeCaption(area, {"Label24", QT_TRANSLATE_NOOP("Form1", "⑤"), look::TwipsRect(6600, 6480, 405, 615), meiryo2025, blue});

    // Input block: caption, field, unit.
    Label61 = MakeCaption(area, {"Label61", QT_TRANSLATE_NOOP("Form1", "Ｘ線管および照射条件"), look::TwipsRect(1080, 3000, 3150, 465),
                                 meiryo1575});
    struct Row {
        QLabel** caption;
        const char* captionName;
        const char* captionText;
        int top;
        QLabel** unit;
        const char* unitName;
        const char* unitText;
    };
    const Row rows[] = {
        {&Label1, "Label1", QT_TRANSLATE_NOOP("Form1", " Ｘ線管ターゲット角度"), 3480, &Label9, "Label9", QT_TRANSLATE_NOOP("Form1", "度")},
        {&Label2, "Label2", QT_TRANSLATE_NOOP("Form1", " 固有フィルタ (Al 当量)"), 4080, &Label10, "Label10", "mm"},
        {&Label3, "Label3", QT_TRANSLATE_NOOP("Form1", " 付加フィルタ (アルミ)"), 4680, &Label11, "Label11", "mm"},
        {&Label4, "Label4", QT_TRANSLATE_NOOP("Form1", " 付加フィルタ（ 銅 ）"), 5280, &Label12, "Label12", "mm"},
        {&Label5, "Label5", QT_TRANSLATE_NOOP("Form1", "管電圧"), 6600, &Label13, "Label13", "kV"},
    };
    for (const Row& r : rows) {
        const int width = r.caption == &Label5 ? 2775 : 3375;
        *r.caption = MakeCaption(area, {r.captionName, r.captionText,
                                        look::TwipsRect(720, r.top, width, 495), meiryo1425, Qt::black, centre});
        Bordered(*r.caption, look::kCaptionBack);
        *r.unit = MakeCaption(area, {r.unitName, r.unitText, look::TwipsRect(5400, r.top, 735, 495),
                                     meiryo1425, Qt::black, centre});
        Bordered(*r.unit, look::kCaptionBack);
    }
    const struct {
        QLineEdit** field;
        const char* name;
        int top;
        const char* caption;
    } fields[] = {{&Text1, "Text1", 3480, QT_TRANSLATE_NOOP("Form1", "Ｘ線管ターゲット角度")},
                  {&Text2, "Text2", 4080, QT_TRANSLATE_NOOP("Form1", "固有フィルタ (Al 当量)")},
                  {&Text3, "Text3", 4680, QT_TRANSLATE_NOOP("Form1", "付加フィルタ (アルミ)")},
                  {&Text4, "Text4", 5280, QT_TRANSLATE_NOOP("Form1", "付加フィルタ（ 銅 ）")}};
    for (const auto& f : fields) {
        *f.field = look::Make<QLineEdit>(area, f.name, look::TwipsRect(4080, f.top, 1335, 495));
        (*f.field)->setFont(meiryo1425);
        (*f.field)->setAlignment(Qt::AlignCenter);
        i18n::Tr(*f.field, "accessibleName", "Form1", f.caption);
    }
    Label7 = MakeCaption(area, {"Label7", "", look::TwipsRect(3480, 6600, 1935, 495), meiryo1425, Qt::black, centre});
    Label7->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    i18n::Tr(Label7, "accessibleDescription", "Form1", QT_TRANSLATE_NOOP("Form1", "管電圧"));

    // Area dose.
    Label57 = MakeCaption(area, {"Label57", QT_TRANSLATE_NOOP("Form1", "面積線量計の表示値 (補正後)"),
                                 look::TwipsRect(7200, 4530, 4155, 465), meiryo1575});
    Label47 = MakeCaption(area, {"Label47", QT_TRANSLATE_NOOP("Form1", "面積空気カーマ積算値 P"), look::TwipsRect(7335, 4943, 3450, 465),
                                 meiryo1575, Qt::black, Qt::AlignRight | Qt::AlignVCenter});
    Label53 = MakeCaption(area, {"Label53", "KA", look::TwipsRect(10800, 5063, 270, 300), meiryo975});
    Text15 = look::Make<QLineEdit>(area, "Text15", look::TwipsRect(7920, 5520, 1695, 495));
    Text15->setFont(look::Meiryo(18));
    Text15->setAlignment(Qt::AlignCenter);
    i18n::Tr(Text15, "accessibleName", "Form1", QT_TRANSLATE_NOOP("Form1", "面積線量計の表示値 (補正後)"));
    Text15->installEventFilter(this);
    // The unit of the area dose, in the place of the fixed "Gy・cm²": the meters show several.
    AreaUnitBox = look::Make<QComboBox>(area, "AreaUnitBox", look::TwipsRect(9600, 5520, 1455, 495));
    AreaUnitBox->setFont(look::Meiryo(12));
    for (const auto& u : kAreaUnits) {
        AreaUnitBox->addItem(QString::fromUtf8(u.printed.data(), static_cast<qsizetype>(u.printed.size())),
                             static_cast<int>(u.unit));
    }
    look::FixColours(AreaUnitBox, QPalette::Button, look::kCaptionBack, QPalette::ButtonText, Qt::black);
    i18n::Tr(AreaUnitBox, "accessibleName", "Form1", QT_TRANSLATE_NOOP("Form1", "面積線量の単位"));
    {
        // The unit chosen last, as the meter in use shows it; Gy·cm² at first.
        const QString saved = QSettings().value(QLatin1String(kAreaUnitKey)).toString();
        for (const auto& u : kAreaUnits) {
            if (saved == QLatin1String(u.ascii.data(), static_cast<qsizetype>(u.ascii.size()))) {
                AreaUnitBox->setCurrentIndex(AreaUnitBox->findData(static_cast<int>(u.unit)));
            }
        }
    }

    // Commands.
    Command2 = MakeCommand(area, "Command2", QT_TRANSLATE_NOOP("Form1", "入射Ｘ線スペクトルを計算"), look::TwipsRect(7200, 2880, 4095, 735),
                           meiryo1575);
    Command9 = MakeCommand(area, "Command9", QT_TRANSLATE_NOOP("Form1", "Ｘ線スペクトルを表示"), look::TwipsRect(8520, 3720, 2775, 615),
                           look::Meiryo(12));
    Command3 = MakeCommand(area, "Command3", QT_TRANSLATE_NOOP("Form1", "患者容積線量を計算"), look::TwipsRect(7200, 6360, 4095, 735),
                           meiryo1575);
    Command5 = MakeCommand(area, "Command5", QT_TRANSLATE_NOOP("Form1", "管電圧設定"), look::TwipsRect(1080, 6000, 1815, 615), meiryo1425);
    i18n::Tr(Command5, "toolTip", "Form1", QT_TRANSLATE_NOOP("Form1", " 管電圧を設定する "));
    Command4 = MakeCommand(area, "Command4", "Clear", look::TwipsRect(15960, 7560, 975, 495),
                           look::TimesNewRoman(15.75));
    Command1 = MakeCommand(area, "Command1", QT_TRANSLATE_NOOP("Form1", "終了"), look::TwipsRect(720, 7440, 1215, 735), meiryo1425);
    Command1->setToolTip(QStringLiteral("  bye  "));

    // Results area.
    Label35 = MakeCaption(area, {"Label35", QT_TRANSLATE_NOOP("Form1", "計算結果"), look::TwipsRect(13920, 120, 1635, 615), meiryo2025,
                                 blue, centre});
    Label21 = MakeCaption(area, {"Label21", QT_TRANSLATE_NOOP("Form1", "全入射光子数"), look::TwipsRect(12600, 840, 1905, 465), meiryo1575,
                                 Qt::black, centre});
    Label14 = MakeCaption(area, {"Label14", "", look::TwipsRect(14640, 840, 1935, 495), meiryo1425, Qt::black, centre});
    Bordered(Label14, Qt::white);
    i18n::Tr(Label14, "accessibleDescription", "Form1", QT_TRANSLATE_NOOP("Form1", "全入射光子数"));
    Label26 = MakeCaption(area, {"Label26", QT_TRANSLATE_NOOP("Form1", "個"), look::TwipsRect(16680, 840, 345, 465), meiryo1575, Qt::black,
                                 centre});
    Label29 = MakeCaption(area, {"Label29", QT_TRANSLATE_NOOP("Form1", "照射部位の"), look::TwipsRect(12600, 1500, 1605, 465), meiryo1575,
                                 Qt::black, centre});
    Label30 = MakeCaption(area, {"Label30", QT_TRANSLATE_NOOP("Form1", "平均体厚 cm"), look::TwipsRect(12690, 1920, 1845, 465), meiryo1575,
                                 Qt::black, centre});
    Label31 = MakeCaption(area, {"Label31", QT_TRANSLATE_NOOP("Form1", "患者容積線量"), look::TwipsRect(15000, 1500, 1905, 465), meiryo1575,
                                 Qt::black, centre});
    Label32 = MakeCaption(area, {"Label32", "kg  Gy (J)", look::TwipsRect(15120, 1920, 1515, 465), meiryo1575,
                                 Qt::black, centre});
    Label33 = MakeCaption(area, {"Label33", QT_TRANSLATE_NOOP("Form1", "・"), look::TwipsRect(15435, 1920, 375, 465), meiryo1575,
                                 Qt::black, centre});
    List1 = look::Make<QListWidget>(area, "List1", look::TwipsRect(12600, 2400, 4335, 5175));
    List1->setFont(meiryo1575);
    i18n::Tr(List1, "accessibleName", "Form1", QT_TRANSLATE_NOOP("Form1", "患者容積線量"));

    PlaceMarks();

    // Pictures.
    auto* picture1 = look::Make<PictureBox>(area, "Picture1", look::TwipsRect(9960, 7680, 480, 480));
    picture1->setImage(TubeImage());
    auto* picture2 = look::Make<PictureBox>(area, "Picture2", look::TwipsRect(11760, 6240, 480, 480));
    picture2->setImage(PatientImage());
    Picture1 = picture1;
    Picture2 = picture2;
    Picture1->setFocusPolicy(Qt::TabFocus);
    Picture2->setFocusPolicy(Qt::TabFocus);
    i18n::Tr(Picture1, "accessibleName", "Form1", QT_TRANSLATE_NOOP("Form1", "Ｘ線管のアイコン"));
    i18n::Tr(Picture2, "accessibleName", "Form1", QT_TRANSLATE_NOOP("Form1", "患者のアイコン"));

    // Keyboard focus order of the design.
    const QList<QWidget*> order{Command1, Command2, Picture1, Text15, AreaUnitBox, Command5, Command9, Text1,
                                Text2,    Text3,    Text4,    Command3, List1, Command4, Picture2};
    for (qsizetype i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }

    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    // Results never outlive the inputs they were computed from. Only a real change counts: setting
    // the same text again, or moving the focus, emits nothing.
    for (QLineEdit* beam : {Text1, Text2, Text3, Text4}) {
        connect(beam, &QLineEdit::textChanged, this, &Form1::DiscardSpectrum);
    }
    connect(Text15, &QLineEdit::textChanged, this, &Form1::ClearResults);
    connect(AreaUnitBox, &QComboBox::currentIndexChanged, this, [this] {
        ClearResults();
        const auto unit = static_cast<AreaUnit>(AreaUnitBox->currentData().toInt());
        QSettings().setValue(QLatin1String(kAreaUnitKey), QString::fromLatin1(UnitName(unit).data(),
                                                                              static_cast<qsizetype>(UnitName(unit).size())));
    });
    BuildMenus();

    FitOnScreen(this, QSize(client.width(), client.height() + MenuBar->sizeHint().height()));
    Command1->setFocus();
}

Form1::~Form1() {  // windows of their own, not children
    delete guide_.data();
    delete hvlFit_.data();
    delete doseReports_.data();
    delete register_.data();
    delete form4_.data();
}

void Form1::PlaceMarks() {
    CentreOnGap(Label80, QStringLiteral("Gy"), QStringLiteral("cm"), Label17);
    PlaceAfter(Label80, QStringLiteral("cm"), Label87);
    CentreOnGap(Label8, QStringLiteral("Kg"), QStringLiteral("Gy"), Label18);
    CentreOnGap(Label32, QStringLiteral("kg"), QStringLiteral("Gy"), Label33);
}

bool Form1::Form_Load(const std::vector<std::filesystem::path>& dataFolders, QString& error) {
    auto tables = LoadTables(dataFolders);
    if (!tables) {
        error = QString::fromStdString(DescribeTableError(tables.error()));
        return false;
    }
    state_.tables = std::move(*tables);
    Text1->setText(QStringLiteral("12"));
    Text2->setText(QStringLiteral("2.5"));
    Text3->setText(QStringLiteral("1.0"));
    Text4->setText(QStringLiteral("0"));
    Label7->setText(QString());
    Text15->setText(QString());
    Label14->setText(QString());
    return true;
}

std::optional<double> Form1::FieldNumber(QLineEdit* field, double whenEmpty, const QString& message) {
    const auto reading = ReadField(field, FieldUnits(field));
    if (!reading) {
        Refuse(field, message);
        return std::nullopt;
    }
    return reading->value_or(whenEmpty);
}

QStringList Form1::FieldUnits(const QLineEdit* field) const {
    if (field == Text1) {
        return {Label9->text(), QStringLiteral("度"), QStringLiteral("°")};
    }
    if (field == Text15) {
        const auto unit = static_cast<AreaUnit>(AreaUnitBox->currentData().toInt());
        return {AreaUnitBox->currentText(), QString::fromUtf8(UnitName(unit).data(), static_cast<qsizetype>(UnitName(unit).size()))};
    }
    return {QStringLiteral("mm")};
}

void Form1::Command2_Click() {
    // Every field is read, and refused, before anything is written; an empty field reads as 0.
    const auto angle = FieldNumber(Text1, 0, kTargetAngleInvalid);
    const auto inherent = angle ? FieldNumber(Text2, 0, kFilterInvalid) : std::nullopt;
    const auto al = inherent ? FieldNumber(Text3, 0, kFilterInvalid) : std::nullopt;
    const auto cu = al ? FieldNumber(Text4, 0, kFilterInvalid) : std::nullopt;
    if (!cu) {
        return;
    }
    const auto checked = CheckInputs({.targetAngleDeg = angle, .inherentMmAl = inherent, .alMm = al, .cuMm = cu});
    if (!checked) {
        switch (checked.error().field) {
            case InputField::Inherent: Refuse(Text2, kFilterInvalid); return;
            case InputField::Al: Refuse(Text3, kFilterInvalid); return;
            case InputField::Cu: Refuse(Text4, kFilterInvalid); return;
            default: Refuse(Text1, kTargetAngleInvalid); return;
        }
    }
    Module1& s = state_;
    s.TargetAngle = *angle;
    s.InherentFilter = *inherent * 0.1;
    s.FilterAl = *al * 0.1;
    s.FilterCu = *cu * 0.1;
    if (Label7->text().isEmpty()) {
        MessageBox::warning(this, kNotEntered);
        return;
    }
    // The model divides by the tangent of the target angle; an angle without a usable tangent is
    // refused and the earlier spectrum stays.
    if (!CalcSpectrum()) {
        Refuse(Text1, kTargetAngleInvalid);
        return;
    }
    ProcessPendingEvents();
    if (MessageBox::question(this, kShowSpectrumQuestion)) {
        drawSpectrum();
        showForm6();  // also when the plot refused: the window shows what it held before
    }
}

void Form1::Command9_Click() { drawSpectrum(); }

void Form1::Command3_Click() {
    if (Text15->text().isEmpty()) {
        MessageBox::warning(this, kAreaDoseMissing);
        return;
    }
    const auto entered = FieldNumber(Text15, 0, kAreaDoseInvalid);
    if (!entered) {
        return;
    }
    // The calculation takes Gy·cm²; the meter may show another unit.
    const double areaDose = ToGyCm2(*entered, static_cast<AreaUnit>(AreaUnitBox->currentData().toInt()));
    // Refused before anything changes (a value too large in Gy·cm² too).
    if (!CheckInputs({.areaDose = *entered}) || !CheckInputs({.areaDose = areaDose})) {
        Refuse(Text15, kAreaDoseInvalid);
        return;
    }
    state_.AreaDose = areaDose;
    CalcVolumeDose();
    ProcessPendingEvents();
}

void Form1::Command5_Click() {
    if (form4_.isNull()) {
        form4_ = new Form4(*this, state_);  // deleted when closed, or with this window
    }
    form4_->show();
    form4_->raise();
    form4_->activateWindow();
}

void Form1::Command4_Click() {
    List1->clear();
    Label14->setText(QString());
}

void Form1::Command1_Click() { endProgram(); }

void Form1::Text15_KeyDown(int keyCode, int /*shift*/) {
    if (keyCode == 13) {
        Command3->setFocus();
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    // Form_Unload: closing the main window ends the program; there is no way to keep it running.
    event->accept();
    endProgram();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Text15 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const int shift = (key->modifiers() & Qt::ShiftModifier ? 1 : 0) | (key->modifiers() & Qt::ControlModifier ? 2 : 0) |
                          (key->modifiers() & Qt::AltModifier ? 4 : 0);
        Text15_KeyDown(enter ? 13 : key->key(), shift);
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::SetTubeVoltageCaption(const QString& caption) {
    Label7->setText(caption);
    // A range with its spread is longer than the field was designed for: a smaller size of the
    // same face, never a cut caption.
    QFont font = look::Meiryo(14.25);
    while (font.pointSizeF() > 6 && QFontMetricsF(font).horizontalAdvance(caption) > Label7->contentsRect().width() - 4) {
        font.setPointSizeF(font.pointSizeF() - 0.25);
    }
    Label7->setFont(font);
    UpdateRecordActions();
}

void Form1::FocusSpectrumCommand() {
    activateWindow();
    Command2->setFocus();
}

void Form1::TubeVoltageChanged() { DiscardSpectrum(); }

void Form1::DiscardSpectrum() {
    state_.Spectrum = {};
    ClearResults();
    form6_.SpectrumChanged();
}

void Form1::ClearResults() {
    List1->clear();
    Label14->setText(QString());
}

void Form1::Refuse(QLineEdit* field, const QString& message) {
    MessageBox::warning(this, message);
    field->setFocus();
}

void Form1::ShowHvlFit() {
    if (hvlFit_.isNull()) {
        hvlFit_ = new HvlFitWindow(state_, [this](const QString& mm) { Text2->setText(mm); });
    }
    // The voltage of a fixed setting is the likely one of the measurement; a range suggests none.
    const Module1& s = state_;
    const bool fixedKv = !Label7->text().isEmpty() && s.KvLow == s.KvHigh;
    hvlFit_->TakeSettings(Text1->text(), Text3->text(), Text4->text(),
                          fixedKv ? QString::fromStdString(NumberText(s.KvHigh)) : QString());
    hvlFit_->show();
    hvlFit_->raise();
    hvlFit_->activateWindow();
}

bool Form1::CalcSpectrum() {
    Module1& s = state_;
    const Beam beam{s.TargetAngle, s.InherentFilter, s.FilterAl, s.FilterCu};
    const TubeVoltage voltage{s.KvLow, s.KvHigh, s.KvMode == 1 ? Spread::Uniform : Spread::Normal};
    const auto spectrum = ComputeSpectrum(s.tables, beam, voltage);
    if (!spectrum) {
        return false;
    }
    s.Spectrum = spectrum->fluence;
    NoteSpectrum();
    form6_.SpectrumChanged();
    return true;
}

void Form1::CalcVolumeDose() {
    const Module1& s = state_;
    const auto dose = ComputeVolumeDose(s.tables, s.Spectrum, s.KvHigh, s.AreaDose);
    // An area dose whose results would overflow is refused while the earlier results still show.
    if (!dose && dose.error() != DoseError::NoSpectrum) {
        Refuse(Text15, kAreaDoseInvalid);
        return;
    }
    List1->clear();
    if (!dose) {
        Label14->setText(QString());
        MessageBox::warning(this, kNoSpectrum);
        return;
    }
    Label14->setText(QString::fromStdString(FormatSci(dose->photons)));
    for (int j = 1; j <= kThicknesses; ++j) {
        List1->addItem(QString::fromStdString(VolumeDoseLine(ThicknessCm(j), dose->joules[static_cast<std::size_t>(j - 1)])));
    }
    NoteResults(dose->photons, dose->joules);
}

}  // namespace mirelo
