#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>
#include <filesystem>
#include <vector>

namespace mirelo {

// The main window. Controls keep their designer names (as members and as objectName).
class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Loads the coefficient tables into the store and sets the defaults. On failure nothing is
    // stored and the reason (naming the file) is returned in `error`.
    bool Form_Load(const std::vector<std::filesystem::path>& dataFolders, QString& error);

    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLineEdit* Text15 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label14 = nullptr;
    QListWidget* List1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command9 = nullptr;
};

// The one main window, once created at start-up.
Form1* MainForm();

}  // namespace mirelo
