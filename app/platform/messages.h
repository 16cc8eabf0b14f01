#pragma once

#include <QString>

// Every text a message box of the program shows, in one place (the blanks belong to the texts).
namespace mirelo::messages {

inline const QString kNotEntered = QStringLiteral(" 未入力項目があります ");
inline const QString kShowSpectrumQuestion = QStringLiteral("  Ｘ線スペクトルを表示しますか？ \u3000");
inline const QString kAreaDoseMissing = QStringLiteral(" 面積線量が未入力です ");
inline const QString kAreaDoseInvalid = QStringLiteral(" 面積線量を正しく入力して下さい ");
inline const QString kTargetAngleInvalid = QStringLiteral(" ターゲット角度を正しく入力して下さい ");
inline const QString kFilterInvalid = QStringLiteral(" フィルタの厚さを正しく入力して下さい ");
inline const QString kNoSpectrum = QStringLiteral(" スペクトルデータがありません  ");
inline const QString kTubeVoltageInvalid = QStringLiteral(" 管電圧を正しく入力して下さい ");
inline const QString kSpectrumSaved = QStringLiteral(" スペクトルデータは X_SPCTL.dat に保存しました ");
// %1 the file, %2 the system's reason.
inline const QString kSaveFailed = QStringLiteral(" %1 に保存できませんでした（%2） ");

}  // namespace mirelo::messages
