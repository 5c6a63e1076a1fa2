<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>Corvana</name>
    <message>
        <source>Please wait...</source>
        <translation>Please wait...</translation>
    </message>
    <message>
        <source>Finished</source>
        <translation>Finished</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Skipped</source>
        <translation>Skipped</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>Cancelled</translation>
    </message>
    <message>
        <source>RVDiskFullException</source>
        <translation>The disk is full.</translation>
    </message>
    <message>
        <source>Disk Full</source>
        <translation>The disk is full.</translation>
    </message>
    <message>
        <source>RVOutOfMemoryException</source>
        <translation>Out of memory.</translation>
    </message>
    <message>
        <source>RVIOHandleEndOfBytesException</source>
        <translation>The data ends too early.</translation>
    </message>
    <message>
        <source>%1$@ %2$@</source>
        <translation>%1$@ %2$@</translation>
    </message>
    <message numerus="yes">
        <source>%1$@ and the other %2$lu items</source>
        <translation>
            <numerusform>%1$@ and %2$lu more item</numerusform>
            <numerusform>%1$@ and %2$lu more items</numerusform>
        </translation>
    </message>
    <message>
        <source>%1$@ (%3$@ files, %2$@ directories)</source>
        <translation>%1$@ (%3$@, %2$@)</translation>
    </message>
    <message numerus="yes">
        <source>%1$@ files</source>
        <translation>
            <numerusform>%1$@ file</numerusform>
            <numerusform>%1$@ files</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1$@ directories</source>
        <translation>
            <numerusform>%1$@ folder</numerusform>
            <numerusform>%1$@ folders</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1$qu bytes</source>
        <translation>
            <numerusform>%1$qu byte</numerusform>
            <numerusform>%1$qu bytes</numerusform>
        </translation>
    </message>
    <message>
        <source>%1$@: %2$@</source>
        <translation>%1$@: %2$@</translation>
    </message>
    <message>
        <source>%1$@ (errno = %2$d)</source>
        <translation>%1$@ (errno = %2$d)</translation>
    </message>
    <message>
        <source>Unable to resolve symbolic link %@</source>
        <translation>Unable to resolve the symbolic link %@</translation>
    </message>
    <message>
        <source>名称不明ファイル</source>
        <translation>Untitled file</translation>
    </message>
    <message>
        <source>Log:圧縮開始</source>
        <translation>Archiving started</translation>
    </message>
    <message>
        <source>Log:存在しないパス</source>
        <translation>Item not found</translation>
    </message>
    <message>
        <source>Log:Windows向けにパスを修正した</source>
        <translation>Name adjusted for Windows</translation>
    </message>
    <message>
        <source>Log:追加した</source>
        <translation>Added</translation>
    </message>
    <message>
        <source>Log:パスが長すぎる</source>
        <translation>Path too long for Windows</translation>
    </message>
    <message>
        <source>Log:展開開始</source>
        <translation>Extraction started</translation>
    </message>
    <message>
        <source>Log:Zipファイルではない</source>
        <translation>Not a Zip archive</translation>
    </message>
    <message>
        <source>Log:認識できないパス</source>
        <translation>File name not readable</translation>
    </message>
    <message>
        <source>Log:展開した</source>
        <translation>Extracted</translation>
    </message>
    <message>
        <source>Log:未対応の圧縮メソッド</source>
        <translation>Unsupported compression method</translation>
    </message>
    <message>
        <source>Log:データが壊れている</source>
        <translation>Damaged data</translation>
    </message>
    <message>
        <source>Log:データの検証に失敗</source>
        <translation>Data check failed</translation>
    </message>
    <message>
        <source>Growl:StartArchiving</source>
        <translation>Archiving started</translation>
    </message>
    <message>
        <source>Growl:ArchivedSuccessfully</source>
        <translation>Archiving finished</translation>
    </message>
    <message>
        <source>Growl:AbortedArchiving</source>
        <translation>Archiving stopped</translation>
    </message>
    <message>
        <source>Growl:StartExtracting</source>
        <translation>Extraction started</translation>
    </message>
    <message>
        <source>Growl:ExtractedSuccessfully</source>
        <translation>Extraction finished</translation>
    </message>
    <message>
        <source>Growl:AbortedExtracting</source>
        <translation>Extraction stopped</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>No</source>
        <translation>No</translation>
    </message>
    <message>
        <source>ダイアログタイトル:アプリケーション終了</source>
        <translation>Quit Corvana?</translation>
    </message>
    <message>
        <source>ダイアログメッセージ:アプリケーション終了</source>
        <translation>Some jobs are still waiting or running. Quitting cancels them.</translation>
    </message>
    <message>
        <source>ダイアログタイトル:処理キャンセル</source>
        <translation>Cancel this job?</translation>
    </message>
    <message>
        <source>ダイアログメッセージ:処理キャンセル</source>
        <translation>What the job has made so far will be removed.</translation>
    </message>
    <message>
        <source>タイル:ボタン:キャンセル</source>
        <translation>Cancel this job</translation>
    </message>
    <message>
        <source>タイル:ボタン:表示</source>
        <translation>Show in the file manager</translation>
    </message>
    <message>
        <source>タイル:ボタン:ログ</source>
        <translation>Show the log</translation>
    </message>
    <message>
        <source>タイル:状態:待機中</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>タイル:状態:実行中</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>タイル:状態:完了</source>
        <translation>Finished</translation>
    </message>
    <message>
        <source>タイル:状態:警告付きで完了</source>
        <translation>Finished with warnings</translation>
    </message>
    <message>
        <source>タイル:状態:失敗</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>タイル:状態:キャンセル済み</source>
        <translation>Cancelled</translation>
    </message>
    <message>
        <source>メインウインドウ:ヒント:ドロップ</source>
        <translation>Drop files or folders here to make a Zip archive, or a Zip archive to extract it.</translation>
    </message>
    <message>
        <source>メインウインドウ:ボタン:クリア</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>メニュー:ファイル</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>メニュー:編集</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>メニュー:ヘルプ</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>メニュー:項目:クリア</source>
        <translation>&amp;Clear Finished Jobs</translation>
    </message>
    <message>
        <source>メニュー:項目:終了</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>メニュー:項目:環境設定...</source>
        <translation>&amp;Preferences...</translation>
    </message>
    <message>
        <source>メニュー:項目:アップデートを確認...</source>
        <translation>Check for &amp;Updates...</translation>
    </message>
    <message>
        <source>環境設定:ウインドウ:タイトル</source>
        <translation>Corvana Preferences</translation>
    </message>
    <message>
        <source>環境設定:グループ:圧縮</source>
        <translation>New archives</translation>
    </message>
    <message>
        <source>環境設定:グループ:展開</source>
        <translation>Extraction</translation>
    </message>
    <message>
        <source>環境設定:チェック:展開時は警告のみ記録</source>
        <translation>Log only warnings, not every extracted item</translation>
    </message>
    <message>
        <source>環境設定:チェック:Windows専用ファイルを展開</source>
        <translation>Extract Windows-only files (Thumbs.db, Desktop.ini)</translation>
    </message>
    <message>
        <source>環境設定:チェック:警告があっても展開を続ける</source>
        <translation>Go on extracting as far as possible despite warnings</translation>
    </message>
    <message>
        <source>CVNEntrySpecificToMacBehaviorExcludes</source>
        <translation>Leave out</translation>
    </message>
    <message>
        <source>CVNEntrySpecificToMacBehaviorExcludesWithWarning</source>
        <translation>Leave out with a warning</translation>
    </message>
    <message>
        <source>CVNEntrySpecificToMacBehaviorIncludesInArchive</source>
        <translation>Include in the archive</translation>
    </message>
    <message>
        <source>CVNEntrySpecificToWindowsBehaviorExcludes</source>
        <translation>Do not extract</translation>
    </message>
    <message>
        <source>CVNEntrySpecificToWindowsBehaviorExcludesWithWarning</source>
        <translation>Do not extract, with a warning</translation>
    </message>
    <message>
        <source>CVNEntrySpecificToWindowsBehaviorExtracts</source>
        <translation>Extract</translation>
    </message>
    <message>
        <source>CVNUnrecognizableFileNameBehaviorContinuousWarning</source>
        <translation>Warn and skip the file</translation>
    </message>
    <message>
        <source>CVNUnrecognizableFileNameBehaviorContinuousWarningAndExtracts</source>
        <translation>Warn and extract it as an untitled file</translation>
    </message>
    <message>
        <source>CVNUnrecognizableFileNameBehaviorError</source>
        <translation>Stop with an error</translation>
    </message>
    <message>
        <source>CVNIncorrectFileDataBehaviorContinuousWarning</source>
        <translation>Warn and go on</translation>
    </message>
    <message>
        <source>CVNIncorrectFileDataBehaviorError</source>
        <translation>Stop with an error</translation>
    </message>
    <message>
        <source>CVNVerificationErrorBehaviorContinuousWarning</source>
        <translation>Warn and go on</translation>
    </message>
    <message>
        <source>CVNVerificationErrorBehaviorContinuousWarningAndKeepsExtractedFile</source>
        <translation>Warn, keep the extracted file and go on</translation>
    </message>
    <message>
        <source>CVNVerificationErrorBehaviorError</source>
        <translation>Stop with an error</translation>
    </message>
    <message>
        <source>圧縮の種類:標準的な圧縮</source>
        <translation>Normal compression</translation>
    </message>
    <message>
        <source>圧縮の種類:スピードを優先</source>
        <translation>Fastest</translation>
    </message>
    <message>
        <source>圧縮の種類:サイズを優先</source>
        <translation>Smallest</translation>
    </message>
    <message>
        <source>圧縮の種類:圧縮しない</source>
        <translation>No compression</translation>
    </message>
    <message>
        <source>Windowsの言語バージョン:システム環境設定の言語に準ずる</source>
        <translation>Same as the system's language</translation>
    </message>
    <message>
        <source>Windowsの言語バージョン:英語またはその他の言語版</source>
        <translation>English or another language</translation>
    </message>
    <message>
        <source>Windowsの言語バージョン:日本語版</source>
        <translation>Japanese</translation>
    </message>
    <message>
        <source>Windowsの言語バージョン:韓国語版</source>
        <translation>Korean</translation>
    </message>
    <message>
        <source>Windowsの言語バージョン:簡体字中国語版</source>
        <translation>Simplified Chinese</translation>
    </message>
    <message>
        <source>Windowsの言語バージョン:繁体字中国語版</source>
        <translation>Traditional Chinese</translation>
    </message>
    <message>
        <source>文字のエスケープ方法:高い損失度</source>
        <translation>Simplest (replace with "_")</translation>
    </message>
    <message>
        <source>文字のエスケープ方法:標準的な損失度</source>
        <translation>Standard (write character codes)</translation>
    </message>
    <message>
        <source>文字のエスケープ方法:低い損失度</source>
        <translation>Least loss (full-width forms first)</translation>
    </message>
    <message>
        <source>Password Box Title</source>
        <translation>Password (optional)</translation>
    </message>
    <message>
        <source>パスワードの確認</source>
        <translation>Check the Password</translation>
    </message>
    <message>
        <source>指定したWindowsの種類に適さないパスワードです。</source>
        <translation>The password cannot be written in the language version of Windows you chose.</translation>
    </message>
    <message>
        <source>アップデート確認:ダイアログ件名:アップデートを確認</source>
        <translation>Check for Updates</translation>
    </message>
    <message>
        <source>アップデート確認:ダイアログ本文:アップデートあり</source>
        <translation>A newer version of Corvana is available.</translation>
    </message>
    <message>
        <source>アップデート確認:ダイアログ本文:アップデートなし</source>
        <translation>You have the latest version of Corvana.</translation>
    </message>
    <message>
        <source>アップデート確認:ダイアログ本文:アップデート確認失敗</source>
        <translation>The update check failed. Please try again later.</translation>
    </message>
    <message>
        <source>アップデート確認:ダイアログ本文:ネットワークエラー</source>
        <translation>The update server gave an unexpected answer.</translation>
    </message>
    <message>
        <source>アップデート確認:ダイアログ本文:ネットワーク接続不可</source>
        <translation>Cannot reach the update server. Please check your network connection.</translation>
    </message>
    <message>
        <source>アップデート確認:ダイアログ本文:不正なバージョン</source>
        <translation>This version of Corvana is not valid. Please get the current version.</translation>
    </message>
    <message>
        <source>アップデート確認:ダイアログ本文:特別バージョンを利用中</source>
        <translation>You are using a special version of Corvana.</translation>
    </message>
    <message>
        <source>アップデート確認:ボタン:後にする</source>
        <translation>Later</translation>
    </message>
    <message>
        <source>アップデート確認:ボタン:アップデート内容を見る...</source>
        <translation>View the Update...</translation>
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
        <translation>Password</translation>
    </message>
    <message>
        <source>パスワード入力:シート本文:パスワードを入力</source>
        <translation>This archive is protected by a password. Enter the password to extract it.</translation>
    </message>
    <message>
        <source>パスワード入力:シート本文:アーカイブ</source>
        <translation>Archive: %@</translation>
    </message>
    <message>
        <source>パスワード入力:シート本文:項目</source>
        <translation>Item: %@</translation>
    </message>
    <message>
        <source>パスワード入力:シート本文:受け付けられなかった</source>
        <translation>This password was not accepted for this item. Entering the same password again extracts the item as it is, which may give a wrong file.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Archive Sheet Window Title</source>
        <translation>Make Zip Archives</translation>
    </message>
    <message>
        <source>Archive Sheet Title</source>
        <translation>Make Zip archives of these items for Windows:</translation>
    </message>
    <message>
        <source>Compression Label</source>
        <translation>&amp;Compression:</translation>
    </message>
    <message>
        <source>Windows Version Label</source>
        <translation>&amp;Windows language version:</translation>
    </message>
    <message>
        <source>Character Escaping Label</source>
        <translation>Character &amp;escaping:</translation>
    </message>
    <message>
        <source>Archive Individually Check Box</source>
        <translation>Make a &amp;separate archive for each item</translation>
    </message>
    <message>
        <source>Ignore Empty Folders Check Box</source>
        <translation>Leave out empty &amp;folders</translation>
    </message>
    <message>
        <source>Password Placeholder</source>
        <translation>No password</translation>
    </message>
    <message>
        <source>Encryption Note</source>
        <translation>The archives will be encrypted with this password.</translation>
    </message>
    <message>
        <source>Separate Archives Summary Label</source>
        <translation>Separate archives:</translation>
    </message>
    <message>
        <source>Empty Folders Summary Label</source>
        <translation>Empty folders left out:</translation>
    </message>
    <message>
        <source>Defaults Button</source>
        <translation>&amp;Defaults…</translation>
    </message>
    <message>
        <source>Create Button</source>
        <translation>Create</translation>
    </message>
    <message>
        <source>Archive Defaults Title</source>
        <translation>Defaults for New Archives</translation>
    </message>
    <message>
        <source>Reports Only Warnings Check Box</source>
        <translation>&amp;Log only warnings, not every added item</translation>
    </message>
    <message>
        <source>Done Button</source>
        <translation>Done</translation>
    </message>
</context>
</TS>
