<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
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
        <translation>确定</translation>
    </message>
</context>
<context>
    <name>ZAVAppUtils</name>
    <message>
        <source>Quit and continue installation</source>
        <translation>退出并继续安装</translation>
    </message>
    <message>
        <source>%@ is currently running. Please close the application to continue installation.</source>
        <translation>%1 正在运行。请关闭该应用程序以继续安装。</translation>
    </message>
    <message>
        <source>Quit &amp; Install</source>
        <translation>退出并安装</translation>
    </message>
</context>
<context>
    <name>ZAVConstants</name>
    <message>
        <source>This installer is damaged (its stamp: %1). Download it again.</source>
        <translation>此安装程序已损坏（写入信息：%1）。请重新下载。</translation>
    </message>
    <message>
        <source>This installer has no feed stamped into it; a vendor stamps it with zav-vendor bundle.</source>
        <translation>此安装程序中未写入源；供应商使用 zav-vendor bundle 写入。</translation>
    </message>
</context>
<context>
    <name>ZAVFeedData</name>
    <message>
        <source>The product information could not be read (%1).</source>
        <translation>无法读取产品信息（%1）。</translation>
    </message>
    <message>
        <source>The server offered a different product. Nothing was installed.</source>
        <translation>服务器提供了其他产品。未安装任何内容。</translation>
    </message>
    <message>
        <source>The product information has expired. Check the date and time of this computer.</source>
        <translation>产品信息已过期。请检查此计算机的日期和时间。</translation>
    </message>
    <message>
        <source>The server offered older product information than this computer has already seen.</source>
        <translation>服务器提供的产品信息比此计算机已获取的更旧。</translation>
    </message>
    <message>
        <source>The product information could not be verified. Nothing was installed.</source>
        <translation>无法验证产品信息。未安装任何内容。</translation>
    </message>
    <message>
        <source>The product information gives no package address.</source>
        <translation>产品信息中没有软件包地址。</translation>
    </message>
    <message>
        <source>The package address is not a complete URL (%1).</source>
        <translation>软件包地址不是完整的 URL（%1）。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; must be %2</source>
        <translation>“%1”必须是%2</translation>
    </message>
    <message>
        <source>a text</source>
        <translation>文本</translation>
    </message>
    <message>
        <source>true or false</source>
        <translation>true 或 false</translation>
    </message>
    <message>
        <source>64 hex digits</source>
        <translation>64 位十六进制数字</translation>
    </message>
    <message>
        <source>a whole number above 0</source>
        <translation>大于 0 的整数</translation>
    </message>
    <message>
        <source>a whole number from 1 to 2^53 - 1</source>
        <translation>1 到 2^53 - 1 之间的整数</translation>
    </message>
    <message>
        <source>a UTC time such as 2027-03-01T00:00:00Z</source>
        <translation>UTC 时间，例如 2027-03-01T00:00:00Z</translation>
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
        <translation>不是 JSON 文档</translation>
    </message>
    <message>
        <source>it is not a JSON object</source>
        <translation>不是 JSON 对象</translation>
    </message>
</context>
<context>
    <name>ZAVFeedTrust</name>
    <message>
        <source>&quot;%1&quot; is missing</source>
        <translation>缺少“%1”</translation>
    </message>
</context>
<context>
    <name>ZAVFormat</name>
    <message>
        <source>1 byte</source>
        <translation>1 字节</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 字节</translation>
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
        <translation>%1 分钟</translation>
    </message>
    <message>
        <source>%1 h</source>
        <translation>%1 小时</translation>
    </message>
</context>
<context>
    <name>ZAVInstallationManager</name>
    <message>
        <source>The temporary folder cannot be used (%1).</source>
        <translation>无法使用临时文件夹（%1）。</translation>
    </message>
    <message>
        <source>Another installation did not finish within a minute.</source>
        <translation>另一个安装未在一分钟内完成。</translation>
    </message>
    <message>
        <source>The package could not be saved: the temporary folder cannot be used.</source>
        <translation>无法保存软件包：无法使用临时文件夹。</translation>
    </message>
    <message>
        <source>The package could not be saved (%1).</source>
        <translation>无法保存软件包（%1）。</translation>
    </message>
    <message>
        <source>The package could not be downloaded (HTTP %1).</source>
        <translation>无法下载软件包（HTTP %1）。</translation>
    </message>
    <message>
        <source>The downloaded package is damaged or was altered. Nothing was installed.</source>
        <translation>下载的软件包已损坏或被篡改。未安装任何内容。</translation>
    </message>
    <message>
        <source>The package could not be put in place (%1).</source>
        <translation>无法将软件包放到位（%1）。</translation>
    </message>
    <message>
        <source>Installation could not be completed.</source>
        <translation>无法完成安装。</translation>
    </message>
</context>
<context>
    <name>ZAVInstallerWindow</name>
    <message>
        <source>Installer</source>
        <translation>安装程序</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>下载进度</translation>
    </message>
    <message>
        <source>Download details</source>
        <translation>下载详情</translation>
    </message>
    <message>
        <source>Quit the installer</source>
        <translation>退出安装程序</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>正在加载…</translation>
    </message>
    <message>
        <source>Unsupported OS version</source>
        <translation>不支持的操作系统版本</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Sorry but your version of Linux is not supported, please upgrade to a newer version.</source>
        <translation>抱歉，不支持您的 Linux 版本，请升级到更新的版本。</translation>
    </message>
    <message>
        <source>Downloading %@</source>
        <translation>正在下载 %1</translation>
    </message>
    <message>
        <source>Waiting for another installation to finish...</source>
        <translation>正在等待另一个安装完成…</translation>
    </message>
    <message>
        <source>Installing %@</source>
        <translation>正在安装 %1</translation>
    </message>
    <message>
        <source>Launching %@</source>
        <translation>正在启动 %1</translation>
    </message>
    <message>
        <source>Successfully installed %@</source>
        <translation>已成功安装 %1</translation>
    </message>
    <message>
        <source>%@ - %@</source>
        <translation>%1 - %2</translation>
    </message>
    <message>
        <source>Could not complete installation</source>
        <translation>无法完成安装</translation>
    </message>
    <message>
        <source>%@ Please try again later.</source>
        <translation>%1请稍后重试。</translation>
    </message>
    <message>
        <source>Quit Installation</source>
        <translation>退出安装</translation>
    </message>
    <message>
        <source>Connection lost. Retrying in %1 s (attempt %2 of %3)...</source>
        <translation>连接已断开。%1 秒后重试（第 %2 次，共 %3 次）…</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 / %2</translation>
    </message>
    <message>
        <source>, about %1 left</source>
        <translation>，剩余约 %1</translation>
    </message>
    <message>
        <source>Finishing the installation...</source>
        <translation>正在完成安装…</translation>
    </message>
    <message>
        <source>%1 Installer</source>
        <translation>%1 安装程序</translation>
    </message>
    <message>
        <source>Waiting for %@ to quit...</source>
        <translation>正在等待 %1 退出…</translation>
    </message>
</context>
<context>
    <name>ZAVURLSession</name>
    <message>
        <source>The download was cancelled.</source>
        <translation>下载已取消。</translation>
    </message>
    <message>
        <source>The address is not a valid URL.</source>
        <translation>该地址不是有效的 URL。</translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation>请求超时。</translation>
    </message>
    <message>
        <source>The network connection was lost.</source>
        <translation>网络连接已断开。</translation>
    </message>
    <message>
        <source>The server sent more data than expected.</source>
        <translation>服务器发送的数据多于预期。</translation>
    </message>
    <message>
        <source>There is not enough free space: %1 is needed and %2 is free in %3.</source>
        <translation>可用空间不足：需要 %1，%3 中仅有 %2 可用。</translation>
    </message>
    <message>
        <source>The downloaded file could not be written (%1).</source>
        <translation>无法写入下载的文件（%1）。</translation>
    </message>
    <message>
        <source>The downloaded file is not the one expected (its size or SHA-256 differs).</source>
        <translation>下载的文件不是预期的文件（大小或 SHA-256 不符）。</translation>
    </message>
    <message>
        <source>The temporary folder cannot be used.</source>
        <translation>无法使用临时文件夹。</translation>
    </message>
    <message>
        <source>The download file could not be created (%1).</source>
        <translation>无法创建下载文件（%1）。</translation>
    </message>
    <message>
        <source>The server answered with HTTP %1.</source>
        <translation>服务器返回了 HTTP %1。</translation>
    </message>
    <message>
        <source>Could not connect to the server.</source>
        <translation>无法连接到服务器。</translation>
    </message>
    <message>
        <source>A server with the specified hostname could not be found.</source>
        <translation>找不到具有指定主机名的服务器。</translation>
    </message>
    <message>
        <source>A secure connection to the server could not be made.</source>
        <translation>无法与服务器建立安全连接。</translation>
    </message>
    <message>
        <source>The server sent too many redirects.</source>
        <translation>服务器发送了过多的重定向。</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (from https to http).</source>
        <translation>服务器发送了不受支持的重定向（从 https 到 http）。</translation>
    </message>
    <message>
        <source>The server sent an unsupported redirect (to another scheme).</source>
        <translation>服务器发送了不受支持的重定向（到其他协议）。</translation>
    </message>
    <message>
        <source>The address uses an unsupported scheme.</source>
        <translation>该地址使用了不受支持的协议。</translation>
    </message>
    <message>
        <source>The Internet connection appears to be offline.</source>
        <translation>互联网连接似乎已断开。</translation>
    </message>
</context>
<context>
    <name>zav-pkg</name>
    <message>
        <source>%1 cannot run on this computer: it needs %2, which is not installed.</source>
        <translation>%1 无法在此计算机上运行：它需要未安装的 %2。</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2; this computer has %3).</source>
        <translation>%1 无法在此计算机上运行：它需要更新的系统（%2；此计算机为 %3）。</translation>
    </message>
    <message>
        <source>%1 cannot run on this computer: it needs a newer system (%2).</source>
        <translation>%1 无法在此计算机上运行：它需要更新的系统（%2）。</translation>
    </message>
</context>
</TS>
