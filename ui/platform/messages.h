#pragma once

#include <QCoreApplication>
#include <QString>
#include <utility>

// Every text a message box of the program shows, in one place (the blanks belong to the texts).
// Each is its Japanese source text; it reads in the interface's language wherever it is used.
namespace mirelo::messages {

class Text {
public:
    constexpr explicit Text(const char* source) : source_(source) {}
    operator QString() const { return QCoreApplication::translate("messages", source_); }  // NOLINT: by design
    template <typename... Args>
    QString arg(Args&&... args) const {
        return QString(*this).arg(std::forward<Args>(args)...);
    }
    const char* source() const { return source_; }

private:
    const char* source_;
};

inline constexpr Text kNotEntered{QT_TRANSLATE_NOOP("messages", " 未入力項目があります ")};
inline constexpr Text kShowSpectrumQuestion{QT_TRANSLATE_NOOP("messages", "  Ｘ線スペクトルを表示しますか？ 　")};
inline constexpr Text kAreaDoseMissing{QT_TRANSLATE_NOOP("messages", " 面積線量が未入力です ")};
inline constexpr Text kAreaDoseInvalid{QT_TRANSLATE_NOOP("messages", " 面積線量を正しく入力して下さい ")};
inline constexpr Text kTargetAngleInvalid{QT_TRANSLATE_NOOP("messages", " ターゲット角度を正しく入力して下さい ")};
inline constexpr Text kNoSpectrum{QT_TRANSLATE_NOOP("messages", " スペクトルデータがありません  ")};
inline constexpr Text kTubeVoltageInvalid{QT_TRANSLATE_NOOP("messages", " 管電圧を正しく入力して下さい ")};
inline constexpr Text kSpectrumSaved{QT_TRANSLATE_NOOP("messages", " スペクトルデータは X_SPCTL.dat に保存しました ")};
inline constexpr Text kHvlInvalid{QT_TRANSLATE_NOOP("messages", " 半価層を正しく入力して下さい ")};
inline constexpr Text kFilterInvalid{QT_TRANSLATE_NOOP("messages", " フィルタの厚さを正しく入力して下さい ")};
inline constexpr Text kNoBeamQuality{QT_TRANSLATE_NOOP("messages", " この条件では線質を求められません ")};
// %1 the tube voltage, %2 and %3 the first HVLs of 0 and %5 mm inherent filtration (20 mm, less at a
// few kV where thicker filters leave no photons), %4 the measured one.
inline constexpr Text kHvlUnreachable{QT_TRANSLATE_NOOP(
    "messages", " %1 kV で固有フィルタ 0～%5 mm Al が与える第1半価層は %2～%3 mm Al です。\n 測定値 %4 mm Al には届きません ")};
// %1 the file, %2 the system's reason.
inline constexpr Text kSaveFailed{QT_TRANSLATE_NOOP("messages", " %1 に保存できませんでした（%2） ")};
// %1 the file.
inline constexpr Text kSaved{QT_TRANSLATE_NOOP("messages", " %1 に保存しました ")};
inline constexpr Text kNoResults{QT_TRANSLATE_NOOP("messages", " 保存できる計算結果がありません ")};
inline constexpr Text kNoPlot{QT_TRANSLATE_NOOP("messages", " 保存できる図がありません ")};
// %1 the path looked for.
inline constexpr Text kGuideMissing{QT_TRANSLATE_NOOP("messages", " 使い方の文書が見つかりません（%1） ")};
inline constexpr Text kGuideNotOpened{QT_TRANSLATE_NOOP("messages", " 使い方の文書を開けませんでした（%1） ")};
inline constexpr Text kPrintFailed{QT_TRANSLATE_NOOP("messages", " 印刷できませんでした ")};
inline constexpr Text kLanguageMissing{QT_TRANSLATE_NOOP("messages", " 英語の表示用データが見つかりません ")};

}  // namespace mirelo::messages
