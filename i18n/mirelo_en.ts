<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>RegisterWindow</name>
    <message>
        <source>すべて</source>
        <translation>All</translation>
    </message>
    <message>
        <source>体厚(&amp;T)</source>
        <translation>&amp;Thickness</translation>
    </message>
    <message>
        <source>装置(&amp;D)</source>
        <translation>&amp;Device</translation>
    </message>
    <message>
        <source>検査日(&amp;A)</source>
        <translation>Study d&amp;ate</translation>
    </message>
    <message>
        <source>～</source>
        <translation>to</translation>
    </message>
    <message>
        <source>参考レベルを超えた検査</source>
        <translation>Studies above the reference levels</translation>
    </message>
    <message>
        <source>まとめ (文字)</source>
        <translation>Summary (text)</translation>
    </message>
    <message>
        <source>参考レベル超過</source>
        <translation>Above the levels</translation>
    </message>
    <message>
        <source>まとめを CSV に保存(&amp;S)...</source>
        <translation>&amp;Save summary as CSV...</translation>
    </message>
    <message>
        <source>超過を CSV に保存(&amp;E)...</source>
        <translation>Save &amp;exceedances as CSV...</translation>
    </message>
    <message>
        <source>PDF に保存(&amp;F)...</source>
        <translation>Save as PD&amp;F...</translation>
    </message>
    <message>
        <source>読み込み中...</source>
        <translation>Reading...</translation>
    </message>
    <message>
        <source>検査 %1, 超過 %2</source>
        <translation>%1 studies, %2 above the levels</translation>
    </message>
    <message>
        <source>線量登録簿</source>
        <translation>Dose register</translation>
    </message>
    <message>
        <source>登録簿を開く(&amp;O)...</source>
        <translation>&amp;Open register...</translation>
    </message>
    <message>
        <source>参考レベル(&amp;L)...</source>
        <translation>Reference &amp;levels...</translation>
    </message>
    <message>
        <source>まとめ方(&amp;G)</source>
        <translation>&amp;Group by</translation>
    </message>
    <message>
        <source>まとめ</source>
        <translation>Summary</translation>
    </message>
    <message>
        <source>箱ひげ図を保存(&amp;B)...</source>
        <translation>Save &amp;box plot...</translation>
    </message>
    <message>
        <source>散布図を保存(&amp;P)...</source>
        <translation>Save scatter &amp;plot...</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>登録簿を開く</source>
        <translation>Open a register</translation>
    </message>
    <message>
        <source>参考レベルを開く</source>
        <translation>Open reference levels</translation>
    </message>
    <message>
        <source>%1 に保存できません: %2</source>
        <translation>Cannot save to %1: %2</translation>
    </message>
</context>
<context>
    <name>DoseReportsWindow</name>
    <message>
        <source>すべて</source>
        <translation>All</translation>
    </message>
    <message>
        <source>(なし)</source>
        <translation>(none)</translation>
    </message>
    <message>
        <source>線量レポート</source>
        <translation>Dose reports</translation>
    </message>
    <message>
        <source>ファイルを開く(&amp;O)...</source>
        <translation>&amp;Open files...</translation>
    </message>
    <message>
        <source>フォルダを開く(&amp;F)...</source>
        <translation>Open &amp;folder...</translation>
    </message>
    <message>
        <source>装置プロファイル(&amp;P)...</source>
        <translation>Device &amp;profiles...</translation>
    </message>
    <message>
        <source>プロファイルなし (12 度, 2.5 mm Al)</source>
        <translation>No profiles (12°, 2.5 mm Al)</translation>
    </message>
    <message>
        <source>装置(&amp;D)</source>
        <translation>&amp;Device</translation>
    </message>
    <message>
        <source>プロトコル(&amp;R)</source>
        <translation>P&amp;rotocol</translation>
    </message>
    <message>
        <source>検査日(&amp;T)</source>
        <translation>S&amp;tudy date</translation>
    </message>
    <message>
        <source>～</source>
        <translation>to</translation>
    </message>
    <message>
        <source>状態(&amp;S)</source>
        <translation>&amp;Status</translation>
    </message>
    <message>
        <source>中止(&amp;C)</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>検査</source>
        <translation>Studies</translation>
    </message>
    <message>
        <source>照射イベント</source>
        <translation>Irradiation events</translation>
    </message>
    <message>
        <source>読めなかったファイルと計算しなかったイベント</source>
        <translation>Files not read and events not computed</translation>
    </message>
    <message>
        <source>主画面で計算(&amp;M)</source>
        <translation>Compute in the &amp;main window</translation>
    </message>
    <message>
        <source>選んだイベントの条件を主画面に入れて計算する (ダブルクリック, Enter)</source>
        <translation>Puts the selected event&apos;s conditions into the main window and computes them (double-click, Enter)</translation>
    </message>
    <message>
        <source>検査を CSV に保存...</source>
        <translation>Save studies as CSV...</translation>
    </message>
    <message>
        <source>イベントを CSV に保存...</source>
        <translation>Save events as CSV...</translation>
    </message>
    <message>
        <source>PDF に保存...</source>
        <translation>Save as PDF...</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>完全 (complete)</source>
        <translation>Complete</translation>
    </message>
    <message>
        <source>不完全 (incomplete)</source>
        <translation>Incomplete</translation>
    </message>
    <message>
        <source>重複 (duplicate)</source>
        <translation>Duplicate</translation>
    </message>
    <message>
        <source>線量レポートを開く</source>
        <translation>Open dose reports</translation>
    </message>
    <message>
        <source>DICOM ファイル (*.dcm *.DCM *);;すべてのファイル (*)</source>
        <translation>DICOM files (*.dcm *.DCM *);;All files (*)</translation>
    </message>
    <message>
        <source>線量レポートのフォルダを開く</source>
        <translation>Open a folder of dose reports</translation>
    </message>
    <message>
        <source>装置プロファイルを開く</source>
        <translation>Open device profiles</translation>
    </message>
    <message>
        <source>読み込み中...</source>
        <translation>Reading...</translation>
    </message>
    <message>
        <source>読み込みを中止しました</source>
        <translation>Reading stopped</translation>
    </message>
    <message>
        <source>%1 ファイル (読めない %2), イベント %3 (計算 %4), 検査 %5 (不完全 %6)</source>
        <translation>%1 files (%2 not read), %3 events (%4 computed), %5 studies (%6 incomplete)</translation>
    </message>
    <message>
        <source>このイベントは計算されていません: %1</source>
        <translation>This event was not computed: %1</translation>
    </message>
    <message>
        <source>%1 に保存できません: %2</source>
        <translation>Cannot save to %1: %2</translation>
    </message>
</context>
<context>
    <name>Form1</name>
    <message>
        <source>線量登録簿(&amp;R)...</source>
        <translation>Dose &amp;register...</translation>
    </message>
    <message>
        <source>線量レポートを開く(&amp;R)...</source>
        <translation>Open dose &amp;reports...</translation>
    </message>
    <message>
        <source>Ｘ線透視撮影時の面積線量 ( Gy  cm  ) から</source>
        <translation>From the kerma-area product ( Gy  cm  )</translation>
    </message>
    <message>
        <source>・</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>患者容積線量 ( Kg  Gy = J ) を算定する</source>
        <translation>compute the integral dose ( kg  Gy = J )</translation>
    </message>
    <message>
        <source>①</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>②</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>③</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>④</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>⑤</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ｘ線管および照射条件</source>
        <translation>X-ray tube and beam</translation>
    </message>
    <message>
        <source> Ｘ線管ターゲット角度</source>
        <translation> Target angle</translation>
    </message>
    <message>
        <source>度</source>
        <translation>°</translation>
    </message>
    <message>
        <source> 固有フィルタ (Al 当量)</source>
        <translation> Inherent filtration (Al equivalent)</translation>
    </message>
    <message>
        <source> 付加フィルタ (アルミ)</source>
        <translation> Added filtration (Al)</translation>
    </message>
    <message>
        <source> 付加フィルタ（ 銅 ）</source>
        <translation> Added filtration (Cu)</translation>
    </message>
    <message>
        <source>管電圧</source>
        <translation>Tube voltage</translation>
    </message>
    <message>
        <source>Ｘ線管ターゲット角度</source>
        <translation>Target angle</translation>
    </message>
    <message>
        <source>固有フィルタ (Al 当量)</source>
        <translation>Inherent filtration (Al equivalent)</translation>
    </message>
    <message>
        <source>付加フィルタ (アルミ)</source>
        <translation>Added filtration (Al)</translation>
    </message>
    <message>
        <source>付加フィルタ（ 銅 ）</source>
        <translation>Added filtration (Cu)</translation>
    </message>
    <message>
        <source>面積線量計の表示値 (補正後)</source>
        <translation>Meter reading (corrected)</translation>
    </message>
    <message>
        <source>面積空気カーマ積算値 P</source>
        <translation>Kerma-area product P</translation>
    </message>
    <message>
        <source>入射Ｘ線スペクトルを計算</source>
        <translation>Compute the X-ray spectrum</translation>
    </message>
    <message>
        <source>Ｘ線スペクトルを表示</source>
        <translation>Show the spectrum</translation>
    </message>
    <message>
        <source>患者容積線量を計算</source>
        <translation>Compute integral dose</translation>
    </message>
    <message>
        <source>管電圧設定</source>
        <translation>Set voltage</translation>
    </message>
    <message>
        <source> 管電圧を設定する </source>
        <translation> Set the tube voltage </translation>
    </message>
    <message>
        <source>終了</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>計算結果</source>
        <translation>Results</translation>
    </message>
    <message>
        <source>全入射光子数</source>
        <translation>Incident photons</translation>
    </message>
    <message>
        <source>個</source>
        <translation> </translation>
    </message>
    <message>
        <source>照射部位の</source>
        <translation>Mean body</translation>
    </message>
    <message>
        <source>平均体厚 cm</source>
        <translation>thickness cm</translation>
    </message>
    <message>
        <source>患者容積線量</source>
        <translation>Integral dose</translation>
    </message>
    <message>
        <source>Ｘ線管のアイコン</source>
        <translation>X-ray tube icon</translation>
    </message>
    <message>
        <source>患者のアイコン</source>
        <translation>Patient icon</translation>
    </message>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>結果を保存(&amp;S)...</source>
        <translation>&amp;Save results...</translation>
    </message>
    <message>
        <source>レポートを印刷(&amp;P)...</source>
        <translation>&amp;Print report...</translation>
    </message>
    <message>
        <source>PDF に保存(&amp;D)...</source>
        <translation>Save report as P&amp;DF...</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>編集(&amp;E)</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>結果をコピー(&amp;C)</source>
        <translation>&amp;Copy results</translation>
    </message>
    <message>
        <source>表示言語 / Language(&amp;L)</source>
        <translation>&amp;Language / 表示言語</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>使い方(&amp;G)</source>
        <translation>User's &amp;guide</translation>
    </message>
    <message>
        <source>Mirelo について(&amp;A)</source>
        <translation>&amp;About Mirelo</translation>
    </message>
    <message>
        <source>ツール(&amp;T)</source>
        <translation>&amp;Tools</translation>
    </message>
    <message>
        <source>HVL から固有フィルタを推定(&amp;H)...</source>
        <translation>Inherent filtration from a measured &amp;HVL...</translation>
    </message>
    <message>
        <source>面積線量の単位</source>
        <translation>Unit of the kerma-area product</translation>
    </message>
</context>
<context>
    <name>Form4</name>
    <message>
        <source>  管電圧の設定</source>
        <translation>  Tube voltage setting</translation>
    </message>
    <message>
        <source>透視 / 撮影中のＸ線管電圧</source>
        <translation>X-ray tube voltage</translation>
    </message>
    <message>
        <source>管電圧の設定</source>
        <translation>Tube voltage</translation>
    </message>
    <message>
        <source>固 定</source>
        <translation>Fixed</translation>
    </message>
    <message>
        <source>固定の管電圧 (kV)</source>
        <translation>Fixed tube voltage (kV)</translation>
    </message>
    <message>
        <source>変 動</source>
        <translation>Range</translation>
    </message>
    <message>
        <source>変動の下限の管電圧 (kV)</source>
        <translation>Lowest tube voltage of the range (kV)</translation>
    </message>
    <message>
        <source>～</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>変動の上限の管電圧 (kV)</source>
        <translation>Highest tube voltage of the range (kV)</translation>
    </message>
    <message>
        <source> 各管電圧の電流・時間積の変動状況 </source>
        <translation> Spread of the mAs over the range </translation>
    </message>
    <message>
        <source>均等に変動</source>
        <translation>Uniform</translation>
    </message>
    <message>
        <source>中央値を中心にして正規分布状に変動</source>
        <translation>Normal distribution about the centre</translation>
    </message>
    <message>
        <source>均等と正規分布状の図</source>
        <translation>Uniform and normal spread (diagram)</translation>
    </message>
    <message>
        <source>均等</source>
        <translation>Uniform</translation>
    </message>
    <message>
        <source>正規分布状</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>正規分布</source>
        <comment>spread in the tube-voltage display</comment>
        <translation>normal</translation>
    </message>
    <message>
        <source>均等</source>
        <comment>spread in the tube-voltage display</comment>
        <translation>uniform</translation>
    </message>
</context>
<context>
    <name>Form6</name>
    <message>
        <source>X-ray spectrum</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>入射Ｘ線スペクトル</source>
        <translation>Incident X-ray spectrum</translation>
    </message>
    <message>
        <source>Data save</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>図を保存 (PNG / SVG)...</source>
        <translation>Save plot (PNG / SVG)...</translation>
    </message>
    <message>
        <source>右クリックで図を PNG または SVG に保存できます</source>
        <translation>Right-click to save the plot as PNG or SVG</translation>
    </message>
    <message>
        <source>図を保存 (PNG)...</source>
        <translation>Save plot (PNG)...</translation>
    </message>
    <message>
        <source>右クリックで図を PNG に保存できます</source>
        <translation>Right-click to save the plot as PNG</translation>
    </message>
    <message>
        <source> | 線質を求められません</source>
        <translation> | no beam quality</translation>
    </message>
    <message>
        <source> | HVL₁ %1 mm Al · HVL₂ %2 mm Al · h %3 · 平均 %4 keV · 実効 %5 keV</source>
        <translation> | HVL₁ %1 mm Al · HVL₂ %2 mm Al · h %3 · mean %4 keV · effective %5 keV</translation>
    </message>
</context>
<context>
    <name>Record</name>
    <message>
        <source>Mirelo 患者容積線量の計算記録</source>
        <translation>Mirelo integral dose record</translation>
    </message>
    <message>
        <source>プログラム</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>作成日時</source>
        <translation>Created</translation>
    </message>
    <message>
        <source>係数表 Att_coeff2021.dat</source>
        <translation>Coefficient table Att_coeff2021.dat</translation>
    </message>
    <message>
        <source>吸収割合表 effEA.dat</source>
        <translation>Absorbed-fraction table effEA.dat</translation>
    </message>
    <message>
        <source>Ｘ線管ターゲット角度</source>
        <translation>Target angle</translation>
    </message>
    <message>
        <source>固有フィルタ (Al 当量)</source>
        <translation>Inherent filtration (Al equivalent)</translation>
    </message>
    <message>
        <source>付加フィルタ (アルミ)</source>
        <translation>Added filtration (Al)</translation>
    </message>
    <message>
        <source>付加フィルタ (銅)</source>
        <translation>Added filtration (Cu)</translation>
    </message>
    <message>
        <source>度</source>
        <translation>°</translation>
    </message>
    <message>
        <source>管電圧</source>
        <translation>Tube voltage</translation>
    </message>
    <message>
        <source>固定</source>
        <translation>fixed</translation>
    </message>
    <message>
        <source>均等に変動</source>
        <translation>uniform spread</translation>
    </message>
    <message>
        <source>中央値を中心にして正規分布状に変動</source>
        <translation>normal spread about the centre</translation>
    </message>
    <message>
        <source>面積空気カーマ積算値 P_KA</source>
        <translation>Kerma-area product P_KA</translation>
    </message>
    <message>
        <source>全入射光子数</source>
        <translation>Incident photons</translation>
    </message>
    <message>
        <source>平均体厚 (cm)</source>
        <translation>Mean body thickness (cm)</translation>
    </message>
    <message>
        <source>患者容積線量 (J)</source>
        <translation>Integral dose (J)</translation>
    </message>
    <message>
        <source>全桁</source>
        <translation>(all digits)</translation>
    </message>
    <message>
        <source>照射部位の平均体厚ごとの患者容積線量</source>
        <translation>Integral dose by mean body thickness</translation>
    </message>
    <message>
        <source>入射Ｘ線スペクトル（相対光子フルエンス）</source>
        <translation>Incident X-ray spectrum (relative photon fluence)</translation>
    </message>
    <message>
        <source>入力値</source>
        <translation>entered</translation>
    </message>
    <message>
        <source>第1半価層 HVL₁</source>
        <translation>First half-value layer HVL₁</translation>
    </message>
    <message>
        <source>第2半価層 HVL₂</source>
        <translation>Second half-value layer HVL₂</translation>
    </message>
    <message>
        <source>均等度 h</source>
        <translation>Homogeneity coefficient h</translation>
    </message>
    <message>
        <source>平均エネルギー</source>
        <translation>Mean energy</translation>
    </message>
    <message>
        <source>実効エネルギー</source>
        <translation>Effective energy</translation>
    </message>
</context>
<context>
    <name>messages</name>
    <message>
        <source> 未入力項目があります </source>
        <translation> Some inputs are missing </translation>
    </message>
    <message>
        <source>  Ｘ線スペクトルを表示しますか？ &#x3000;</source>
        <translation>  Show the X-ray spectrum?  </translation>
    </message>
    <message>
        <source> 面積線量が未入力です </source>
        <translation> Enter the kerma-area product </translation>
    </message>
    <message>
        <source> 面積線量を正しく入力して下さい </source>
        <translation> Enter a valid kerma-area product </translation>
    </message>
    <message>
        <source> ターゲット角度を正しく入力して下さい </source>
        <translation> Enter a valid target angle </translation>
    </message>
    <message>
        <source> スペクトルデータがありません  </source>
        <translation> There is no spectrum data </translation>
    </message>
    <message>
        <source> 管電圧を正しく入力して下さい </source>
        <translation> Enter a valid tube voltage </translation>
    </message>
    <message>
        <source> スペクトルデータは X_SPCTL.dat に保存しました </source>
        <translation> The spectrum data were saved to X_SPCTL.dat </translation>
    </message>
    <message>
        <source> %1 に保存できませんでした（%2） </source>
        <translation> Could not save to %1 (%2) </translation>
    </message>
    <message>
        <source> %1 に保存しました </source>
        <translation> Saved to %1 </translation>
    </message>
    <message>
        <source> 保存できる計算結果がありません </source>
        <translation> There are no results to keep </translation>
    </message>
    <message>
        <source> 保存できる図がありません </source>
        <translation> There is no plot to save </translation>
    </message>
    <message>
        <source> 使い方の文書が見つかりません（%1） </source>
        <translation> The user's guide was not found (%1) </translation>
    </message>
    <message>
        <source> 使い方の文書を開けませんでした（%1） </source>
        <translation> The user's guide could not be opened (%1) </translation>
    </message>
    <message>
        <source> 印刷できませんでした </source>
        <translation> Could not print </translation>
    </message>
    <message>
        <source> 英語の表示用データが見つかりません </source>
        <translation> The English interface texts were not found </translation>
    </message>
    <message>
        <source> 半価層を正しく入力して下さい </source>
        <translation> Please enter a valid half-value layer </translation>
    </message>
    <message>
        <source> フィルタの厚さを正しく入力して下さい </source>
        <translation> Please enter a valid filter thickness </translation>
    </message>
    <message>
        <source> この条件では線質を求められません </source>
        <translation> No beam quality can be computed for these settings </translation>
    </message>
    <message>
        <source> %1 kV で固有フィルタ 0～%5 mm Al が与える第1半価層は %2～%3 mm Al です。
 測定値 %4 mm Al には届きません </source>
        <translation> At %1 kV, an inherent filtration of 0–%5 mm Al gives a first HVL of %2–%3 mm Al.
 The measured %4 mm Al is out of reach </translation>
    </message>
</context>
<context>
    <name>mirelo::Form1</name>
    <message>
        <source>結果を保存</source>
        <translation>Save results</translation>
    </message>
    <message>
        <source>CSV ファイル (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>PDF に保存</source>
        <translation>Save report as PDF</translation>
    </message>
    <message>
        <source>PDF ファイル (*.pdf)</source>
        <translation>PDF files (*.pdf)</translation>
    </message>
    <message>
        <source>場所: </source>
        <translation>Found at: </translation>
    </message>
    <message>
        <source>使用中の係数表</source>
        <translation>Tables in use</translation>
    </message>
    <message>
        <source>ライセンス: Mirelo の開発者が著作権を持ち、無断での再配布はできません（All rights reserved）。Qt 6 は LGPL-3.0 の下で使用しています。詳しくは %1 をご覧ください。</source>
        <translation>Licence: copyright of the Mirelo developers; not to be redistributed without their permission (all rights reserved). Qt 6 is used under the LGPL-3.0. See %1 for details.</translation>
    </message>
</context>
<context>
    <name>mirelo::Form6</name>
    <message>
        <source>図を保存</source>
        <translation>Save plot</translation>
    </message>
    <message>
        <source>PNG 画像 (*.png);;SVG 図 (*.svg)</source>
        <translation>PNG images (*.png);;SVG drawings (*.svg)</translation>
    </message>
    <message>
        <source>PNG 画像 (*.png)</source>
        <translation>PNG images (*.png)</translation>
    </message>
</context>
<context>
    <name>HvlFitWindow</name>
    <message>
        <source>HVL から固有フィルタを推定</source>
        <translation>Inherent filtration from a measured HVL</translation>
    </message>
    <message>
        <source>測定</source>
        <translation>Measurement</translation>
    </message>
    <message>
        <source>管電圧</source>
        <translation>Tube voltage</translation>
    </message>
    <message>
        <source>第1半価層 HVL₁</source>
        <translation>First half-value layer HVL₁</translation>
    </message>
    <message>
        <source>Ｘ線管と付加フィルタ（主画面の設定）</source>
        <translation>X-ray tube and added filtration (from the main window)</translation>
    </message>
    <message>
        <source>ターゲット角度</source>
        <translation>Target angle</translation>
    </message>
    <message>
        <source>度</source>
        <translation>°</translation>
    </message>
    <message>
        <source>付加フィルタ (アルミ)</source>
        <translation>Added filtration (Al)</translation>
    </message>
    <message>
        <source>付加フィルタ（ 銅 ）</source>
        <translation>Added filtration (Cu)</translation>
    </message>
    <message>
        <source>推定</source>
        <translation>Fit</translation>
    </message>
    <message>
        <source>結果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>固有フィルタ (Al 当量)</source>
        <translation>Inherent filtration (Al equivalent)</translation>
    </message>
    <message>
        <source>第2半価層 HVL₂</source>
        <translation>Second half-value layer HVL₂</translation>
    </message>
    <message>
        <source>平均エネルギー</source>
        <translation>Mean energy</translation>
    </message>
    <message>
        <source>適用</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source> 主画面の固有フィルタに書き込む </source>
        <translation> Write it into the main window's inherent filtration </translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>固有 mm</source>
        <translation>Inherent mm</translation>
    </message>
    <message>
        <source>追加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>測定時のターゲット角度と付加フィルタ（主画面の値から）</source>
        <translation>Target angle and added filters during the measurement (from the main window)</translation>
    </message>
    <message>
        <source>測定時: 角度 %1 度、Al %2 mm、Cu %3 mm</source>
        <translation>Measured at %1°, through Al %2 mm, Cu %3 mm</translation>
    </message>
    <message>
        <source>。%1 kV での値</source>
        <translation>; value at %1 kV</translation>
    </message>
    <message>
        <source>（測定範囲から %1 kV 外れています）</source>
        <translation> (%1 kV outside the measured range)</translation>
    </message>
</context>
</TS>
