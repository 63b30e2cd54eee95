<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja">
<context>
    <name>QGuiApplication</name>
    <message>
        <source>QT_LAYOUT_DIRECTION</source>
        <translation>LTR</translation>
    </message>
</context>
<context>
    <name>ZAVAlert</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>ZAVAppUtils</name>
    <message>
        <source>Quit and continue installation</source>
        <translation>終了してインストールを続行</translation>
    </message>
    <message>
        <source>%@ is currently running. Please close the application to continue installation.</source>
        <translation>%1 は実行中です。インストールを続行するには、アプリケーションを終了してください。</translation>
    </message>
    <message>
        <source>Quit &amp; Install</source>
        <translation>終了してインストール</translation>
    </message>
</context>
<context>
    <name>ZAVConstants</name>
    <message>
        <source>This installer is damaged (its stamp: %1). Download it again.</source>
        <translation>このインストーラは破損しています（書き込み情報: %1）。もう一度ダウンロードしてください。</translation>
    </message>
    <message>
        <source>This installer has no feed stamped into it; a vendor stamps it with zav-vendor bundle.</source>
        <translation>このインストーラにはフィードが書き込まれていません。ベンダーが zav-vendor bundle で書き込みます。</translation>
    </message>
</context>
<context>
    <name>ZAVFeedData</name>
    <message>
        <source>The product information could not be read (%1).</source>
        <translation>製品情報を読み込めませんでした（%1）。</translation>
    </message>
    <message>
        <source>The server offered a different product. Nothing was installed.</source>
        <translation>サーバーが別の製品を提示しました。何もインストールされていません。</translation>
    </message>
    <message>
        <source>The product information has expired. Check the date and time of this computer.</source>
        <translation>製品情報の有効期限が切れています。このコンピューターの日付と時刻を確認してください。</translation>
    </message>
    <message>
        <source>The server offered older product information than this computer has already seen.</source>
        <translation>サーバーが、このコンピューターが既に受け取ったものより古い製品情報を提示しました。</translation>
    </message>
    <message>
        <source>The product information could not be verified. Nothing was installed.</source>
        <translation>製品情報を検証できませんでした。何もインストールされていません。</translation>
    </message>
    <message>
        <source>The product information gives no package address.</source>
        <translation>製品情報にパッケージのアドレスがありません。</translation>
    </message>
    <message>
        <source>The package address is not a complete URL (%1).</source>
        <translation>パッケージのアドレスが完全な URL ではありません（%1）。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; must be %2</source>
        <translation>「%1」は%2でなければなりません</translation>
    </message>
    <message>
        <source>a text</source>
        <translation>テキスト</translation>
    </message>
    <message>
        <source>true or false</source>
        <translation>true または false</translation>
    </message>
    <message>
        <source>64 hex digits</source>
        <translation>16 進数 64 桁</translation>
    </message>
    <message>
        <source>a whole number above 0</source>
        <translation>0 より大きい整数</translation>
    </message>
    <message>
        <source>a whole number from 1 to 2^53 - 1</source>
        <translation>1 から 2^53 - 1 までの整数</translation>
    </message>
    <message>
        <source>a UTC time such as 2027-03-01T00:00:00Z</source>
        <translation>2027-03-01T00:00:00Z のような UTC 時刻</translation>
    </message>
</context>
<context>
    <name>ZAVFeedLoader</name>
    <message>
        <source>HTTP %1</source>
        <translation>HTTP %1</translation>
    </message>
    <message>
        <source>it is not a JSON document</source>
        <translation>JSON 文書ではありません</translation>
    </message>
    <message>
        <source>it is not a JSON object</source>
        <translation>JSON オブジェクトではありません</translation>
    </message>
</context>
<context>
    <name>ZAVFeedTrust</name>
    <message>
        <source>&quot;%1&quot; is missing</source>
        <translation>「%1」がありません</translation>
    </message>
</context>
<context>
    <name>ZAVFormat</name>
    <message>
        <source>1 byte</source>
        <translation>1 バイト</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 バイト</translation>
    </message>
    <message>
        <source>%1 kB</source>
        <translation>%1 kB</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>%1 GB</source>
        <translation>%1 GB</translation>
    </message>
    <message>
        <source>%1 TB</source>
        <translation>%1 TB</translation>
    </message>
    <message>
        <source>%1 PB</source>
        <translation>%1 PB</translation>
    </message>
    <message>
        <source>%1 EB</source>
        <translation>%1 EB</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 秒</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 分</translation>
    </message>
    <message>
        <source>%1 h</source>
        <translation>%1 時間</translation>
    </message>
</context>
<context>
    <name>ZAVInstallationManager</name>
    <message>
        <source>The temporary folder cannot be used (%1).</source>
        <translation>一時フォルダーを使用できません（%1）。</translation>
    </message>
    <message>
        <source>Another installation did not finish within a minute.</source>
        <translation>別のインストールが 1 分以内に終わりませんでした。</translation>
    </message>
    <message>
        <source>The package could not be saved: the temporary folder cannot be used.</source>
        <translation>パッケージを保存できませんでした。一時フォルダーを使用できません。</translation>
    </message>
    <message>
        <source>The package could not be saved (%1).</source>
        <translation>パッケージを保存できませんでした（%1）。</translation>
    </message>
    <message>
        <source>The package could not be downloaded (HTTP %1).</source>
        <translation>パッケージをダウンロードできませんでした（HTTP %1）。</translation>
    </message>
    <message>
        <source>The downloaded package is damaged or was altered. Nothing was installed.</source>
        <translation>ダウンロードしたパッケージは破損しているか、改ざんされています。何もインストールされていません。</translation>
    </message>
    <message>
        <source>The package could not be put in place (%1).</source>
        <translation>パッケージを所定の場所に置けませんでした（%1）。</translation>
    </message>
    <message>
        <source>Installation could not be completed.</source>
        <translation>インストールを完了できませんでした。</translation>
    </message>
</context>
<context>
    <name>ZAVInstallerWindow</name>
    <message>
        <source>Installer</source>
        <translation>インストーラー</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>状態</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>ダウンロードの進行状況</translation>
    </message>
    <message>
        <source>Download details</source>
        <translation>ダウンロードの詳細</translation>
    </message>
    <message>
        <source>Quit the installer</source>
        <translation>インストーラーを終了</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>読み込み中…</translation>
    </message>
    <message>
        <source>Unsupported OS version</source>
        <translation>サポートされていない OS のバージョン</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Sorry but your version of Linux is not supported, please upgrade to a newer version.</source>
        <translation>申し訳ありませんが、お使いの Linux のバージョンはサポートされていません。新しいバージョンにアップグレードしてください。</translation>
    </message>
    <message>
        <source>Downloading %@</source>
        <translation>%1 をダウンロード中</translation>
    </message>
    <message>
        <source>Waiting for another installation to finish...</source>
        <translation>別のインストールの完了を待っています…</translation>
    </message>
    <message>
        <source>Installing %@</source>
        <translation>%1 をインストール中</translation>
    </message>
    <message>
        <source>Launching %@</source>
        <translation>%1 を起動中</translation>
    </message>
    <message>
        <source>Successfully installed %@</source>
        <translation>%1 のインストールが完了しました</translation>
    </message>
    <message>
        <source>%@ - %@</source>
        <translation>%1 - %2</translation>
    </message>
    <message>
        <source>Could not complete installation</source>
        <translation>インストールを完了できませんでした</translation>
    </message>
    <message>
        <source>%@ Please try again later.</source>
        <translation>%1 しばらくしてからもう一度お試しください。</translation>
    </message>
    <message>
        <source>Quit Installation</source>
        <translation>インストールを終了</translation>
    </message>
    <message>
        <source>Connection lost. Retrying in %1 s (attempt %2 of %3)...</source>
        <translation>接続が切れました。%1 秒後に再試行します（%3 回中 %2 回目）…</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 / %2</translation>
    </message>
    <message>
        <source>, about %1 left</source>
        <translation>、残り約 %1</translation>
    </message>
    <message>
        <source>Finishing the installation...</source>
        <translation>インストールを完了しています…</translation>
    </message>
    <message>
        <source>%1 Installer</source>
        <translation>%1 インストーラ</translation>
    </message>
    <message>
        <source>Waiting for %@ to quit...</source>
        <translation>%1 の終了を待っています…</translation>
    </message>
</context>
<context>
    <name>ZAVURLSession</name>
    <message>
        <source>The download was cancelled.</source>
        <translation>ダウンロードはキャンセルされました。</translation>
    </message>
    <message>
        <source>The address is not a valid URL.</source>
        <translation>アドレスが有効な URL ではありません。</translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation>要求がタイムアウトしました。</translation>
    </message>
    <message>
        <source>The network connection was lost.</source>
        <translation>ネットワーク接続が切れました。</translation>
    </message>
    <message>
        <source>The server sent more data than expected.</source>
        <translation>サーバーが予想より多くのデータを送信しました。</translation>
    </message>
    <message>
        <source>There is not enough free space: %1 is needed and %2 is free in %3.</source>
        <translation>空き容量が足りません。%1 必要ですが、%3 の空きは %2 です。</translation>
    </message>
    <message>
        <source>The downloaded file could not be written (%1).</source>
        <translation>ダウンロードしたファイルを書き込めませんでした（%1）。</translation>
    </message>
    <message>
        <source>The downloaded file is not the one expected (its size or SHA-256 differs).</source>
        <translation>ダウンロードしたファイルが想定したものではありません（サイズまたは SHA-256 が異なります）。</translation>
    </message>
    <message>
        <source>The temporary folder cannot be used.</source>
        <translation>一時フォルダーを使用できません。</translation>
    </message>
    <message>
        <source>The download file could not be created (%1).</source>
        <translation>ダウンロード用のファイルを作成できませんでした（%1）。</translation>
    </message>
    <message>
        <source>The server answered with HTTP %1.</source>
        <translation>サーバーが HTTP %1 を返しました。</translation>
    </message>
    <message>
        <source>Could not connect to the server.</source>
        <translation>サーバーに接続できませんでした。</translation>
    </message>
    <message>
        <source>A server with the specified hostname could not be found.</source>
        <translation>指定されたホスト名のサーバーが見つかりませんでした。</translation>
    </message>
    <message>
        <source>A secure connection to the server could not be made.</source>
        <translation>サーバーとの安全な接続を確立できませんでした。</translation>
    </message>
    <message>
        <source>The server sent too many redirects.</source>
        <translation>サーバーのリダイレクトが多すぎます。</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (from https to http).</source>
        <translation>サーバーがサポートされていないリダイレクトを送信しました（https から http へ）。</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (to another scheme).</source>
        <translation>サーバーがサポートされていないリダイレクトを送信しました（別のスキームへ）。</translation>
    </message>
    <message>
        <source>The address uses an unsupported scheme.</source>
        <translation>アドレスがサポートされていないスキームを使用しています。</translation>
    </message>
    <message>
        <source>The Internet connection appears to be offline.</source>
        <translation>インターネットに接続されていないようです。</translation>
    </message>
</context>
<context>
    <name>zav-pkg</name>
    <message>
        <source>%1 cannot run on this computer: it needs %2, which is not installed.</source>
        <translation>%1 はこのコンピューターでは実行できません。必要な %2 がインストールされていません。</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2; this computer has %3).</source>
        <translation>%1 はこのコンピューターでは実行できません。より新しいシステムが必要です（%2。このコンピューターは %3）。</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2).</source>
        <translation>%1 はこのコンピューターでは実行できません。より新しいシステムが必要です（%2）。</translation>
    </message>
</context>
</TS>
