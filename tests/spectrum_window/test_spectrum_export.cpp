// X_SPCTL.dat: its text, and saving it from the spectrum window.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>

#include "ui/platform/message_box.h"
#include "test_support.h"
#include "ui/state/shared_state.h"
#include "ui/spectrum_window/form6.h"
#include "ui/spectrum_plot/spectrum_export.h"

namespace mirelo {
namespace {

using test::App;
using test::WorkingFolder;

BinArray KnownSpectrum() {
    BinArray s{};
    for (int i = 2; i <= 160; ++i) {
        s[i] = 1.0e-4 * i;
    }
    s[60] = 0.0123456;
    s[61] = 0.00999951;  // the mantissa rounds up to 10.000 and becomes 1.000 of the next decade
    return s;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = text.find("\r\n", from);
        if (end == std::string::npos) {
            lines.push_back(text.substr(from));  // an unterminated last line
            break;
        }
        lines.push_back(text.substr(from, end - from));
        from = end + 2;
    }
    return lines;
}

TEST(SpectrumFileText, LayoutOfTheLines) {
    const std::string text = SpectrumFileText(KnownSpectrum());
    ASSERT_EQ(text.size(), 300u * 22u);
    EXPECT_EQ(text.substr(0, 22), "5.000E-01  0.000E+00\r\n");
    EXPECT_EQ(text.substr(text.size() - 22), "1.500E+02  0.000E+00\r\n");
    const auto lines = Lines(text);
    ASSERT_EQ(lines.size(), 300u);
    EXPECT_EQ(lines[1], "1.000E+00  2.000E-04");
    EXPECT_EQ(lines[59], "3.000E+01  1.235E-02");
    EXPECT_EQ(lines[60], "3.050E+01  1.000E-02");
    EXPECT_EQ(lines[159], "8.000E+01  1.600E-02");
    EXPECT_EQ(lines[160], "8.050E+01  0.000E+00");
    for (std::size_t n = 0; n < lines.size(); ++n) {
        EXPECT_EQ(lines[n].size(), 20u) << n;
        EXPECT_EQ(lines[n].find_first_not_of("0123456789.E+- "), std::string::npos) << n;
        EXPECT_EQ(lines[n].substr(9, 2), "  ") << n;
    }
    // The only CR and LF characters are the 300 line ends.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 300);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 300);
}

TEST(SpectrumFileText, EmptyAndNegativeBinsAreWrittenToo) {
    BinArray s{};
    s[5] = -2.5e-3;
    const auto lines = Lines(SpectrumFileText(s));
    ASSERT_EQ(lines.size(), 300u);
    EXPECT_EQ(lines[4], "2.500E+00  -2.500E-03");
    EXPECT_EQ(lines[0], "5.000E-01  0.000E+00");
    EXPECT_EQ(lines[299], "1.500E+02  0.000E+00");
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return f.readAll();
}

class DataSave : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(dir.isValid());
        MessageBox::setScripted(true);
        Plot(KnownSpectrum());
    }
    // Shows `spectrum` on the spectrum window: "Data save" saves what is drawn.
    void Plot(const BinArray& spectrum) {
        state.Spectrum = spectrum;
        holder.Draw();
    }
    void TearDown() override {
        MessageBox::setScripted(false);
        delete holder.Instance();
    }
    // Clicks "Data save" of the spectrum window in the temporary folder.
    QList<MessageBox::Shown> ClickDataSave() {
        WorkingFolder in(dir.path());
        holder.Get().Command2->click();
        return MessageBox::takeShown();
    }
    QString File() const { return dir.filePath(QStringLiteral("X_SPCTL.dat")); }
    QStringList Entries() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden); }

    QTemporaryDir dir;
    Module1 state;
    SpectrumWindowHolder holder{state};  // as the main window holds it
};

TEST_F(DataSave, WritesTheFileThenConfirms) {
    const int eventsBefore = PendingEventsProcessed();
    const auto shown = ClickDataSave();
    const QByteArray bytes = ReadAll(File());
    EXPECT_EQ(bytes.toStdString(), SpectrumFileText(KnownSpectrum()));
    EXPECT_TRUE(bytes.startsWith("5.000E-01  0.000E+00\r\n"));
    EXPECT_EQ(bytes.mid(bytes.size() - 22, 9), QByteArray("1.500E+02"));
    EXPECT_EQ(PendingEventsProcessed(), eventsBefore + 1);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, MessageBox::Kind::Information);
    EXPECT_EQ(shown[0].text, QStringLiteral(" スペクトルデータは X_SPCTL.dat に保存しました "));
    // Nothing but the file is left behind.
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("X_SPCTL.dat")});
}

TEST_F(DataSave, SavingTwiceGivesIdenticalFilesAndTheFileIsWhatIsDrawn) {
    ClickDataSave();
    const QByteArray first = ReadAll(File());
    ClickDataSave();
    EXPECT_EQ(ReadAll(File()), first);

    // A newer spectrum that is not drawn is not saved; drawn, it replaces the longer old file whole.
    BinArray newer{};
    newer[60] = 0.5;
    state.Spectrum = newer;
    ClickDataSave();
    EXPECT_EQ(ReadAll(File()), first);
    Plot(newer);
    ClickDataSave();
    EXPECT_EQ(ReadAll(File()).toStdString(), SpectrumFileText(newer));
}

TEST_F(DataSave, ReplacesAnOlderLongerFileEntirely) {
    {
        QFile old(File());
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(10000, 'x'));
    }
    ClickDataSave();
    EXPECT_EQ(ReadAll(File()).size(), 6600);
}

// A write that runs out of room part-way (here: a file-size limit, which binds root too) must leave
// the earlier file as it was, warn with the file's name and the reason, and confirm nothing.
TEST_F(DataSave, AFailedWriteKeepsTheOldFileAndWarns) {
    ClickDataSave();
    const QByteArray old = ReadAll(File());
    ASSERT_EQ(old.size(), 6600);
    BinArray newer{};
    newer[60] = 0.5;
    Plot(newer);

    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit tight = previous;
    tight.rlim_cur = 1000;
    auto* const previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const auto shown = ClickDataSave();
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(ReadAll(File()), old);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, MessageBox::Kind::Warning);
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("X_SPCTL.dat"))) << shown[0].text.toStdString();
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("File too large"))) << shown[0].text.toStdString();
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("X_SPCTL.dat")}) << "a temporary file was left";
    // The window is still there and the next save works.
    ClickDataSave();
    EXPECT_EQ(ReadAll(File()).toStdString(), SpectrumFileText(newer));
}

TEST_F(DataSave, AWorkingFolderThatIsGoneGivesAWarning) {
    QTemporaryDir gone;
    const QString path = gone.path();
    QList<MessageBox::Shown> shown;
    {
        WorkingFolder in(path);
        ASSERT_TRUE(gone.remove());
        holder.Get().Command2->click();
        shown = MessageBox::takeShown();
    }
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, MessageBox::Kind::Warning);
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("X_SPCTL.dat")));
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(DataSave, AReadOnlyFolderKeepsTheOldFile) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "permission bits do not stop root; the file-size test covers the failed write";
    }
    ClickDataSave();
    const QByteArray old = ReadAll(File());
    BinArray newer = KnownSpectrum();
    newer[60] = 0.75;
    Plot(newer);
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    const auto shown = ClickDataSave();
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(ReadAll(File()), old);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, MessageBox::Kind::Warning);
}

}  // namespace
}  // namespace mirelo
