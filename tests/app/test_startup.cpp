#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>

#include "ui/main_window/main_window.h"
#include "ui/platform/message_box.h"
#include "ui/state/shared_state.h"
#include "data_folders/data_folders.h"

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
    EXPECT_GT(form.state().tables.w[1], 0.0);
    EXPECT_GT(form.state().tables.effEA[300][11], 0.0);
    EXPECT_EQ(form.state().Spectrum[100], 0.0);
    EXPECT_EQ(form.state().KvHigh, 0.0);
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

ProgramRun RunProgram(const QString& workDir, int timeoutMs, const QString& program = QStringLiteral(MIRELO_EXECUTABLE),
                      const QStringList& arguments = {}) {
    QProcess p;
    p.setWorkingDirectory(workDir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(program, arguments);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        return {-1, QString::fromUtf8(p.readAllStandardError())};
    }
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
}

// A working folder whose Att_coeff2021.dat is broken: start-up ends at once, saying so.
void WriteBrokenTable(const QString& folder, const char* name) {
    QFile file(QDir(folder).filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("1,2,3,4,5,6,7\n1,2,x,4,5,6,7\n");
}

TEST(Startup, ProgramWithABrokenTableEndsWithStatusOneAndSaysWhy) {
    App();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A broken table in the working folder wins over the good defaults elsewhere.
    std::filesystem::copy_file(kSynthetic / "effEA.dat", dir.filePath(QStringLiteral("effEA.dat")).toStdString());
    WriteBrokenTable(dir.path(), "Att_coeff2021.dat");
    const ProgramRun run = RunProgram(dir.path(), 30000);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.stderrText.contains(QStringLiteral("Att_coeff2021.dat: value 10 (line 2) is not a number: \"x\"")))
        << run.stderrText.toStdString();
}

// Under a file-size limit a write that goes past it fails; it never ends the program by a signal.
// Here the start-up message goes to a file under "ulimit -f 0".
TEST(Startup, AFileSizeLimitDoesNotKillTheProgram) {
    App();
    QTemporaryDir dir;
    WriteBrokenTable(dir.path(), "Att_coeff2021.dat");
    const ProgramRun run = RunProgram(dir.path(), 30000, QStringLiteral("/bin/bash"),
                                      {QStringLiteral("-c"), QStringLiteral("ulimit -f 0; exec \"$0\" 2>stderr.txt"),
                                       QStringLiteral(MIRELO_EXECUTABLE)});
    EXPECT_EQ(run.exitCode, 1) << "ended by a signal, or did not end";
}

// A data folder is searched whatever bytes its path holds: the program, copied into a folder whose
// name is not valid UTF-8, takes Att_coeff2021.dat from there and stops only at the broken effEA.dat
// of the working folder.
TEST(Startup, ADataFolderWhosePathIsNotUtf8IsSearched) {
    App();
    QTemporaryDir dir;
    const std::filesystem::path root = dir.path().toStdString();
    const std::filesystem::path bin = root / "Mirelo-\xff\xfe" / "bin";
    std::filesystem::create_directories(bin);
    std::filesystem::copy_file(MIRELO_EXECUTABLE, bin / "mirelo");
    std::filesystem::copy_file(kSynthetic / "Att_coeff2021.dat", bin / "Att_coeff2021.dat");
    std::filesystem::create_symlink(bin / "mirelo", root / "mirelo");  // a name QProcess can pass on
    std::filesystem::create_directory(root / "work");
    WriteBrokenTable(dir.filePath(QStringLiteral("work")), "effEA.dat");
    const ProgramRun run = RunProgram(dir.filePath(QStringLiteral("work")), 30000, dir.filePath(QStringLiteral("mirelo")));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.stderrText.contains(QStringLiteral("effEA.dat: value 10 (line 2) is not a number"))) << run.stderrText.toStdString();
}

}  // namespace
}  // namespace mirelo
