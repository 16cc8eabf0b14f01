#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>

#include "app/main_window.h"
#include "app/platform/message_box.h"
#include "ui/state/shared_state.h"
#include "app/startup.h"

namespace mirelo {
namespace {

const std::filesystem::path kSynthetic = std::filesystem::path(MIRELO_TEST_DATA_DIR) / "synthetic";

QApplication& App() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

TEST(Startup, LoadFillsTablesAndDefaults) {
    App();
    Form1 form;
    QString error;
    ASSERT_TRUE(form.Form_Load({kSynthetic}, error)) << error.toStdString();
    EXPECT_EQ(form.Text1->text(), QStringLiteral("12"));
    EXPECT_EQ(form.Text2->text(), QStringLiteral("2.5"));
    EXPECT_EQ(form.Text3->text(), QStringLiteral("1.0"));
    EXPECT_EQ(form.Text4->text(), QStringLiteral("0"));
    EXPECT_TRUE(form.Label7->text().isEmpty());
    EXPECT_TRUE(form.Text15->text().isEmpty());
    EXPECT_TRUE(form.Label14->text().isEmpty());
    EXPECT_GT(SharedState().tables.w[1], 0.0);
    EXPECT_GT(SharedState().tables.effEA[300][11], 0.0);
    EXPECT_EQ(SharedState().Spectrum[100], 0.0);
    EXPECT_EQ(SharedState().KvHigh, 0.0);
}

TEST(Startup, TheVersionIsShownToTheUser) {
    App();
    Form1 form;
    EXPECT_EQ(form.Label45->toolTip(), QStringLiteral("Mirelo " MIRELO_TEST_VERSION));
}

TEST(Startup, MessageBoxButtonsSpeakJapanese) {
    App();
    ASSERT_TRUE(InstallJapaneseButtonTexts()) << "Qt's Japanese translation (qt6-translations-l10n) is missing";
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(box.button(QMessageBox::Yes)->text().startsWith(QStringLiteral("はい"))) << box.button(QMessageBox::Yes)->text().toStdString();
    EXPECT_TRUE(box.button(QMessageBox::No)->text().startsWith(QStringLiteral("いいえ"))) << box.button(QMessageBox::No)->text().toStdString();
}

TEST(Startup, DataFoldersStartWithTheWorkingFolder) {
    const auto installed = DataFolders("/opt/mirelo/bin");
    EXPECT_EQ(installed, (std::vector<std::filesystem::path>{".", "/opt/mirelo/share/mirelo", "/opt/mirelo/bin"}));

    // Only a program still in its build tree falls back on the source tree's tables.
    const auto inBuild = DataFolders(std::filesystem::path(MIRELO_TEST_BUILD_DIR) / "app");
    ASSERT_EQ(inBuild.size(), 4u);
    EXPECT_EQ(inBuild.front(), std::filesystem::path("."));
    EXPECT_EQ(inBuild.back().filename(), "data");
}

// The real program, run headless in a folder of its own.
struct ProgramRun {
    int exitCode;
    QString stderrText;
};

ProgramRun RunProgram(const QString& workDir, int timeoutMs) {
    QProcess p;
    p.setWorkingDirectory(workDir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(MIRELO_EXECUTABLE), {});
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return {-1, QString::fromUtf8(p.readAllStandardError())};
    }
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
}

TEST(Startup, ProgramWithABrokenTableEndsWithStatusOneAndSaysWhy) {
    App();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A broken table in the working folder wins over the good defaults elsewhere.
    std::filesystem::copy_file(kSynthetic / "effEA.dat", dir.filePath(QStringLiteral("effEA.dat")).toStdString());
    QFile att(dir.filePath(QStringLiteral("Att_coeff2021.dat")));
    ASSERT_TRUE(att.open(QIODevice::WriteOnly));
    att.write("1,2,3,4,5,6,7\n1,2,x,4,5,6,7\n");
    att.close();
    const ProgramRun run = RunProgram(dir.path(), 30000);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.stderrText.contains(QStringLiteral("Att_coeff2021.dat: value 10 (line 2) is not a number: \"x\"")))
        << run.stderrText.toStdString();
}

}  // namespace
}  // namespace mirelo
