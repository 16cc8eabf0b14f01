#include "app/main_window.h"

#include <QVBoxLayout>
#include <QPointer>

#include "app/shared_state.h"
#include "app/table_reader.h"

namespace mirelo {
namespace {
QPointer<Form1>& mainForm() {
    static QPointer<Form1> form;
    return form;
}

template <typename T>
T* Make(QWidget* parent, const char* name) {
    auto* w = new T(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}
}  // namespace

Form1* MainForm() { return mainForm().data(); }

Form1::Form1(QWidget* parent) : QWidget(parent) {
    mainForm() = this;
    setWindowTitle(QStringLiteral("  Mirelo ( Patient Volume Dose from Area Dose )"));
    auto* layout = new QVBoxLayout(this);
    Text1 = Make<QLineEdit>(this, "Text1");
    Text2 = Make<QLineEdit>(this, "Text2");
    Text3 = Make<QLineEdit>(this, "Text3");
    Text4 = Make<QLineEdit>(this, "Text4");
    Label7 = Make<QLabel>(this, "Label7");
    Text15 = Make<QLineEdit>(this, "Text15");
    Label14 = Make<QLabel>(this, "Label14");
    List1 = Make<QListWidget>(this, "List1");
    Command1 = Make<QPushButton>(this, "Command1");
    Command2 = Make<QPushButton>(this, "Command2");
    Command3 = Make<QPushButton>(this, "Command3");
    Command4 = Make<QPushButton>(this, "Command4");
    Command5 = Make<QPushButton>(this, "Command5");
    Command9 = Make<QPushButton>(this, "Command9");
    for (QWidget* w : std::initializer_list<QWidget*>{Text1, Text2, Text3, Text4, Label7, Text15, Label14, List1,
                                                      Command1, Command2, Command3, Command4, Command5, Command9}) {
        layout->addWidget(w);
    }
    SetEnableCommand9Handler([this] { Command9->setEnabled(true); });
}

Form1::~Form1() { SetEnableCommand9Handler({}); }

bool Form1::Form_Load(const std::vector<std::filesystem::path>& dataFolders, QString& error) {
    std::string why;
    const auto tables = LoadTables(dataFolders, why);
    if (!tables) {
        error = QString::fromStdString(why);
        return false;
    }
    StoreTables(*tables, SharedState());
    Text1->setText(QStringLiteral("12"));
    Text2->setText(QStringLiteral("2.5"));
    Text3->setText(QStringLiteral("1.0"));
    Text4->setText(QStringLiteral("0"));
    Label7->setText(QString());
    Text15->setText(QString());
    Label14->setText(QString());
    return true;
}

}  // namespace mirelo
