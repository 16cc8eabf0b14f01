// mirelo-calc's text against the main window: the same inputs typed into the real windows give
// Label14 and List1 texts that the tool prints character for character.
#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "ui/main_window/main_window.h"
#include "ui/platform/message_box.h"
#include "tests/calc/run_tool.h"

namespace mirelo {
namespace {

// The main window's fields, then the tube voltage ("80" or "75-85"), the spread and the area dose.
struct Inputs {
    const char *angle, *inherent, *al, *cu, *kv;
    bool normal;
    const char* areaDose;
};

const Inputs kInputs[] = {
    {"12", "2.5", "1.0", "0", "80", false, "25.3"},      {"12", "2.5", "1.0", "0", "75-85", true, "25.3"},
    {"45", "1", "3", "0.2", "150", false, "0.004"},      {"7.5", "2.5", "1.0", "0.1", "60.5-125", false, "123456"},
    {"20", "0", "0", "0", "40", false, "0"},
};

// Label7 (the tube voltage), Label14 and the List1 lines after a full run of the main window.
std::vector<std::string> WindowTexts(const Inputs& in, const std::filesystem::path& tables) {
    Form1 form;
    form.drawSpectrum = [] {};
    form.showForm6 = [] {};
    form.endProgram = [] {};
    QString error;
    EXPECT_TRUE(form.Form_Load({tables}, error)) << error.toStdString();
    form.Text1->setText(QString::fromUtf8(in.angle));
    form.Text2->setText(QString::fromUtf8(in.inherent));
    form.Text3->setText(QString::fromUtf8(in.al));
    form.Text4->setText(QString::fromUtf8(in.cu));
    form.Command5_Click();
    Form4& dialog = *form.TubeVoltageDialog();
    const QString kv = QString::fromUtf8(in.kv);
    const auto dash = kv.indexOf(QLatin1Char('-'));
    (dash < 0 ? dialog.Option1 : dialog.Option2)->setChecked(true);
    (dash < 0 ? dialog.Text1 : dialog.Text2)->setText(kv.left(dash));
    dialog.Text3->setText(kv.mid(dash + 1));
    (in.normal ? dialog.Option4 : dialog.Option3)->setChecked(true);
    dialog.Command1_Click();
    MessageBox::setNextAnswer(MessageBox::Answer::No);  // "show the spectrum?"
    form.Command2_Click();
    form.Text15->setText(QString::fromUtf8(in.areaDose));
    form.Command3_Click();
    EXPECT_EQ(MessageBox::takeShown().size(), 1u);  // the question only, no warning
    std::vector<std::string> texts{form.Label7->text().toStdString(), form.Label14->text().toStdString()};
    for (int i = 0; i < form.List1->count(); ++i) {
        texts.push_back(form.List1->item(i)->text().toStdString());
    }
    return texts;
}

// The tube voltage, the photon count and the eleven lines that follow the thickness heading.
std::vector<std::string> ToolTexts(const std::string& out) {
    std::vector<std::string> texts;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("tube voltage (kV)", 0) == 0) {
            // "75 - 85, normal spread" is what the window shows as "75 - 85 kV (正規分布)".
            const std::size_t comma = line.find(',');
            std::string caption = line.substr(25, comma - std::min(comma, std::size_t{25}));
            if (comma != std::string::npos) {
                caption += line.find("normal", comma) != std::string::npos ? " kV (正規分布)" : " kV (均等)";
            }
            texts.push_back(caption);
        } else if (line.rfind("photons", 0) == 0) {
            texts.push_back(line.substr(line.find_last_of(' ') + 1));
        } else if (line.rfind("body thickness", 0) == 0) {
            while (std::getline(lines, line)) {
                texts.push_back(line);
            }
        }
    }
    return texts;
}

TEST(CalcToolAndWindow, TextIsTheWindowsStrings) {
    int argc = 1;
    char name[] = "test_calc_window";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    MessageBox::setScripted(true);
    for (const std::filesystem::path& tables :
         {std::filesystem::path(MIRELO_SHIPPED_DATA_DIR), std::filesystem::path(MIRELO_TEST_DATA_DIR) / "synthetic"}) {
        for (const Inputs& in : kInputs) {
            std::vector<std::string> args{"--angle", in.angle, "--inherent", in.inherent, "--al", in.al,
                                          "--cu", in.cu, "--kv", in.kv, "--area-dose", in.areaDose,
                                          "--tables", tables.string()};
            if (in.normal) {
                args.insert(args.end(), {"--spread", "normal"});
            }
            const auto run = test::RunTool(args);
            ASSERT_EQ(run.status, 0) << run.err;
            const auto window = WindowTexts(in, tables);
            ASSERT_EQ(window.size(), 13u);
            EXPECT_EQ(ToolTexts(run.out), window) << tables << " " << in.kv;
        }
    }
}

}  // namespace
}  // namespace mirelo
