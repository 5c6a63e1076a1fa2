<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP" sourcelanguage="en">
<context>
    <name>Corvana</name>
    <message>
        <source>Please wait...</source>
        <translation>お待ちください...</translation>
    </message>
    <message>
        <source>Finished</source>
        <translation>完了</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>失敗</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>エラー</translation>
    </message>
    <message>
        <source>Skipped</source>
        <translation>スキップしました</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>キャンセルしました</translation>
    </message>
    <message>
        <source>RVDiskFullException</source>
        <translation>ディスクがいっぱいです。</translation>
    </message>
    <message>
        <source>Disk Full</source>
        <translation>ディスクがいっぱいです。</translation>
    </message>
    <message>
        <source>RVOutOfMemoryException</source>
        <translation>メモリが足りません。</translation>
    </message>
    <message>
        <source>RVIOHandleEndOfBytesException</source>
        <translation>データが途中で終わっています。</translation>
    </message>
    <message>
        <source>%1$@ %2$@</source>
        <translation>%1$@ %2$@</translation>
    </message>
    <message>
        <source>%1$@ and the other %2$lu items</source>
        <translation>%1$@ ほか %2$lu 項目</translation>
    </message>
    <message>
        <source>%1$@ (%3$@ files, %2$@ directories)</source>
        <translation>%1$@（ファイル %3$@ 個、フォルダ %2$@ 個）</translation>
    </message>
    <message>
        <source>%1$qu bytes</source>
        <translation>%1$qu バイト</translation>
    </message>
    <message>
        <source>Unable to resolve symbolic link %@</source>
        <translation>シンボリックリンク %@ の参照先を解決できません</translation>
    </message>
    <message>
        <source>名称不明ファイル</source>
        <translation>名称不明ファイル</translation>
    </message>
    <message>
        <source>Log:圧縮開始</source>
        <translation>圧縮を開始しました</translation>
    </message>
    <message>
        <source>Log:存在しないパス</source>
        <translation>項目が見つかりません</translation>
    </message>
    <message>
        <source>Log:Windows向けにパスを修正した</source>
        <translation>Windows 向けに名前を修正しました</translation>
    </message>
    <message>
        <source>Log:追加した</source>
        <translation>追加しました</translation>
    </message>
    <message>
        <source>Log:パスが長すぎる</source>
        <translation>パスが Windows には長すぎます</translation>
    </message>
    <message>
        <source>Log:展開開始</source>
        <translation>展開を開始しました</translation>
    </message>
    <message>
        <source>Log:Zipファイルではない</source>
        <translation>Zip ファイルではありません</translation>
    </message>
    <message>
        <source>Log:認識できないパス</source>
        <translation>ファイル名を読み取れません</translation>
    </message>
    <message>
        <source>Log:展開した</source>
        <translation>展開しました</translation>
    </message>
    <message>
        <source>Log:未対応の圧縮メソッド</source>
        <translation>対応していない圧縮方式です</translation>
    </message>
    <message>
        <source>Log:データが壊れている</source>
        <translation>データが壊れています</translation>
    </message>
    <message>
        <source>Log:データの検証に失敗</source>
        <translation>データの検証に失敗しました</translation>
    </message>
    <message>
        <source>Growl:StartArchiving</source>
        <translation>圧縮を開始しました</translation>
    </message>
    <message>
        <source>Growl:ArchivedSuccessfully</source>
        <translation>圧縮が完了しました</translation>
    </message>
    <message>
        <source>Growl:AbortedArchiving</source>
        <translation>圧縮を中止しました</translation>
    </message>
    <message>
        <source>Growl:StartExtracting</source>
        <translation>展開を開始しました</translation>
    </message>
    <message>
        <source>Growl:ExtractedSuccessfully</source>
        <translation>展開が完了しました</translation>
    </message>
    <message>
        <source>Growl:AbortedExtracting</source>
        <translation>展開を中止しました</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>はい</translation>
    </message>
    <message>
        <source>No</source>
        <translation>いいえ</translation>
    </message>
    <message>
        <source>ダイアログタイトル:アプリケーション終了</source>
        <translation>Corvana を終了しますか？</translation>
    </message>
    <message>
        <source>ダイアログメッセージ:アプリケーション終了</source>
        <translation>待機中または実行中の処理があります。終了するとそれらはキャンセルされます。</translation>
    </message>
    <message>
        <source>ダイアログタイトル:処理キャンセル</source>
        <translation>この処理をキャンセルしますか？</translation>
    </message>
    <message>
        <source>ダイアログメッセージ:処理キャンセル</source>
        <translation>途中まで作成したものは削除されます。</translation>
    </message>
    <message>
        <source>CVNEntrySpecificToMacBehaviorExcludes</source>
        <translation>含めない</translation>
    </message>
    <message>
        <source>CVNEntrySpecificToMacBehaviorExcludesWithWarning</source>
        <translation>警告を出して含めない</translation>
    </message>
    <message>
        <source>CVNEntrySpecificToMacBehaviorIncludesInArchive</source>
        <translation>アーカイブに含める</translation>
    </message>
    <message>
        <source>CVNEntrySpecificToWindowsBehaviorExcludes</source>
        <translation>展開しない</translation>
    </message>
    <message>
        <source>CVNEntrySpecificToWindowsBehaviorExcludesWithWarning</source>
        <translation>警告を出して展開しない</translation>
    </message>
    <message>
        <source>CVNEntrySpecificToWindowsBehaviorExtracts</source>
        <translation>展開する</translation>
    </message>
    <message>
        <source>CVNUnrecognizableFileNameBehaviorContinuousWarning</source>
        <translation>警告を出してスキップする</translation>
    </message>
    <message>
        <source>CVNUnrecognizableFileNameBehaviorContinuousWarningAndExtracts</source>
        <translation>警告を出して名称不明ファイルとして展開する</translation>
    </message>
    <message>
        <source>CVNUnrecognizableFileNameBehaviorError</source>
        <translation>エラーとして中止する</translation>
    </message>
    <message>
        <source>CVNIncorrectFileDataBehaviorContinuousWarning</source>
        <translation>警告を出して続ける</translation>
    </message>
    <message>
        <source>CVNIncorrectFileDataBehaviorError</source>
        <translation>エラーとして中止する</translation>
    </message>
    <message>
        <source>CVNVerificationErrorBehaviorContinuousWarning</source>
        <translation>警告を出して続ける</translation>
    </message>
    <message>
        <source>CVNVerificationErrorBehaviorContinuousWarningAndKeepsExtractedFile</source>
        <translation>警告を出し、展開したファイルを残して続ける</translation>
    </message>
    <message>
        <source>CVNVerificationErrorBehaviorError</source>
        <translation>エラーとして中止する</translation>
    </message>
    <message>
        <source>圧縮の種類:標準的な圧縮</source>
        <translation>標準的な圧縮</translation>
    </message>
    <message>
        <source>圧縮の種類:スピードを優先</source>
        <translation>スピードを優先</translation>
    </message>
    <message>
        <source>圧縮の種類:サイズを優先</source>
        <translation>サイズを優先</translation>
    </message>
    <message>
        <source>圧縮の種類:圧縮しない</source>
        <translation>圧縮しない</translation>
    </message>
    <message>
        <source>Windowsの言語バージョン:システム環境設定の言語に準ずる</source>
        <translation>システムの言語設定に合わせる</translation>
    </message>
    <message>
        <source>Windowsの言語バージョン:英語またはその他の言語版</source>
        <translation>英語またはその他の言語版</translation>
    </message>
    <message>
        <source>Windowsの言語バージョン:日本語版</source>
        <translation>日本語版</translation>
    </message>
    <message>
        <source>Windowsの言語バージョン:韓国語版</source>
        <translation>韓国語版</translation>
    </message>
    <message>
        <source>Windowsの言語バージョン:簡体字中国語版</source>
        <translation>簡体字中国語版</translation>
    </message>
    <message>
        <source>Windowsの言語バージョン:繁体字中国語版</source>
        <translation>繁体字中国語版</translation>
    </message>
    <message>
        <source>文字のエスケープ方法:高い損失度</source>
        <translation>損失度・高（「_」に置き換える）</translation>
    </message>
    <message>
        <source>文字のエスケープ方法:標準的な損失度</source>
        <translation>損失度・標準（文字コードで書く）</translation>
    </message>
    <message>
        <source>文字のエスケープ方法:低い損失度</source>
        <translation>損失度・低（まず全角文字に変換する）</translation>
    </message>
    <message>
        <source>Password Box Title</source>
        <translation>パスワード（省略可）</translation>
    </message>
    <message>
        <source>パスワードの確認</source>
        <translation>パスワードの確認</translation>
    </message>
    <message>
        <source>指定したWindowsの種類に適さないパスワードです。</source>
        <translation>指定した Windows の種類に適さないパスワードです。</translation>
    </message>
    <message>
        <source>アップデート確認:ダイアログ件名:アップデートを確認</source>
        <translation>アップデートの確認</translation>
    </message>
    <message>
        <source>アップデート確認:ダイアログ本文:アップデートあり</source>
        <translation>新しいバージョンの Corvana があります。</translation>
    </message>
    <message>
        <source>アップデート確認:ダイアログ本文:アップデートなし</source>
        <translation>お使いの Corvana は最新のバージョンです。</translation>
    </message>
    <message>
        <source>アップデート確認:ダイアログ本文:アップデート確認失敗</source>
        <translation>アップデートを確認できませんでした。しばらくしてからもう一度お試しください。</translation>
    </message>
    <message>
        <source>アップデート確認:ダイアログ本文:ネットワークエラー</source>
        <translation>アップデートサーバーから予期しない応答がありました。</translation>
    </message>
    <message>
        <source>アップデート確認:ダイアログ本文:ネットワーク接続不可</source>
        <translation>アップデートサーバーに接続できません。ネットワークの接続を確認してください。</translation>
    </message>
    <message>
        <source>アップデート確認:ダイアログ本文:不正なバージョン</source>
        <translation>このバージョンの Corvana は無効です。最新のバージョンを入手してください。</translation>
    </message>
    <message>
        <source>アップデート確認:ダイアログ本文:特別バージョンを利用中</source>
        <translation>特別バージョンの Corvana をご利用中です。</translation>
    </message>
    <message>
        <source>アップデート確認:ボタン:後にする</source>
        <translation>後にする</translation>
    </message>
    <message>
        <source>アップデート確認:ボタン:アップデート内容を見る...</source>
        <translation>アップデート内容を見る...</translation>
    </message>
    <message>
        <source>アップデート確認URL</source>
        <translation>https://corvana.invalid/update?version=%@</translation>
    </message>
    <message>
        <source>製品URL</source>
        <translation>https://corvana.invalid/</translation>
    </message>
    <message>
        <source>パスワード入力:シート件名:パスワード</source>
        <translation>パスワード</translation>
    </message>
    <message>
        <source>パスワード入力:シート本文:パスワードを入力</source>
        <translation>このアーカイブはパスワードで保護されています。展開するにはパスワードを入力してください。</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>キャンセル</translation>
    </message>
    <message>
        <source>Archive Sheet Window Title</source>
        <translation>Zipアーカイブの作成</translation>
    </message>
    <message>
        <source>Archive Sheet Title</source>
        <translation>次の項目からWindows向けのZipアーカイブを作成します:</translation>
    </message>
    <message>
        <source>Compression Label</source>
        <translation>圧縮の種類(&amp;C):</translation>
    </message>
    <message>
        <source>Windows Version Label</source>
        <translation>Windowsの言語バージョン(&amp;W):</translation>
    </message>
    <message>
        <source>Character Escaping Label</source>
        <translation>文字のエスケープ方法(&amp;E):</translation>
    </message>
    <message>
        <source>Archive Individually Check Box</source>
        <translation>項目ごとに別々のアーカイブを作成する(&amp;S)</translation>
    </message>
    <message>
        <source>Ignore Empty Folders Check Box</source>
        <translation>空のフォルダを含めない(&amp;F)</translation>
    </message>
    <message>
        <source>Password Placeholder</source>
        <translation>パスワードなし</translation>
    </message>
    <message>
        <source>Encryption Note</source>
        <translation>アーカイブはこのパスワードで暗号化されます。</translation>
    </message>
    <message>
        <source>Separate Archives Summary Label</source>
        <translation>個別に作成:</translation>
    </message>
    <message>
        <source>Empty Folders Summary Label</source>
        <translation>空のフォルダを除外:</translation>
    </message>
    <message>
        <source>Defaults Button</source>
        <translation>初期設定(&amp;D)…</translation>
    </message>
    <message>
        <source>Create Button</source>
        <translation>作成</translation>
    </message>
    <message>
        <source>Archive Defaults Title</source>
        <translation>新しいアーカイブの初期設定</translation>
    </message>
    <message>
        <source>Reports Only Warnings Check Box</source>
        <translation>警告のみをログに記録する(&amp;L)</translation>
    </message>
    <message>
        <source>Done Button</source>
        <translation>完了</translation>
    </message>
</context>
</TS>
